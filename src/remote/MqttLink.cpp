#include "remote/MqttLink.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kestro {

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Level messages waiting for the link's thread beyond this are dropped.
constexpr size_t kMaxWaitingRequests = 2000;
// How long one pass of the network loop may wait for traffic.
constexpr int kLoopMs = 50;
// From the start of a connection attempt to the broker's answer.
constexpr auto kConnectTimeout = std::chrono::seconds(10);

// libmosquitto counts its users in a plain integer: setting it up from each
// link's thread races when two links run at once (a meter swap). So it is
// set up once, on first use, and torn down after main has returned and every
// link (owned by objects that main owns) has been joined.
void useLibrary() {
    static const bool ready = [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
        return true;
    }();
    (void)ready;
}

struct Request {
    bool interval = false;
    uint64_t tag = 0;
    uint64_t generation = 0;
    QByteArray topic;
    QByteArray payload;
    bool retain = false;
};

}  // namespace

struct MqttLink::Shared {
    Settings settings;
    std::function<void()> notify;  // cleared when the owner goes
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Request> requests;
    Events events;
    bool stopping = false;
    bool finished = false;
    SteadyClock::time_point deadline;
    std::atomic<bool> up{false};
    std::atomic<uint64_t> generation{0};
    std::atomic<uint64_t> droppedLevels{0};

    void post(const std::function<void(Events&)>& change) {
        std::lock_guard<std::mutex> lock(mutex);
        change(events);
        if (notify) notify();
    }
};

namespace {

// One connection attempt and what the broker said during it; the callbacks
// of libmosquitto run inside mosquitto_loop on the link's thread.
struct Session {
    MqttLink::Shared* sh = nullptr;
    mosquitto* m = nullptr;
    bool up = false;
    bool justUp = false;
    SteadyClock::time_point opened;
    int refused = 0;                            // CONNACK code of a refusal
    std::unordered_map<int, uint64_t> pending;  // message id -> tag
    int offlineMid = -1;
    bool offlineAcked = false;

    static void onConnect(mosquitto* m, void* self, int rc) {
        auto* s = static_cast<Session*>(self);
        if (rc != 0) {
            s->refused = rc;
            return;
        }
        s->up = true;
        s->justUp = true;
        const QByteArray& topic = s->sh->settings.statusTopic;
        mosquitto_publish(m, nullptr, topic.constData(), 6, "online", 1, true);
    }
    static void onDisconnect(mosquitto*, void* self, int) { static_cast<Session*>(self)->up = false; }
    static void onPublish(mosquitto*, void* self, int mid) {
        auto* s = static_cast<Session*>(self);
        if (mid == s->offlineMid) s->offlineAcked = true;
        auto it = s->pending.find(mid);
        if (it == s->pending.end()) return;
        const uint64_t tag = it->second;
        s->pending.erase(it);
        s->sh->post([tag](MqttLink::Events& e) { e.acknowledged.push_back(tag); });
    }

    bool open(std::string* why) {
        const MqttLink::Settings& cfg = sh->settings;
        m = mosquitto_new(cfg.clientId.constData(), true, this);
        if (!m) {
            *why = "cannot create the MQTT client";
            return false;
        }
        mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_will_set(m, cfg.statusTopic.constData(), 7, "offline", 1, true);
        if (!cfg.user.isEmpty())
            mosquitto_username_pw_set(m, cfg.user.constData(),
                                      cfg.password.isEmpty() ? nullptr : cfg.password.constData());
        mosquitto_connect_callback_set(m, onConnect);
        mosquitto_disconnect_callback_set(m, onDisconnect);
        mosquitto_publish_callback_set(m, onPublish);
        // Only the name lookup blocks (this thread); the handshake goes on in the loop.
        opened = SteadyClock::now();
        const int rc = mosquitto_connect_async(m, cfg.host.constData(), cfg.port, cfg.keepAliveS);
        if (rc != MOSQ_ERR_SUCCESS) {
            *why = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : std::string(mosquitto_strerror(rc));
            close();
            return false;
        }
        return true;
    }

