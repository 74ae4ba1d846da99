"""What the Python benchmarks read of a running program from /proc."""


def rss_kib(pid):
    """Resident memory in KiB."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0
