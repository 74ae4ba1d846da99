"""Independent check of a statistics file against its record file: the
intervals are computed again here, from the record lines alone, with no code
of the recorder."""

import datetime
import math
import os
import re

from kestro_e2e import file_lines

NAME_RE = re.compile(r"^(.*)_([^_]+)_(\d{4})(\d{2})(\d{2})_(\d{2})(\d{2})(\d{2})(.*)$")
STAT_COLUMNS = ["Kind", "Start", "End", "Samples", "Leq", "Lmax", "Lmin", "L5", "L10", "L50", "L90", "L95",
                "Overflow", "Underflow", "OverLimit"]
DAY_MS = 86400000
EPOCH = datetime.datetime(1899, 12, 30)  # day 0 of the recorder's day count


def stat_path(record_path):
    d, name = os.path.split(record_path)
    m = NAME_RE.match(name)
    return os.path.join(d, "%s_%s_%s%s%s_%s%s%s_STAT%s" % m.groups())


def read_record(path):
    """[(local_ms, hundredths, overflow, underflow)] of the lines with a level (both flag columns written)."""
    m = NAME_RE.match(os.path.basename(path))
    ref = (datetime.datetime(*(int(x) for x in m.groups()[2:8])) - EPOCH) // datetime.timedelta(milliseconds=1)
    first, samples = True, []
    for cols in (line.split(";") for line in file_lines(path) if "NoiseValue" not in line):
        hh, mm, rest = cols[0].split(":")
        ss, ms = rest.split(",")
        t = (ref // DAY_MS) * DAY_MS + ((int(hh) * 60 + int(mm)) * 60 + int(ss)) * 1000 + int(ms)
        if t < ref - DAY_MS // 2:
            t += DAY_MS
        if first and t > ref + DAY_MS // 2:
            t -= DAY_MS
        first, ref = False, t
        if cols[1].strip():
            samples.append((t, round(float(cols[1].replace(",", ".")) * 100), cols[2].strip() == "1",
                            cols[3].strip() == "1"))
    return samples


def tenths_of(hundredths):
    return (hundredths + 5) // 10 if hundredths >= 0 else -((-hundredths + 5) // 10)


def level_text(tenths):
    sign = "-" if tenths < 0 else ""
    a = abs(tenths)
    return "%s%d,%d" % (sign, a // 10, a % 10)


def stats(levels, limit_tenths):
    """Leq (exact), Lmax, Lmin, LN and over-limit of hundredths levels."""
    n = len(levels)
    leq = 10 * math.log10(sum(10 ** (h / 1000.0) for h in levels) / n)
    desc = sorted((tenths_of(h) for h in levels), reverse=True)
    ln = {pct: desc[max(1, -(-pct * n // 100)) - 1] for pct in (5, 10, 50, 90, 95)}  # rank ceil(pct n / 100)
    leq_tenths = math.floor(abs(leq) * 10 + 0.5) * (1 if leq >= 0 else -1)
    return leq, leq_tenths, tenths_of(max(levels)), tenths_of(min(levels)), ln, \
        limit_tenths > 0 and leq_tenths > limit_tenths


def local_text(ms):
    return (EPOCH + datetime.timedelta(milliseconds=ms)).strftime("%Y-%m-%d %H:%M:%S")


def local_ms(text):
    return (datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S") - EPOCH) // datetime.timedelta(milliseconds=1)


def stat_rows(record_path):
    """The rows of a record file's statistics file, without its header, as lists of texts."""
    return [ln.split(";") for ln in file_lines(stat_path(record_path))[1:]]


def expected_rows(samples, interval_s, limit_tenths):
    """The Interval rows and the Series row as the statistics file must hold them."""
    step = interval_s * 1000
    groups = []
    for s in samples:
        start = s[0] // step * step
        if not groups or groups[-1][0] != start:
            groups.append((start, []))
        groups[-1][1].append(s)
    rows = []
    for i, (start, group) in enumerate(groups):
        row_start = group[0][0] if i == 0 else start
        row_end = samples[-1][0] if i == len(groups) - 1 else start + step
        rows.append(make_row("Interval", row_start, row_end, group, limit_tenths))
    rows.append(make_row("Series", samples[0][0], samples[-1][0], samples, limit_tenths))
    return rows


def make_row(kind, start, end, group, limit_tenths):
    levels = [g[1] for g in group]
    leq, leq_t, lmax, lmin, ln, over = stats(levels, limit_tenths)
    return [kind, local_text(start), local_text(end), str(len(group)), level_text(leq_t),
            level_text(lmax), level_text(lmin)] + [level_text(ln[p]) for p in (5, 10, 50, 90, 95)] + \
        [str(sum(1 for g in group if g[2])), str(sum(1 for g in group if g[3])), "1" if over else "0"], leq


def check_stat_file(record_path, interval_s, limit_tenths):
    """The differences from what the record file gives (none when the statistics file is right)."""
    problems = []
    path = stat_path(record_path)
    if not os.path.exists(path):
        return ["no statistics file " + os.path.basename(path)]
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    if not data.endswith("\r\n"):
        problems.append("statistics file does not end with a whole line")
    lines = data.split("\r\n")[:-1]
    if not lines or lines[0] != ";".join(STAT_COLUMNS):
        return ["header is %r" % lines[:1]]
    got = [ln.split(";") for ln in lines[1:]]
    for row in got:
        if any(" " in c for i, c in enumerate(row) if i not in (1, 2)) or len(row) != len(STAT_COLUMNS):
            problems.append("malformed row %r" % row)
    samples = read_record(record_path)
    if not samples:
        return ["rows without samples: %r" % got] if got else []
    want = expected_rows(samples, interval_s, limit_tenths)
    if len(got) != len(want):
        problems.append("%d rows, expected %d: %r" % (len(got), len(want), [g[:4] for g in got]))
    for g, (w, leq) in zip(got, want):
        for col, (a, b) in enumerate(zip(g, w)):
            if a == b:
                continue
            # Leq exactly on a rounding tie may go either way in binary floating point.
            if STAT_COLUMNS[col] == "Leq" and abs(float(a.replace(",", ".")) - leq) <= 0.0501:
                continue
            problems.append("%s row %s: %s is %s, expected %s" % (g[0], g[1], STAT_COLUMNS[col], a, b))
    return problems