    void close() {
        if (m) mosquitto_destroy(m);
        m = nullptr;
        up = justUp = false;
        refused = 0;
        pending.clear();
        offlineMid = -1;
        offlineAcked = false;
    }
};

void publish(Session& s, const Request& r) {
    int mid = 0;
    const int rc = mosquitto_publish(s.m, &mid, r.topic.constData(), int(r.payload.size()), r.payload.constData(),
                                     r.interval ? 1 : 0, r.retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (!r.interval) s.sh->droppedLevels++;
        return;  // an interval message is sent again after the next connection
    }
    if (r.interval) s.pending[mid] = r.tag;
}

void run(const std::shared_ptr<MqttLink::Shared>& sh) {
    Session s;
    s.sh = sh.get();
    const MqttLink::Settings& cfg = sh->settings;
    int retryMs = cfg.firstRetryMs;
    SteadyClock::time_point nextTry = SteadyClock::now();
    auto lost = [&](const std::string& why) {
        s.close();
        sh->up = false;
        sh->post([why](MqttLink::Events& e) { e.failures.push_back(why); });
        nextTry = SteadyClock::now() + milliseconds(retryMs);
        retryMs = std::min(retryMs * 2, cfg.maxRetryMs);
    };
    auto takeRequests = [&] {
        std::deque<Request> batch;
        std::lock_guard<std::mutex> lock(sh->mutex);
        batch.swap(sh->requests);
        return batch;
    };
    auto dropAll = [&](const std::deque<Request>& batch) {
        for (const Request& r : batch)
            if (!r.interval) sh->droppedLevels++;
    };

    for (;;) {
        {
            std::unique_lock<std::mutex> lock(sh->mutex);
            if (sh->stopping) break;
            if (!s.m && SteadyClock::now() < nextTry) {
                sh->wake.wait_until(lock, nextTry, [&] { return sh->stopping || !sh->requests.empty(); });
                if (sh->stopping) break;
            }
        }
        if (!s.m) {
            if (SteadyClock::now() < nextTry) {
                dropAll(takeRequests());
                continue;
            }
            std::string why;
            if (!s.open(&why)) {
                lost(why);
                continue;
            }
        }
        for (const Request& r : takeRequests()) {
            if (!s.up || (r.interval && r.generation != sh->generation)) {
                if (!r.interval) sh->droppedLevels++;
                continue;
            }
            publish(s, r);
        }
        const int rc = mosquitto_loop(s.m, kLoopMs, 1);
        if (s.refused != 0) {
            lost(std::string("refused by the broker: ") + mosquitto_connack_string(s.refused));
        } else if (!s.up && SteadyClock::now() - s.opened > kConnectTimeout) {
            lost("no answer within 10 s");
        } else if (rc != MOSQ_ERR_SUCCESS) {
            lost(rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : std::string(mosquitto_strerror(rc)));
        } else if (s.justUp) {
            s.justUp = false;
            retryMs = cfg.firstRetryMs;
            sh->generation++;
            sh->up = true;
            sh->post([](MqttLink::Events& e) { e.connections++; });
        }
    }

    // Stopping: what was handed over goes out first, then the status.
    if (s.m && s.up) {
        SteadyClock::time_point deadline;
        {
            std::lock_guard<std::mutex> lock(sh->mutex);
            deadline = sh->deadline;
        }
        for (const Request& r : takeRequests())
            if (!r.interval || r.generation == sh->generation) publish(s, r);
        // Some of the time is kept for the status.
        const auto reserve = milliseconds(std::clamp<int64_t>(
            std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count() / 3, 0, 300));
        while (s.up && !s.pending.empty() && SteadyClock::now() < deadline - reserve)
            if (mosquitto_loop(s.m, 20, 1) != MOSQ_ERR_SUCCESS) break;
        if (s.up) {
            mosquitto_publish(s.m, &s.offlineMid, cfg.statusTopic.constData(), 7, "offline", 1, true);
            while (s.up && !s.offlineAcked && SteadyClock::now() < deadline)
                if (mosquitto_loop(s.m, 20, 1) != MOSQ_ERR_SUCCESS) break;
            mosquitto_disconnect(s.m);
            mosquitto_loop(s.m, 20, 1);
        }
    }
    s.close();
    sh->up = false;
    std::lock_guard<std::mutex> lock(sh->mutex);
    sh->finished = true;
}

}  // namespace

MqttLink::MqttLink(Settings settings, std::function<void()> notify) : shared_(std::make_shared<Shared>()) {
    shared_->settings = std::move(settings);
    shared_->notify = std::move(notify);
}

MqttLink::~MqttLink() { stop(0); }

void MqttLink::start() {
    if (started_) return;
    started_ = true;
    useLibrary();
    thread_ = std::thread(run, shared_);
}

bool MqttLink::connected() const { return shared_->up; }
bool MqttLink::finished() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return !started_ || shared_->finished;
}
uint64_t MqttLink::generation() const { return shared_->generation; }
uint64_t MqttLink::droppedLevels() const { return shared_->droppedLevels; }

bool MqttLink::publishLevel(const QByteArray& topic, const QByteArray& payload) {
    if (!shared_->up || stopRequested_) return false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->requests.size() >= kMaxWaitingRequests) return false;
        shared_->requests.push_back(Request{false, 0, 0, topic, payload});
    }
    shared_->wake.notify_one();
    return true;
}

void MqttLink::publishInterval(uint64_t tag, uint64_t generation, const QByteArray& topic, const QByteArray& payload,
                               bool retain) {
    if (stopRequested_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->requests.push_back(Request{true, tag, generation, topic, payload, retain});
    }
    shared_->wake.notify_one();
}

MqttLink::Events MqttLink::takeEvents() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    Events e;
    std::swap(e, shared_->events);
    return e;
}

void MqttLink::requestStop(int graceMs) {
    if (stopRequested_) return;
    stopRequested_ = true;
    if (!started_) return;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
    shared_->deadline = SteadyClock::now() + milliseconds(graceMs);
    shared_->wake.notify_all();
}

void MqttLink::stop(int waitMs) {
    requestStop(waitMs);
    if (stopped_) return;
    stopped_ = true;
    if (!started_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->notify = nullptr;
    }
    thread_.join();
}

}  // namespace kestro
