// Writes a record file as the recorder does (header, all four columns,
// default separators) for benchmarks: HOURS of samples at RATE per second.
//   make_record_file OUT TYPE HOURS RATE [START_hhmmss]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s OUT TYPE HOURS RATE [START_hhmmss]\n", argv[0]);
        return 1;
    }
    const bool fast =
        std::strcmp(argv[2], "LPF") == 0 || std::strcmp(argv[2], "LEQF") == 0 || std::strcmp(argv[2], "RAW") == 0;
    const double hours = std::atof(argv[3]);
    const int rate = std::atoi(argv[4]);
    const long start = argc > 5 ? std::atol(argv[5]) : 0;
    const int64_t startMs = ((start / 10000) * 3600 + (start / 100 % 100) * 60 + start % 100) * 1000;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f || rate <= 0) return 1;
    std::vector<char> buf(1 << 20);
    std::setvbuf(f, buf.data(), _IOFBF, buf.size());
    std::fputs("Time;NoiseValue;Overflow;Underflow\r\n", f);
    const int64_t n = int64_t(hours * 3600.0 * rate);
    uint64_t seed = 12345;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t ms = (startMs + i * 1000 / rate) % 86400000;
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const double noise = double((seed >> 33) % 1000) / 100.0;  // 0 .. 10 dB
        const double t = double(i) / rate;
        const double db = 55.0 + 12.0 * std::sin(t / 5400.0) + noise + ((i / rate) % 600 < 20 ? 15.0 : 0.0);
        const int v = fast ? int(std::lround(db * 100)) : int(std::lround(db * 10)) * 10;
        const int over = db > 89.0, under = db < 31.0;
        if (fast)
            std::fprintf(f, "%02d:%02d:%02d,%03d; %d,%02d; %d; %d\r\n", int(ms / 3600000), int(ms / 60000 % 60),
                         int(ms / 1000 % 60), int(ms % 1000), v / 100, v % 100, over, under);
        else
            std::fprintf(f, "%02d:%02d:%02d,%03d; %d,%d; %d; %d\r\n", int(ms / 3600000), int(ms / 60000 % 60),
                         int(ms / 1000 % 60), int(ms % 1000), v / 100, v / 10 % 10, over, under);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
