#!/usr/bin/env python3
"""Mutation check: do the tests notice when the code is wrong?

Applies a fixed list of single mutations (a flipped comparison, an off-by-one,
a dropped statement, an early return, swapped arguments) one at a time to a
copy-free working tree: the file is changed, the test programs of its library
are rebuilt and run, and the file is restored byte for byte before the next
one. A mutation is killed when a test fails (or hangs past the timeout).

    python3 scripts/mutants.py                 # every mutation, build dir "build"
    python3 scripts/mutants.py --lib recording # one library
    python3 scripts/mutants.py --list          # the mutations and whether each still applies
    python3 scripts/mutants.py --only 17       # one mutation by its number
    python3 scripts/mutants.py --min 85        # exit 1 below 85 % killed
    python3 scripts/mutants.py --who kills.json # which test cases fail for each mutation

The build directory must be configured (cmake -S . -B build -G Ninja). The
source tree is changed only while a mutation runs; an interrupted run restores
the file it had changed.
"""

import argparse
import hashlib
import json
import os
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Library -> test programs (build target, arguments). Programs are run
# directly, not through ctest: one process per program is much quicker.
TESTS = {
    "protocol": [("test_protocol", [])],
    "statistics": [("test_statistics", [])],
    "recording": [("test_recording", [])],
    "settings": [("test_settings", []), ("test_ui_setup", [])],
    "remote": [("test_remote", []), ("test_mqtt", [])],
    "session": [("test_session", []), ("test_ui_controller", ["--gtest_filter=FrontPanel.Setup*"])],
    "link": [("test_link", [])],
    "app": [("test_app", [])],
    "shell": [("test_shell", [])],
    "windows": [("test_ui_controller", ["--gtest_filter=*Captions.Status*:Window.*"]),
                ("test_statistics_window", ["--gtest_filter=*Fits*:*RecordFileIsRead*"]),
                ("test_ui_recording", ["--gtest_filter=LevelGraphMath.*"]),
                ("test_ui_setup", ["--gtest_filter=*Named*"])],
    "report": [("test_statistics_window", ["--gtest_filter=*Report*"])],
}


@dataclass
class Mutation:
    lib: str
    path: str
    before: str
    after: str
    what: str
    occurrence: int = 1  # which occurrence of `before` (1-based) when it is not unique


M = Mutation

# The fixed list. `before` must occur in the file (the occurrence-th time);
# keep snippets short but specific enough to survive reformatting.
MUTATIONS = [
    # ---- protocol: the scanner, the receive buffer, the sample series, the interpreter
    M("protocol", "src/protocol/ArgParser.cpp", "if (v > std::numeric_limits<int32_t>::max())",
      "if (v >= std::numeric_limits<int32_t>::max())", "overflow bound one too low"),
    M("protocol", "src/protocol/ArgParser.cpp", "if (v > std::numeric_limits<int32_t>::max()) throw",
      "if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) throw", "overflow bound one too high"),
    M("protocol", "src/protocol/ArgParser.cpp", "case 2:\n            return 2;", "case 2:\n            return 10;",
      "binary radix read as decimal"),
    M("protocol", "src/protocol/ArgParser.cpp", "case 1:\n            return 16;", "case 1:\n            return 10;",
      "hexadecimal radix read as decimal"),
    M("protocol", "src/protocol/ArgParser.cpp", "if (++k > 2) {", "if (++k > 3) {", "a third number accepted"),
    M("protocol", "src/protocol/ArgParser.cpp", "if (a.Radix == 3) fraction = true;", "",
      "fraction point never starts a fraction"),
    M("protocol", "src/protocol/DeviceModule.cpp", "if (!rxFlooding_) {", "if (true) {",
      "a flood logged on every append"),
    M("protocol", "src/protocol/DeviceModule.cpp", "if (crs > 0) rxFlooding_ = false;", "",
      "the flood log never re-armed"),
    M("protocol", "src/protocol/DeviceModule.cpp", "if (rxHead_ > 0 && rxHead_ >= pending) {",
      "if (rxHead_ > 0 && rxHead_ >= pending + 1000000) {", "consumed characters never compacted"),
    M("protocol", "src/protocol/SampleSeries.cpp", "if (!fresh_) ++RecordNo;", "++RecordNo;",
      "a restart before the first sample counted twice"),
    M("protocol", "src/protocol/SampleSeries.cpp", "if (n < 1 || n > Count) return", "if (n < 1 || n >= Count) return",
      "the last sample not found"),
    M("protocol", "src/protocol/SampleSeries.cpp", "std::swap(out, pending_);", "out = pending_;",
      "pending samples handed off twice"),
    M("protocol", "src/protocol/Interpreter.cpp", "int64_t stamp = std::max(arrival, last + step);",
      "int64_t stamp = now.utcMs;", "stamps of a burst not spread"),
    M("protocol", "src/protocol/Interpreter.cpp",
      "if (function != st.DevFunction || variant != st.DevVariant) ps.BufferRestart = kRestartBoth;", "",
      "a function change in the status answer restarts nothing"),
    M("protocol", "src/protocol/Interpreter.cpp", "if (ps.RecordState != kRecordOff && isRecordedCode(old))",
      "if (ps.RecordState != kRecordOff && isRecordedCode(code))", "the new code decides what is stored"),
    M("protocol", "src/protocol/Interpreter.cpp", "if (a.size() != 11) return;", "if (a.size() < 11) return;",
      "an overlong fast value line accepted"),
    # ---- recording: the writer's outages and the hand-off
    M("recording", "src/recording/RecordWriter.cpp",
      "if (done > 0 && !(regular && ::ftruncate(fd, synced) == 0)) *written += done;",
      "if (done > 0) *written += done;", "a partial batch not taken back"),
    M("recording", "src/recording/RecordWriter.cpp", "else if (spoolTaken > 0)\n        writeOffset(b.spool, b.spoolDone);",
      "", "the crash offset never written"),
    M("recording", "src/recording/RecordWriter.cpp", "spool(b, b.memory + bytes)", "spool(b, bytes + b.memory)",
      "held lines spooled behind newer ones"),
    M("recording", "src/recording/RecordWriter.cpp", " ||\n            st.st_size != b.spoolSize;", ";",
      "a spool cut short not noticed"),
    M("recording", "src/recording/RecordWriter.cpp", "b.lostSpoolLines += b.spoolLines;", "",
      "lines of a vanished spool not counted"),
    M("recording", "src/recording/RecordWriter.cpp", "if (taken > 0 && (now_() - start) * (pieces + 1) / pieces > budgetNs)",
      "if (false)", "catching up ignores the tick's time"),
    M("recording", "src/recording/RecordWriter.cpp", "taken >= kDrainChunk", "taken > kDrainChunk",
      "one piece beyond the chunk"),
    M("recording", "src/recording/RecordWriter.cpp", "if (memoryBytes_ + bytes.size() > memoryLimit_) {",
      "if (false) {", "memory held without a bound"),
    M("recording", "src/recording/SeriesRecorder.cpp", "now - it->loggedMs >= kRepeatLogMs || ", "",
      "a lasting failure never logged again"),
    M("recording", "src/recording/SeriesRecorder.cpp", "log = it->err != e.err ||", "log = true ||",
      "a lasting failure logged on every tick"),
    M("recording", "src/recording/SeriesRecorder.cpp", "if (!batch.isEmpty()) writeRecordBatch(SlowFileName, batch);",
      "", "the rest of the old series written into the new file"),
    M("recording", "src/recording/SeriesRecorder.cpp", "if (e.Sample.Flags > 0) {\n            emit",
      "if (e.Sample.Flags != 0) {\n            emit", "a sample without flags written"),
    M("recording", "src/recording/SeriesRecorder.cpp", "buf[buf.count()].Instant - buf[0].Instant",
      "buf[0].Instant - buf[buf.count()].Instant", "duration with swapped ends"),
    M("recording", "src/recording/SampleWindow.cpp", " || samples_.size() > kMaxSamples", "",
      "the graph's buffer unbounded once the clock went back"),
    M("recording", "src/recording/RecordFormat.cpp", "if (value < 0) out.append('-');", "",
      "the sign of a negative level lost"),
    M("recording", "src/recording/RecordFormat.cpp", "r.FastLevel > 0.0 ? kErrOverflow : kErrInvalidCall",
      "r.FastLevel > 0.0 ? kErrInvalidCall : kErrOverflow", "the reasons of a missing fast value swapped"),
    M("recording", "src/recording/SeriesRecorder.cpp", "recordFilePath(s_, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags), first.SysTime)",
      "recordFilePath(s_, slow ? slowTypeWord(h.Flags) : fastTypeWord(h.Flags), clock_.now())",
      "a record file named after the tick, not its first line"),
    M("recording", "src/recording/RecordWriter.cpp", "st.st_size > b.cutTo &&", "st.st_size < b.cutTo &&",
      "a file that came back not cut back to its synced size"),
    M("recording", "src/recording/RecordWriter.cpp", "b->cutTo = u->base;", "", "the synced size not kept"),
    M("recording", "src/recording/RecordWriter.cpp", "if (!head || !head->written || head->bytes.isEmpty()) return {};",
      "if (!head || head->bytes.isEmpty()) return {};", "a head written before the file was ever begun"),
    M("recording", "src/recording/RecordWriter.cpp", "return empty ? head->bytes : QByteArray();", "return QByteArray();",
      "a file begun again without its head"),
    M("recording", "src/recording/SeriesRecorder.cpp", "evidence_.fileBack(path, o.restarted);",
      "evidence_.fileBack(path, false);", "a file begun again not named in its side file"),
    # ---- statistics
    M("statistics", "src/statistics/IntervalEngine.cpp",
      "if (open_ && (localMs >= alignedStart_ + intervalMs_ ||", "if (open_ && (localMs > alignedStart_ + intervalMs_ ||",
      "a sample on the interval edge kept in the old interval"),
    M("statistics", "src/statistics/IntervalEngine.cpp",
      " || localMs < seriesLast_ - kClockBackMs))\n        closeInterval", "))\n        closeInterval",
      "a clock set back stays in the open interval"),
    M("statistics", "src/statistics/IntervalEngine.cpp",
      "if (!running_ || !open_) return;\n    if (localMs >= alignedStart_", "if (!running_ || !open_) return;\n    if (localMs > alignedStart_",
      "the clock on the interval edge does not end it"),
    M("statistics", "src/statistics/IntervalEngine.cpp", "std::clamp(seriesLast_, intervalFirst_, alignedStart_ + intervalMs_)",
      "alignedStart_ + intervalMs_", "the last interval ends at its edge, not at the last sample"),
    M("statistics", "src/statistics/RunningLevels.cpp", "if (gap < -kJitterMs || gap > kClockStepMs)\n        gap = cadenceMs_;\n    else",
      "", "a clock set counts as time recorded"),
    M("statistics", "src/statistics/RunningLevels.cpp", "s.energy = te - te_;", "s.energy = te;",
      "running Leq not differenced"),
    M("statistics", "src/statistics/RunningLevels.cpp", "if (te - te_ < -(edge_ + edge)) {", "if (false) {",
      "a meter restart not noticed"),
    M("statistics", "src/statistics/RunningLevels.cpp", "error > RunningIntegrator::kResolvedFraction * energy",
      "error > 10 * RunningIntegrator::kResolvedFraction * energy", "unresolved Leq given"),
    M("statistics", "src/statistics/RunningLevels.cpp", "if (next.edgeStart != edgeEnd) edgeInner", "edgeInner",
      "errors of adjoining stretches never cancel"),
    M("statistics", "src/statistics/DayLevels.h", "double(coveredMs) >= kMinimumCoverage * double(lengthMs)",
      "double(coveredMs) >= 0.5 * double(lengthMs)", "assessment days with too little coverage complete"),
    M("statistics", "src/statistics/DayLevels.h", "double(coveredMs) >= kMinimumCoverage",
      "double(coveredMs) > kMinimumCoverage", "a period covered exactly 75 % refused"),
    M("statistics", "src/statistics/DayLevels.cpp", "std::min(r.samples * cadenceMs, intervalMs)",
      "std::max<int64_t>(0, r.endMs - r.startMs)", "coverage by the spans of intervals holding any sample"),
    M("statistics", "src/statistics/DayLevels.cpp", "std::min(r.samples * cadenceMs, intervalMs)",
      "r.samples * cadenceMs", "an interval covers more than its length"),
    M("statistics", "src/statistics/DayLevels.cpp", "pl->coveredMs * 100 / pl->lengthMs",
      "(pl->coveredMs * 100 + pl->lengthMs / 2) / pl->lengthMs", "a period falling short shown as 75 %"),
    M("statistics", "src/statistics/RecordAnalysis.cpp", "engine.add(steady(s.localMs)", "engine.add(s.localMs",
      "intervals of a record file cut on the local clock"),
    M("statistics", "src/statistics/RecordAnalysis.cpp", "config.periods, a.zone,",
      "config.periods, QTimeZone::systemTimeZone(),", "day lengths of the reading computer's zone"),
    M("statistics", "src/statistics/RecordAnalysis.cpp", "r.utcOffsetS = int32_t(zone.offsetAt(utc) / 1000);", "",
      "interval rows without their UTC offset"),
    M("statistics", "src/statistics/ZoneTimeline.cpp", "(preferOffsetMs != first && notBeforeUtc != kNone &&",
      "(false &&", "the repeated hour read as its first showing throughout"),
    M("statistics", "src/statistics/ZoneTimeline.cpp", "if (preferOffsetMs == second ||", "if (",
      "the side file's offset at the start ignored"),
    M("statistics", "src/statistics/ZoneTimeline.cpp", "s.localTo = s.to + std::min(offset, after);",
      "s.localTo = s.to + std::max(offset, after);", "a repeated local time read with the cached offset"),
    M("statistics", "src/statistics/EventsFile.cpp", "out.criteria.minDurationS = levelOf(dur, d);", "",
      "the events file's minimum duration not read"),
    M("statistics", "src/statistics/DayLevels.cpp", "if (hour < p.dayStartHour) --day;", "if (hour <= p.dayStartHour) --day;",
      "the first day hour counted for the day before"),
    M("statistics", "src/statistics/DayLevels.cpp", "hour >= dayStartHour && hour < eveningStartHour",
      "hour >= dayStartHour && hour <= eveningStartHour", "the first evening hour counted as day"),
    M("statistics", "src/statistics/LevelAccumulator.cpp", "(int64_t{percent} * samples_ + 99) / 100",
      "(int64_t{percent} * samples_) / 100", "percentile rank rounded down"),
    M("statistics", "src/statistics/LevelAccumulator.cpp", "? (hundredths + 5) / 10", "? (hundredths + 4) / 10",
      "half a tenth rounded down"),
    M("statistics", "src/statistics/LevelAccumulator.cpp", "min_ = samples_ == 0 ? o.min_ : std::min(min_, o.min_);",
      "min_ = std::min(min_, o.min_);", "merging into an empty stretch keeps its zero minimum"),
    M("statistics", "src/statistics/StatisticsRecorder.cpp", "x < -32768.0 || x > 32767.0) return false;",
      "x < -32768.0) return false;", "a fast level beyond 16 bits wraps"),
    M("statistics", "src/statistics/RecordFileReader.cpp", "if (ms < ref - kHalfDayMs) ms += kMsPerDay;", "",
      "midnight not passed"),
    M("statistics", "src/statistics/RecordFileReader.cpp", "if (out.hasTime && out.decimal != p[8])", "if (false)",
      "different decimal separators in one line accepted"),
    M("statistics", "src/statistics/RecordAnalysis.cpp", "if (running || e.localMs > fromMs) break;",
      "if (running || e.localMs > toMs) break;", "a span resumed after its start"),
    # ---- daily reports: the assessment day of an instant, the series of a day, the days a start still owes
    M("statistics", "src/statistics/DailyReport.cpp", "floorDiv(localMs - int64_t{dayStartHour} * 3600000, kDayMs)",
      "floorDiv(localMs, kDayMs)", "assessment days begin at midnight"),
    M("statistics", "src/statistics/DailyReport.cpp", "return a / b - (a % b != 0 && (a < 0) != (b < 0));",
      "return a / b;", "days before 1899 rounded towards zero"),
    M("statistics", "src/statistics/DailyReport.cpp", "s.startLocalMs < from + kDayMs",
      "s.startLocalMs <= from + kDayMs", "a series beginning at the next day's start counts for the day"),
    M("statistics", "src/statistics/DailyReport.cpp", "s.endLocalMs >= from", "s.startLocalMs >= from",
      "a series across the day start counts only for the day it began"),
    M("statistics", "src/statistics/DailyReport.cpp", "if (reported.count(day)) continue;", "",
      "a day with its report is made again"),
    M("statistics", "src/statistics/DailyReport.cpp", "day < currentDay; ++day", "day <= currentDay; ++day",
      "the running day counts as missing"),
    M("statistics", "src/statistics/DailyReport.cpp", "day = currentDay - maxDays;", "day = currentDay - maxDays + 1;",
      "one day fewer looked back at"),
    M("statistics", "src/statistics/DailyReport.cpp", "std::floor(p.coverage() * 100.0 + 1e-9)",
      "std::round(p.coverage() * 100.0)", "coverage rounded up to the next percent"),
    M("statistics", "src/statistics/DailyReport.cpp", "- f.checksBefore.back().levelDb",
      "- f.checksBefore.front().levelDb", "drift against the first check before instead of the last"),
    M("statistics", "src/statistics/DailyReport.cpp", "if (dayText(day) != text) return std::nullopt;", "",
      "a date that does not exist is taken"),
    # ---- remote
    M("remote", "src/remote/IntervalQueue.cpp", "while (entries_.size() >= kMaxEntries) {",
      "while (entries_.size() > kMaxEntries) {", "queue bound one too high"),
    M("remote", "src/remote/IntervalQueue.cpp", "entries_.front().queuedUtcMs < nowUtcMs - maxAgeMs_",
      "entries_.front().queuedUtcMs <= nowUtcMs - maxAgeMs_", "a message dropped at exactly seven days"),
    M("remote", "src/remote/IntervalQueue.cpp", "if (e.seq <= acked_ || (", "if ((",
      "delivered messages come back after a restart"),
    M("remote", "src/remote/IntervalQueue.cpp", "while (!entries_.empty() && entries_.front().seq <= seq) {",
      "while (!entries_.empty() && entries_.front().seq < seq) {", "the acknowledged message itself kept"),
    M("remote", "src/remote/MqttPublisher.cpp", "sentGeneration_ = generation;\n        sentThrough_ = 0;",
      "sentGeneration_ = generation;", "messages in flight not sent again after a reconnection"),
    M("remote", "src/remote/MqttLink.cpp", "retryMs = std::min(retryMs * 2, cfg.maxRetryMs);",
      "retryMs = retryMs * 2;", "reconnect back-off without its cap"),
    M("remote", "src/remote/MqttLink.cpp", "retryMs = std::min(retryMs * 2, cfg.maxRetryMs);",
      "retryMs = std::min(retryMs, cfg.maxRetryMs);", "reconnect back-off never grows"),
    M("remote", "src/remote/StationMonitor.cpp", "now.utcMs - statisticsNoticeMs_ >= kStatisticsNoticeMs",
      "now.utcMs - statisticsNoticeMs_ >= 0", "statistics notices not rate limited"),
    M("remote", "src/remote/StationMonitor.cpp", "now.utcMs - filesNoticeMs_ >= kFilesNoticeMs",
      "now.utcMs - filesNoticeMs_ >= 0", "file notices not rate limited"),
    M("remote", "src/remote/StationMonitor.cpp", " || history_.size() > kHistoryMax", "",
      "history without its cap"),
    M("remote", "src/remote/StationMonitor.cpp", "c.localMs - before->localMs > kCalibrationCheckGapMs",
      "c.localMs - before->localMs >= kCalibrationCheckGapMs", "readings 2 minutes apart taken as two checks"),
    M("remote", "src/remote/StationMonitor.cpp", "c.serialNumber != before->serialNumber)", "false)",
      "drift between two meters' checks"),
    M("remote", "src/remote/StationMonitor.cpp", "calibrationDrift_ = c.levelDb - before->levelDb;",
      "calibrationDrift_ = before->levelDb - c.levelDb;", "drift with the wrong sign"),
    M("remote", "src/remote/RequestGuard.cpp", "if (headBytes_ + length > max_) {", "if (headBytes_ + length >= max_) {",
      "a request of exactly the limit refused"),
    M("remote", "src/remote/RequestGuard.cpp", "if (headBytes_ + bodyLeft_ > max_)", "if (headBytes_ + bodyLeft_ > max_ + 1)",
      "a body one byte over the limit accepted"),
    M("remote", "src/remote/RequestGuard.cpp", "(seenLength_ && value.toLongLong() != bodyLeft_)", "false",
      "two different lengths accepted"),
    M("remote", "src/remote/RequestGuard.cpp", "if (line_.endsWith('\\r')) line_.chop(1);", "",
      "carriage returns left in header lines"),
    M("remote", "src/remote/StationTime.cpp", "return atCurrent > atPrevious ? currentMin_ : previousMin_;",
      "return atCurrent > atPrevious ? previousMin_ : currentMin_;", "the repeated hour gets the wrong offset"),
    M("remote", "src/remote/RemoteOptions.cpp", "value > 65535", "value > 65536", "port 65536 accepted"),
    M("remote", "src/remote/MqttPublisher.cpp", "        ++intervalsDelivered_;\n", "",
      "delivered intervals not counted"),
    M("remote", "src/remote/MqttPublisher.cpp", "serial_.isEmpty() ? QStringLiteral(\"unknown\") : serial_",
      "serial_", "no topic before the serial number is known"),
    M("remote", "src/remote/IntervalQueue.cpp", "            entries_.push_back(std::move(e));\n        }", "        }",
      "waiting messages lost by a restart"),
    M("remote", "src/remote/StationTime.cpp", "std::llround(double(diff) / double(kMsPerMinute))",
      "std::llround(double(diff) / double(kMsPerMinute)) + 1", "the UTC offset a minute off"),
    M("remote", "src/remote/MonitorServer.cpp", "unsigned char diff = given.size() == token.size() ? 0 : 1;",
      "unsigned char diff = 0;", "a prefix of the token accepted"),
    M("remote", "src/remote/MonitorServer.cpp", "path == \"/\" || path == \"/index.html\" || path == \"/app.js\";",
      "path.startsWith('/');", "every path open without the token"),
    M("remote", "src/remote/MonitorServer.cpp", "name == \"localhost\" || name.endsWith(\".localhost\")",
      "name.contains(\"localhost\")", "any name with localhost in it taken for loopback"),
    M("remote", "src/remote/MonitorServer.cpp", "if (hasHost && target->authority.toLower() != host.toLower())",
      "if (false)", "an absolute target for another host than the Host header"),
    M("remote", "src/remote/MonitorServer.cpp", " || t.authority.contains('@')", "",
      "user information in an absolute target"),
    M("remote", "src/remote/MonitorServer.cpp", " || target.contains('#')", "", "a fragment in the target"),
    M("remote", "src/remote/MonitorServer.cpp", "if (!target.startsWith('/')) target.prepend('/');", "",
      "an absolute target without a path refused"),
    M("remote", "src/remote/MonitorServer.cpp", "const bool keepAlive = request.keepAlive && target;",
      "const bool keepAlive = request.keepAlive;", "a connection kept after an unreadable target"),
    M("remote", "src/remote/MonitorServer.cpp", "c.inboxEnd = size_t(n);",
      "c.inboxEnd = size_t(n);\n            c.lastActivity.start();", "blank lines keep a connection from idling"),
    M("remote", "src/remote/MonitorServer.cpp", "c.inputEnded = true;\n            c.reader->setEnabled(false);\n            return true;",
      "drop(c);\n            return false;", "a half-closed client dropped before its answers"),
    M("remote", "src/remote/MonitorServer.cpp", "c.streaming = false;\n        --streams_;\n        closeWhenSent(c);",
      "drop(c);", "a half-closed stream client dropped before its first events"),
    M("remote", "src/remote/MonitorServer.cpp", "connections_.size()) >= limits_.maxConnections",
      "connections_.size()) > limits_.maxConnections", "one connection over the limit"),
    M("remote", "src/remote/MonitorServer.cpp", "if (c.unsent() >= limits_.maxUnsentBytes || c.file >= 0) {",
      "if (c.file >= 0) {", "unread answers without a bound"),
    M("remote", "src/remote/MonitorServer.cpp", "streams_ >= limits_.maxStreams", "streams_ > limits_.maxStreams",
      "one event stream over the limit"),
    M("remote", "src/remote/MonitorServer.cpp", "c.unsent() + bytes.size() > limits_.maxStreamBacklog", "false",
      "a stream's backlog without a bound"),
    # the page's language by Accept-Language
    M("remote", "src/remote/PageLanguage.cpp", "german > 0 && german > english", "german > 0 && german >= english",
      "a tie between German and English goes to German"),
    M("remote", "src/remote/PageLanguage.cpp", "const int german = de >= 0 ? de : std::max(any, 0);",
      "const int german = de >= 0 ? de : 0;", "\"*\" gives German no weight"),
    M("remote", "src/remote/PageLanguage.cpp", "|1(\\\\.0{0,3})?)$", "|1(\\\\.\\\\d{0,3})?)$", "a q-value above 1 read"),
    M("remote", "src/remote/PageLanguage.cpp", "if (weight) *weight = std::max(*weight, q);",
      "if (weight) *weight = q;", "a later, lower weight of a language wins"),
    M("remote", "src/remote/RequestGuard.cpp", "head_.acceptLanguage.isEmpty() ? value : head_.acceptLanguage + ',' + value",
      "head_.acceptLanguage.isEmpty() ? value : head_.acceptLanguage", "a repeated Accept-Language header ignored"),
    M("remote", "src/remote/MonitorServer.cpp", "translated_.at(language).page", "translated_.at(\"en\").page",
      "the page always in English"),
    M("remote", "src/remote/RequestGuard.cpp", "(c == 0 || !std::strchr(", "(!std::strchr(",
      "NUL taken for a token character"),
    M("remote", "src/remote/RequestGuard.cpp", "(u < 0x20 && c != '\\t') || u == 0x7f", "u < 0x20 && c != '\\t'",
      "DEL accepted in a value"),
    M("remote", "src/remote/RequestGuard.cpp", "text[from] == ' ' || text[from] == '\\t'", "text[from] == ' '",
      "a tab before a value kept in it"),
    M("remote", "src/remote/RequestGuard.cpp", "if (hasControl(value)) return refuse(Verdict::Malformed, 400);", "",
      "control bytes accepted in values"),
    M("remote", "src/remote/RequestGuard.cpp", "static_cast<unsigned char>(c) >= 0x7f", "c == 0x7f",
      "bytes above ASCII accepted in the target"),
    M("remote", "src/remote/StationMonitor.cpp", "lastDailyReportUtcMs_ = std::max(lastDailyReportUtcMs_, utcMs);",
      "lastDailyReportUtcMs_ = utcMs;", "an older report listed later sets the last report's time back"),
    M("remote", "src/remote/StationMonitor.cpp", "days_.erase(days_.begin());", "days_.erase(std::prev(days_.end()));",
      "the newest day dropped when more than 31 are listed"),
    # downloads: the token, the names, the ranges, the number at once
    M("remote", "src/remote/MonitorServer.cpp", "path == \"/\" || path == \"/index.html\" || path == \"/app.js\";",
      "path == \"/\" || path == \"/index.html\" || path == \"/app.js\" || path.startsWith(\"/files/\");",
      "files open without the token"),
    M("remote", "src/remote/MonitorServer.cpp", "token_.isEmpty() && !tcp_->serverAddress().isLoopback()", "false",
      "files served beyond loopback without a token"),
    M("remote", "src/remote/FileCatalog.cpp", "if (name.startsWith(QLatin1Char('.'))) return nullptr;", "",
      "files being written (dot names) listed"),
    M("remote", "src/remote/FileCatalog.cpp", "!S_ISREG(st.st_mode)) {\n            gone.push_back(name);",
      "false) {\n            gone.push_back(name);", "links, FIFOs and directories listed"),
    M("remote", "src/remote/FileCatalog.cpp", "if (x.bytes == c.size) c.sha256 = x.sha256;", "c.sha256 = x.sha256;",
      "a hash of an earlier size vouches for a grown file"),
    M("remote", "src/remote/RequestGuard.cpp", "std::min(b + 1, size)", "std::min(b, size)",
      "a range's last byte left out"),
    M("remote", "src/remote/RequestGuard.cpp", "if (a >= size) return", "if (a > size) return",
      "a range from the end of the file taken as satisfiable"),
    M("remote", "src/remote/RequestGuard.cpp", "std::max<int64_t>(0, size - b)", "std::max<int64_t>(0, size - b - 1)",
      "a suffix range one byte too long"),
    M("remote", "src/remote/RequestGuard.cpp", "if (b == 0 || size == 0)", "if (size == 0)",
      "an empty suffix range served"),
    M("remote", "src/remote/RequestGuard.cpp", "(!number(last, &b) || b < a)", "!number(last, &b)",
      "a reversed range served"),
    M("remote", "src/remote/MonitorServer.cpp", "const bool same = since.isEmpty() ||", "const bool same = true ||",
      "If-Range ignored: a piece of another file resumes a download"),
    M("remote", "src/remote/MonitorServer.cpp", "std::min(chunk, c.fileEnd - c.fileAt)", "chunk",
      "a download sent past its range"),
    M("remote", "src/remote/MonitorServer.cpp", "downloads_ < limits_.maxDownloads ?", "downloads_ <= limits_.maxDownloads ?",
      "a fifth download at once"),
    M("remote", "src/remote/MonitorServer.cpp", "    c.file = -1;\n    --downloads_;", "    c.file = -1;",
      "an ended download keeps its place"),
    # ---- session: the poll cycle, arming, port supervision, the shutdown order
    M("session", "src/session/Session.cpp", "if ((armOnStart_ || rearmAfterSetup_) &&", "if ((armOnStart_) &&",
      "a recording stopped for Setup is not resumed"),
    M("session", "src/session/Session.cpp", "    rearmAfterSetup_ = false;\n", "",
      "a recording the user stopped arms again at the next start-up"),
    M("session", "src/session/Session.cpp", "    connectionLost();\n    if (com_.GetCOMPort() > 0)",
      "    if (com_.GetCOMPort() > 0)", "Setup leaves the device online: the resume never comes"),
    M("session", "src/session/Session.cpp", "if (ps_.AnswerWatchdog() <= 0) {", "if (ps_.AnswerWatchdog() < 0) {",
      "the device lost a tick late"),
    M("session", "src/protocol/MeterCommands.cpp", "serialKnown ? \"gds\" : \"gsn\"",
      "serialKnown ? \"gsn\" : \"gds\"", "status query and serial-number query swapped"),
    M("session", "src/session/Session.cpp", "if (!(ks.DataValid & kValidFunction)) return;\n            if",
      "if", "the function step does not wait for a reported function"),
    M("session", "src/session/Session.cpp", "const bool armed = ps_.RecordState() != kRecordOff;",
      "const bool armed = false;", "start-up switches the fast values of an armed recording off"),
    M("session", "src/session/Session.cpp", "if (ks.DevFunction == kFunctionInit) return;", "",
      "the display refreshed in Initialisation"),
    M("session", "src/session/Session.cpp", "KestroStateOld.DevBattery = kNotShown;", "",
      "the battery not shown again after the test pattern"),
    M("session", "src/session/Session.cpp", "if (leaving && !(function == kFunctionLp && ps_.device().DevLevel == 0))",
      "if (leaving)", "a blanked Lp level shown again"),
    M("session", "src/session/Session.cpp", "(ks.DevRange & kRangeMask) : 4;", "(ks.DevRange & kRangeMask) : 0;",
      "a code without a range marks AUTO"),
    M("session", "src/session/Session.cpp", "    ps_.setBufferRestart(kRestartBoth);\n    emit", "    emit",
      "arming starts no new series"),
    M("session", "src/protocol/MeterCommands.cpp", "return function == 0 ? std::string(\"swm \") :",
      "return false ? std::string(\"swm \") :", "\"swm 0\" instead of \"swm \" in Initialisation"),
    M("session", "src/session/Session.cpp", "    flushRecording();\n    recorder_.endStatistics();\n    ps_.setRecordState",
      "    recorder_.endStatistics();\n    ps_.setRecordState", "disarming drops what arrived since the last tick"),
    M("session", "src/session/Session.cpp", "    flushRecording();\n    ps_.setDeviceOnline(false);",
      "    ps_.setDeviceOnline(false);", "a lost device drops what arrived since the last tick"),
    M("session", "src/session/Session.cpp", "tick([&] { ps_.handOffFast(recorder_); });", "{}",
      "fast values before the first level are dropped when the recording ends"),
    M("session", "src/session/Session.cpp", "    armedThisConnection_ = false;\n    emit deviceLost();\n}",
      "    emit deviceLost();\n}", "a recording from the command line is not armed again after an unplug"),
    M("session", "src/session/Session.cpp", "    ps_.ClearFastBuffer();\n    ps_.ClearSlowBuffer();\n}",
      "    ps_.ClearFastBuffer();\n}", "the power key keeps the slow samples"),
    M("session", "src/session/Session.cpp", "void Session::stopRecordKey() {\n    if (ps_.RecordState() <= kRecordOff) return;",
      "void Session::stopRecordKey() {", "the stop key disarms what is not armed"),
    M("session", "src/session/Session.cpp", "void Session::chooseFunction(int16_t Index) {\n    if (OptionUpdate) return;",
      "void Session::chooseFunction(int16_t Index) {", "the session's own marking sends commands"),
    M("session", "src/session/Session.cpp",
      "    SendCommand(meter::setFunction(ps_.device().DevFunction));\n    SendCommand(meter::setRange",
      "    SendCommand(meter::setRange", "a range chosen without setting the function again"),
    M("session", "src/session/Session.cpp", "if (!startedBefore && ks.DeviceOnline && InitStep >= 2)",
      "if (ks.DeviceOnline && InitStep >= 2)", "the device announced as started on every tick"),
    M("session", "src/session/Session.cpp", "if ((armOnStart_ || rearmAfterSetup_) && !armedThisConnection_)",
      "if (!armedThisConnection_)",
      "armed at start-up without --record"),
    M("session", "src/session/Session.cpp", "if (!com_.deviceExists(lostPort_)) return;", "",
      "a vanished port reopened before its device is back"),
    M("session", "src/session/Session.cpp", "if (ending_ || port < 1) return;\n    emit portLost", "if (port < 1) return;\n    emit portLost",
      "a port lost while ending is reconnected"),
    M("session", "src/session/Session.cpp", "    Timer1.stop();\n    retryTimer_.stop();", "    retryTimer_.stop();",
      "ticks go on after the stop sequence"),
    M("session", "src/session/Session.cpp", "    flushRecording();\n    recorder_.endStatistics();\n    // Nothing held",
      "    recorder_.endStatistics();\n    // Nothing held", "the end drops what arrived since the last tick"),
    M("session", "src/session/Session.cpp", "    emit ticked();\n    signalAlive();", "    emit ticked();",
      "the poll cycle gives the watchdog no sign of life"),
    M("session", "src/session/Session.cpp", "now - *aliveAtMs_ < aliveEveryMs_", "now - *aliveAtMs_ <= aliveEveryMs_",
      "a sign of life one interval late"),
    M("session", "src/session/Session.cpp", "aliveAtMs_ && now >= *aliveAtMs_ &&", "aliveAtMs_ &&",
      "a clock stepped back silences the watchdog"),
    M("session", "src/session/Session.cpp", "    aliveAtMs_ = now;\n    alive_();", "    alive_();",
      "a sign of life on every tick"),
    # ---- settings
    M("settings", "src/settings/SettingsSchema.cpp", "if (n < 1 || n > 255)", "if (n < 0 || n > 255)",
      "separator code 0 accepted"),
    M("settings", "src/settings/SettingsSchema.cpp", "if (n < 1 || n > 255)", "if (n < 1 || n > 256)",
      "separator code 256 accepted"),
    M("settings", "src/settings/SettingsSchema.cpp", "if (n < def.min || n > def.max)", "if (n > def.max)",
      "a range without its lower end"),
    M("settings", "src/settings/SettingsSchema.cpp",
      "if (text.contains(QLatin1String(\"..\")))\n        return", "if (false)\n        return", "\"..\" in a name part accepted"),
    M("settings", "src/settings/cRegistry.cpp", "if (logNo != 0 && errorLog_ && before != c.state)",
      "if (logNo != 0 && errorLog_)", "an unusable store logged on every read"),
    M("settings", "src/settings/cRegistry.cpp", "if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()) return false;",
      "", "a number wider than 32 bits stored cut"),
    M("settings", "src/settings/cRegistry.cpp", "split(QLatin1Char('\\\\'), Qt::SkipEmptyParts).join",
      "split(QLatin1Char('\\\\'), Qt::KeepEmptyParts).join", "hand-edited key paths not found"),
    M("settings", "src/settings/SettingsSchema.cpp", "if (reg.isRunValue(HKEY_CURRENT_USER_, section, name)) return;", "",
      "a value for this run written into the store"),
    M("settings", "src/settings/RecorderSettings.cpp", "if (read != SettingRead::Ok && row.opensSetup && isRecorderRow(row)) all = false;", "",
      "a missing value opens no setup dialog"),
    M("settings", "src/settings/RecorderSettings.cpp", "if (v.device.COMPort != 0) writeSetting(", "writeSetting(",
      "the setup dialog without a port choice overwrites the stored port"),
    M("settings", "src/settings/RecorderSettings.cpp", "run.bits |= uint64_t(1) << unsigned(row.id);", "",
      "a value set for this run offered for editing"),
    # the settings table and the setup dialog's binding by name
    M("settings", "src/settings/SettingsSchema.h", "X(DailyReports, Flag, 0, (), kInSetup, nullptr, nullptr)",
      "X(DailyReports, Flag, 0, (), kInSetup, nullptr, nullptr) X(SpareSetting, Flag, 0, (), kInSetup, nullptr, nullptr)",
      "a value added to the settings table only"),
    M("settings", "src/ui/setup/frmSetup.cpp", "named(new QLineEdit(frame), \"MeasurementWeather\")",
      "named(new QLineEdit(frame), \"MeasurementOperator\")", "a widget bound to another value's name"),
    M("settings", "src/ui/setup/frmSetup.cpp", "if (auto* spin = qobject_cast<QSpinBox*>(w)) spin->setRange(row.min, row.max);",
      "", "a number field without its row's limits"),
    M("settings", "src/ui/setup/frmSetup.cpp", "return row.has(kTenths) ? 10.0 : 1.0;", "return 1.0;",
      "tenths of a dB shown as whole ones"),
    M("settings", "src/settings/RecorderSettings.h", "return QChar(char16_t(number));", "return QChar();",
      "the separators' defaults lost from the fields"),
    M("settings", "src/settings/RecorderSettings.cpp", "if (isRecorderRow(row) && row.has(kInSetup)) writeSetting(",
      "if (isRecorderRow(row)) writeSetting(", "Setup stores values it does not edit"),
    M("settings", "src/settings/RecorderSettings.cpp", "row.kind == SettingKind::FileNamePart);\n        if",
      "false);\n        if", "an unusable name part not shown to Setup"),
    M("recording", "src/recording/EvidenceTrail.cpp", "else if (!(row.has(kZeroIsNone) && v.toLongLong() <= 0))",
      "else", "a level of 0 listed as 0 dB instead of none"),
    M("recording", "src/recording/EvidenceTrail.cpp", "listed = row.has(kTenths) ? QJsonValue(v.toLongLong() / 10.0)",
      "listed = false ? QJsonValue(v.toLongLong() / 10.0)", "tenths of a dB listed as dB"),
    M("settings", "src/settings/RecorderSettings.cpp", "cRegistry::textAsRead(settingValue(s, row.id)", "QString(settingValue(s, row.id)",
      "Setup's %NAME% references applied unexpanded until the next start"),
    M("recording", "src/settings/RecorderSettings.cpp", "return a.name == b.name;", "return true;",
      "a line setting changed mid-series goes unrecorded"),
    M("link", "src/link/PosixSerialPort.cpp", "(endsLine_ && !busy_)", "(!busy_)",
      "a line that ends is held all the same after a quiet spell"),
    M("link", "src/link/PosixSerialPort.cpp", "hold - now % hold", "hold",
      "a hold-off ends a whole hold-off after the read, not on the grid"),
    M("link", "src/link/PosixSerialPort.cpp", "if (holdEnded) watch();", "",
      "a hold-off that found nothing never watches the port again"),
    M("link", "src/link/PosixSerialPort.cpp", "if (tx_.isEmpty()) {", "if (true) {",
      "a command overtakes bytes still queued"),
    M("link", "src/link/PosixSerialPort.cpp", "if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return busy();", "",
      "a port another program holds by a descriptor lock is opened"),
    M("link", "src/link/PosixSerialPort.cpp", "const bool unread = waiting && waited && fills_ == seen;",
      "const bool unread = false;", "bytes left unread while the event loop is held up go with a pulled adapter"),
    M("link", "src/link/PosixSerialPort.cpp", "const int hold = busy_ ? busyHoldOffMs_ : holdOffMs_;",
      "const int hold = holdOffMs_;", "a busy line is read at every hold-off, not at the busy grid"),
    # ---- lock files and the port owner's open and close
    M("link", "src/link/PosixSerialPort.cpp", "O_RDONLY | O_NOFOLLOW | O_NONBLOCK |", "O_RDONLY | O_NOFOLLOW |",
      "a pipe at a lock name blocks the open for good"),
    M("link", "src/link/PosixSerialPort.cpp", "O_RDONLY | O_NOFOLLOW | O_NONBLOCK |", "O_RDONLY | O_NONBLOCK |",
      "a link at a lock name is followed"),
    M("link", "src/link/PosixSerialPort.cpp", "== 0 && S_ISREG(st.st_mode) && st.st_size", "== 0 && st.st_size",
      "a pipe, folder or device at a lock name is read as a lock"),
    M("link", "src/link/PosixSerialPort.cpp", "S_ISREG(st.st_mode) && st.st_size <= kMaxLockFileBytes;",
      "S_ISREG(st.st_mode);", "a lock file of any size is read"),
    M("link", "src/link/PosixSerialPort.cpp", "ok && pid != ::getpid() && running(pid)", "ok && running(pid)",
      "a lock left with this process's number holds the port"),
    M("link", "src/link/PosixSerialPort.cpp", "if (e.holder) return false;", "",
      "a running holder's lock where others lock is not honoured"),
    M("link", "src/link/PosixSerialPort.cpp", "if (e.kind == LockEntry::Other) notLock(path, e.other);", "",
      "something at a lock name is never reported"),
    M("link", "src/link/PosixSerialPort.cpp", "if (!temp.renameTo(name)) return Take::Skipped;",
      "return Take::Skipped;", "a stale lock is never replaced"),
    M("link", "src/link/PosixSerialPort.cpp", "if (temp.linkTo(name)) return Take::Taken;",
      "if (temp.linkTo(name)) return Take::Skipped;", "our lock file is left behind at close"),
    M("link", "src/link/PosixSerialPort.cpp", "if (!path_.isEmpty()) ::unlink(path_.constData());", "",
      "the temporary lock files pile up"),
    M("link", "src/link/PosixSerialPort.cpp", "!lock.isEmpty() && readLockEntry(lock).content == ownLockText()",
      "false", "our lock file is never removed"),
    M("link", "src/link/frmCOMx.cpp", "if (d_->notLockFiles.contains(path)) return;", "",
      "something at a lock name is reported at every reconnect"),
    M("link", "src/link/frmCOMx.cpp", "if (*device == mapped) r = {", "if (false) r = {",
      "a replugged adapter is not found by its stable name"),
    M("link", "src/link/frmCOMx.cpp", "if (d_->port->isOpen()) CloseCOMPort();", "",
      "switching ports leaves the old one's lines up"),
    # ---- the evidence trail: what closed side files vouch for, the chain, the signatures
    M("recording", "src/recording/EvidenceFiles.cpp", "else if (fi.size() > covered)",
      "else if (fi.size() > covered + 1000000)", "rows appended to a closed statistics or events file pass"),
    M("recording", "src/recording/EvidenceFiles.cpp", "if (covered < 0)", "if (false)",
      "an events file put beside a closed series that had none passes"),
    M("recording", "src/recording/EvidenceFiles.cpp", "for (size_t i = 1; i < roots.size(); ++i)",
      "for (size_t i = roots.size(); i < roots.size(); ++i)", "a second chain root is accepted"),
    M("recording", "src/recording/EvidenceFiles.cpp", "return !x.isEmpty() && !y.isEmpty() && x != y;", "return false;",
      "another station's series under the same name blames the untouched one before it"),
    M("recording", "src/recording/EvidenceFiles.cpp", "vouched = true;\n            checkHashed(",
      "vouched = true;\n            if (false) checkHashed(", "an edited calibration log passes"),
    M("recording", "src/recording/EvidenceFiles.cpp", "(l.endOffset <= vouched ? vouchedOut : others)",
      "(true ? vouchedOut : others)", "a calibration check added after the last close is vouched for"),
    M("recording", "src/recording/EvidenceFiles.cpp", "if (d && QString::fromLatin1(d->sha256) == str(s.doc, sha)) best = n;",
      "if (d) best = n;", "an edited events file's rows are still vouched for"),
    M("recording", "src/recording/EvidenceFiles.cpp", "else if (g == Signature::None && closedAtUtc(*s) > firstSigned)",
      "else if (false)", "a signature removed from a side file after signed ones passes"),
    M("recording", "src/recording/EvidenceFiles.cpp",
      "return verifySignature(key, s.bytes, f.readAll()) ? Signature::Good : Signature::Bad;", "return Signature::Good;",
      "any signature file is taken for the station's"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (h.calibrationLog) {", "if (false) {",
      "closed side files do not vouch for the calibration log"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (key) {", "if (false) {", "side files are closed unsigned"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (onChainHead && !head.sideFile.isEmpty()) onChainHead(heads_[read]);",
      "", "the chain head found at a start is not published until the next close"),
    M("recording", "src/recording/StationKey.cpp", "(st.st_mode & 077) != 0", "false",
      "a private key others may read is left so"),
    M("recording", "src/recording/DailyReports.cpp", "                        bad << file;", "                        ;",
      "a daily report's PDF or CSV that is missing or changed goes untold"),
    M("recording", "src/recording/DailyReports.cpp",
      "name.count(QLatin1Char('/')) != 1 ||\n                name.contains(QLatin1String(\"..\"))", "false",
      "a daily report named beyond reports/ is read"),
    # ---- syncs once a second, stamps dated back by the bytes after a line
    M("recording", "src/recording/RecordWriter.cpp",
      "const bool sync = forceSync || (known && now - u->sinceNs >= kSyncEveryNs);", "const bool sync = forceSync;",
      "written lines never synced while the program runs"),
    M("recording", "src/recording/RecordWriter.cpp", "rest.prepend(u->bytes);", "{}",
      "unsynced lines cut back with a failed batch are lost"),
    M("recording", "src/recording/RecordWriter.cpp", "if (cutBack || !stillHolds(path, *u))", "if (cutBack)",
      "unsynced lines that went with a removed folder are not written again"),
    M("recording", "src/recording/RecordWriter.cpp", "return ::stat(QFile::encodeName(path).constData(), &st) == 0 &&",
      "return false &&", "unsynced lines still in a file that cannot be opened are written twice"),
    M("recording", "src/recording/RecordWriter.cpp", "if (*base < 0) {", "if (true) {",
      "a failed batch cuts back to the size before it, not to the last sync"),
    M("protocol", "src/protocol/DeviceModule.h",
      "return static_cast<int64_t>(rx_.size() - rxHead_ + unappended_) * 1000 / kLineBytesPerSecond;", "return 0;",
      "a line read with others after it is not dated back"),
    M("protocol", "src/protocol/DeviceModule.cpp", "unappended_ = data.size();", "unappended_ = 0;",
      "the rest of a read too large for the buffer does not date its lines back"),
    M("protocol", "src/protocol/Interpreter.cpp",
      "if (stamp > arrival + kMaxStampLeadMs)\n        stamp = last > arrival + kMaxStampLeadMs ? arrival : "
      "arrival + kMaxStampLeadMs;",
      "if (stamp > now.utcMs + kMaxStampLeadMs)\n        stamp = last > now.utcMs + kMaxStampLeadMs ? now.utcMs : "
      "now.utcMs + kMaxStampLeadMs;",
      "a long burst in one read led more than 100 ms past its lines"),
    # ---- noise events: the exceedance rule, marked spans, the events file, the event command
    M("statistics", "src/statistics/NoiseEvents.cpp", "hundredths > config_.levelTenths * 10",
      "hundredths >= config_.levelTenths * 10", "the event level itself starts an exceedance"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (hundredths < (config_.levelTenths - config_.hysteresisTenths) * 10)",
      "if (hundredths <= (config_.levelTenths - config_.hysteresisTenths) * 10)",
      "the level less the hysteresis itself ends an exceedance"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "(config_.levelTenths - config_.hysteresisTenths) * 10",
      "config_.levelTenths * 10", "no hysteresis"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (!s.counted && t_ - s.t0 >= config_.minDurationMs)",
      "if (!s.counted && t_ - s.t0 > config_.minDurationMs)", "announced one sample after the minimum duration"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (!s.counted && durationMs < config_.minDurationMs) return;",
      "if (!s.counted && durationMs <= config_.minDurationMs) return;", "exactly the minimum duration does not count"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (gap > kClockStepMs || gap < -kJitterMs)",
      "if (gap > kClockStepMs)", "a clock set back cuts the event"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "std::log10(durationMs / 1000.0)", "std::log10(durationMs / 100.0)",
      "SEL referred to a tenth of a second"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "const int64_t endUtc = lastUtc_ + cadenceMs_;\n    const int64_t endLocal = lastLocal_ + cadenceMs_;",
      "const int64_t endUtc = lastUtc_;\n    const int64_t endLocal = lastLocal_;", "an open event ends at its last sample"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "t >= pending_.front().tEnd + kContextMs", "t >= pending_.front().tEnd",
      "written before the samples after it"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (span_ && t_ >= span_->t0) take", "if (span_) take",
      "a span takes samples before its key"),
    M("statistics", "src/statistics/NoiseEvents.cpp", "if (any_ && utcMs < lastUtc_ - kContextMs) {", "if (false) {",
      "a span of a late note starts before its samples"),
    M("statistics", "src/statistics/RecordAnalysis.cpp", "std::pair{ms, INT64_MAX}", "std::pair{ms, INT64_MIN}",
      "the sample at a span's start not left out"),
    M("recording", "src/recording/EventRecorder.cpp", "typeWord == QLatin1String(\"LPF\") && function != kFunctionLp",
      "typeWord == QLatin1String(\"LPF\")", "Lp levels watched twice, slow and fast"),
    M("session", "src/session/EventCommand.cpp", "if (waiting > queueLimit_) {", "if (waiting > queueLimit_ + 1) {",
      "the queue holds one more than its bound"),
    M("session", "src/session/EventCommand.cpp", "        killed_ = true;\n", "",
      "a command killed for its time is reported as ended by a signal"),
    M("session", "src/session/EventCommand.cpp", "done(code == 0 ? QString() : QStringLiteral", "done(code != 0 ? QString() : QStringLiteral",
      "a failing command not logged, a good one logged"),
    M("session", "src/session/EventCommand.cpp", "        ::setpgid(0, 0);\n", "", "the command shares the recorder's group"),
    M("session", "src/session/EventCommand.cpp", "        ::kill(-group, SIGKILL);\n", "",
      "a group that ignores SIGTERM outlives the time limit"),
    M("session", "src/session/EventCommand.cpp", "    for (pid_t g : ending_)\n        ::kill(-g, SIGKILL);", "",
      "a group that ignores SIGTERM outlives the program"),
    M("session", "src/session/EventCommand.cpp", " ||\n                                name.endsWith(QLatin1String(\"_PASSWORD\"))", "",
      "passwords handed to the command"),
    M("session", "src/session/EventCommand.cpp", "secretName || secrets.contains(env.value(name))", "secretName",
      "a secret under another name handed to the command"),
    M("remote", "src/remote/RemoteOptions.cpp", "O_RDONLY | O_NONBLOCK", "O_RDONLY", "a FIFO as token file hangs the start"),
    M("remote", "src/remote/RemoteOptions.cpp", " || !S_ISREG(st.st_mode)", "", "a device read as token file"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (line.size() < kTokenMin)", "if (line.size() < kTokenMin - 1)",
      "a token one character too short accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (c < 0x21 || c > 0x7E)", "if (c < 0x20 || c > 0x7E)",
      "a blank inside the token accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (c < 0x21 || c > 0x7E)", "if (c < 0x21 || c > 0x7F)",
      "DEL in the token accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (end < 0 && got == kTokenFileRead)", "if (false)",
      "a first line cut at the read bound taken as the token"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (!QUtf8StringView(utf8).isValidUtf8())", "if (false)",
      "a prefix that is no UTF-8 accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (c < 0x20 || (c >= 0x7F && c <= 0x9F))", "if (c < 0x0A)",
      "a newline, DEL or C1 control in the prefix accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "prefix.toUtf8().size() + kMqttTopicSuffixMax > kMqttStringMax",
      "prefix.toUtf8().size() > kMqttStringMax", "a prefix without room for its topics accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "prefix.toUtf8().size() + kMqttTopicSuffixMax > kMqttStringMax",
      "prefix.toUtf8().size() + kMqttTopicSuffixMax >= kMqttStringMax", "the longest prefix refused"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (prefix.startsWith(QLatin1Char('$')))", "if (false)",
      "a prefix among the broker's own topics accepted"),
    M("remote", "src/remote/RemoteOptions.cpp", "if (!why.isEmpty()) return fail(QStringLiteral(\"--mqtt: the user name \") + why);",
      "", "a user name no broker takes accepted"),
    M("settings", "src/settings/RecorderSettings.cpp", "if (separatorsClash(DecimalSeparator.unicode()", "if (false && (DecimalSeparator.unicode()",
      "equal separators loaded as they are"),
    M("settings", "src/settings/RecorderSettings.cpp", "        result = 1;\n        if (log)", "        if (log)",
      "equal separators replaced without Setup"),
    M("settings", "src/ui/setup/frmSetup.cpp", "if (separatorsClash(*decimalCode, *tabularCode)) {", "if (false) {",
      "Setup stores equal separators"),
    # ---- the command line
    M("app", "src/app/CommandLine.cpp", ", {\"report-lang\", &o.reportLanguage}}", "}",
      "--report-lang read as nothing"),
    M("app", "src/app/CommandLine.cpp", "} else if (o.demo && !o.port.isEmpty()) {", "} else if (false) {",
      "--demo with --port accepted"),
    M("app", "src/app/CommandLine.cpp", "    if (set(\"help\")) {", "    if (set(\"help\") && !set(\"version\")) {",
      "--version wins over --help"),
    M("app", "src/app/CommandLine.cpp", "!o.serveToken.isEmpty() && !o.serveTokenFile.isEmpty()",
      "!o.serveToken.isEmpty() || !o.serveTokenFile.isEmpty()", "a single token refused as given twice"),
    M("app", "src/app/CommandLine.cpp", "option.goes == (report ? Goes::Run : Goes::Report)",
      "report && option.goes == Goes::Run", "a report option accepted without --report"),
    M("app", "src/app/CommandLine.cpp", "option.goes == (report ? Goes::Run : Goes::Report)",
      "!report && option.goes == Goes::Report", "an option of the recorder accepted beside --report"),
    M("app", "src/app/CommandLine.cpp", "return QStringLiteral(\"unknown option \") + arg;", "return parser.errorText();",
      "an unknown option said in the parser's words"),
    M("app", "src/app/CommandLine.cpp", "if (o && !o->value && arg.contains(QLatin1Char('=')))", "if (false)",
      "a value given to a flag said in the parser's words"),
    M("app", "src/app/CommandLine.cpp", "if (last && last->needs)", "if (false)",
      "a missing last value said in the parser's words"),
    M("app", "src/app/CommandLine.cpp", "    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);\n",
      "", "-platform read as eight short options"),
    M("app", "src/app/CommandLine.cpp", "if (positional.size() > (parser.isSet(QStringLiteral(\"report-day\")) ? 1 : 0))",
      "if (positional.size() > 1)",
      "a stray argument ignored"),
    M("app", "src/app/CommandLine.cpp", "if (day && option.goes != Goes::Always && !dayToo)", "if (false)",
      "a report's option taken by a day's report"),
    M("app", "src/app/CommandLine.cpp", "!isStatisticsInterval(r.intervalSeconds)", "r.intervalSeconds <= 0",
      "any --interval accepted"),
    M("app", "src/app/CommandLine.cpp", "!(db > 0.0) || db > 200.0", "db < 0.0 || db > 200.0",
      "a --limit of 0 dB accepted"),
    M("app", "src/app/CommandLine.cpp", "!QTimeZone::isTimeZoneIdAvailable(r.timeZone.toUtf8())", "r.timeZone.isEmpty()",
      "an unknown --tz accepted"),
    M("app", "src/app/CommandLine.cpp", "kind == QLatin1String(\"underflow\") ? kStatusUnderflow : kStatusOverflow",
      "kind == QLatin1String(\"underflow\") ? kStatusOverflow : kStatusUnderflow", "--flag-column read the other way"),
    M("app", "src/app/CommandLine.cpp", "        r.site = o.site;\n", "", "--site does not reach the report"),
    # ---- one renderer per event outlet, one serial number
    M("recording", "src/recording/EventOutputs.cpp", "set(\"END\", ended(n) ? isoTime(e.endLocalMs, e.endUtcMs) : QString());",
      "set(\"END\", isoTime(e.endLocalMs, e.endUtcMs));", "a running event's command told an end"),
    M("recording", "src/recording/EventOutputs.cpp", "std::isnan(db) ? QString() : levelText(db)", "levelText(db)",
      "a missing level told to the command as \"-\""),
    M("recording", "src/recording/EventOutputs.cpp", "e.open ? QCoreApplication::translate(\"kestro::EventNotifier\", \" (cut short)\") : QString()", "QString()",
      "a cut-short event notified as complete"),
    M("recording", "src/recording/EventOutputs.cpp", "ended(n) ? QJsonValue(isoTime(e.endLocalMs, e.endUtcMs)) : QJsonValue()",
      "QJsonValue(isoTime(e.endLocalMs, e.endUtcMs))", "a running event's JSON has an end"),
    M("recording", "src/statistics/StatisticsFile.cpp", "const int64_t offsetMs = localMs - (utcMs + kUnixEpochAbsoluteMs);",
      "const int64_t offsetMs = localMs - utcMs;", "ISO times with an offset from the wrong epoch"),
    M("recording", "src/protocol/DeviceCodes.cpp", "return std::string(8 - text.size(), '0') + text;", "return text;",
      "a serial number below 10,000,000 without its zeros"),
    M("recording", "src/protocol/DeviceCodes.cpp", "(state.DataValid & kValidSerialNo) ?", "true ?",
      "a serial number shown before the meter sent one"),
    M("recording", "src/recording/SeriesRecorder.cpp",
      "        n.serialNumber = QString::fromStdString(serialNumberText(device_));\n", "",
      "an event without the meter's serial number"),
    M("session", "src/session/EventCommand.cpp", "dropped.value(QStringLiteral(\"KESTRO_EVENT_START\"))",
      "dropped.value(QStringLiteral(\"KESTRO_EVENT_END\"))", "a dropped event named without its start"),
    M("session", "src/session/EventCommand.cpp", "    env.insert(queue_.front());\n", "",
      "the command runs without the event"),
    # ---- the one whole-file writer
    M("shell", "src/shell/DurableFile.cpp", "? st.st_mode & 07777", "? 0644", "a replaced file loses the mode it was given"),
    M("shell", "src/shell/DurableFile.cpp", "        ::unlink(temp.constData());\n", "",
      "a failed write leaves its fresh file behind"),
    M("app", "src/app/CommandLine.cpp", "std::memset(value, '*', std::strlen(value));",
      "std::memset(value, '*', std::strlen(value) - 1);", "the token's last character left readable"),
    # ---- places whose own tests were folded into others: the remaining ones must still notice
    M("statistics", "src/statistics/RecordFileReader.cpp", "if (columns == 1 && headerColumns_ != 1) guessedFlag = true;",
      "", "a lone flag column assumed without saying so"),
    M("statistics", "src/statistics/RecordFileReader.cpp", "if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {",
      "if (::fstat(fd, &st) != 0) {", "a pipe or device read as a record file"),
    M("statistics", "src/statistics/IntervalEngine.cpp", "limitTenths_ = std::max(0, limitTenths);", "limitTenths_ = 0;",
      "the limit never reaches the intervals"),
    M("recording", "src/recording/SeriesRecorder.cpp", "if (LastSlowRecordNo != 0) StopSlowMeasurement();", "",
      "a new slow series leaves the old one open"),
    M("recording", "src/recording/SeriesRecorder.cpp", "LastSlowRecordNo = e.RecordNo;\n            startSeries",
      "startSeries", "every slow batch starts a new file"),
    # ---- recording: a record directory chosen anew, chains per directory
    M("recording", "src/recording/SeriesRecorder.cpp", "if (dirOf(p) == dir) continue;", "continue;",
      "waiting lines never follow a record directory chosen anew"),
    M("recording", "src/recording/SeriesRecorder.cpp", "evidence_.moveSeries(f.record, dir);", "",
      "a series' side file stays behind when its lines follow the new directory"),
    M("recording", "src/recording/SeriesRecorder.cpp", "moveErrors(f.record, into(f.record));", "",
      "the failure stays shown after the lines reached the new directory"),
    M("recording", "src/recording/SeriesRecorder.cpp", "if (p == calibrationLogPath(dirOf(p)) &&", "if (false &&",
      "calibration readings keep waiting for the old folder"),
    M("recording", "src/recording/RecordWriter.cpp", "b->head = Head{head, start != head};",
      "b->head = Head{head, true};", "a moved calibration log gets its header twice"),
    M("recording", "src/recording/EvidenceTrail.cpp", "s.movedFrom = before;", "",
      "the side file in the new directory does not name the part left behind"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (tried.contains(dir)) continue;", "if (!tried.isEmpty()) break;",
      "a series stuck in a folder that went holds up every other directory's chain"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (!s.hashing && next != closing_.end() && lost(s)) {",
      "if (false) {", "a series gone with its folder holds up its directory's later series"),
    M("recording", "src/recording/EvidenceTrail.cpp", "if (headDirs_.count(dir) && headDirs_[dir] != s.dirId)",
      "if (false)", "a folder made anew continues the chain of the one that went"),
    # ---- statistics: the repeated hour's rows
    M("statistics", "src/statistics/StatisticsFile.cpp", "if (zone.repeated(local)) t +=", "if (false) t +=",
      "the two rows of the repeated hour are labelled alike"),
    M("statistics", "src/statistics/StatisticsRecorder.cpp",
      "if (std::exchange(intervalFresh_, false)) intervalOffsetS_ = offsetS;", "intervalOffsetS_ = offsetS;",
      "an interval takes the UTC offset of the sample that ended it"),
    M("statistics", "src/statistics/StatisticsRecorder.cpp", "intervals_.push_back(r);\n        intervalFresh_ = true;",
      "intervals_.push_back(r);", "every interval takes the series' first UTC offset"),
    # ---- shell: lines for standard error
    M("settings", "src/settings/SettingsSchema.h", "X(Language, Choice, 0, (0, 1, 2), kInSetup,", "X(Language, Choice, 0, (0, 1, 2), 0,",
      "the language chosen in Setup is not stored"),
    M("settings", "src/settings/SettingsSchema.h", "X(ReportLanguage, Choice, 0, (0, 1, 2), kInSetup,",
      "X(ReportLanguage, Choice, 0, (0, 1, 2), 0,", "the reports' language chosen in Setup is not stored"),
    M("shell", "src/shell/Translations.cpp", "if (cLocale) return QString();", "",
      "the C locale gets a translation"),
    M("shell", "src/shell/Translations.cpp", "    return QStringLiteral(\"en\");\n}", "    return QString();\n}",
      "a desktop in another language gets the untranslated texts"),
    M("shell", "src/shell/Translations.cpp", "stored == 2 ? QStringLiteral(\"de\")", "stored == 1 ? QStringLiteral(\"de\")",
      "the stored German choice is read as automatic"),
    M("shell", "src/shell/Messages.cpp", "&& d == device && i == inode;", "&& d == device;",
      "an inherited JOURNAL_STREAM of another stream taken for the journal"),
    M("shell", "src/shell/Messages.cpp", "parts.join(QStringLiteral(\"; \"))", "parts.join(QStringLiteral(\"\\n\"))",
      "a message's detail on lines of its own, without the name"),
    M("session", "src/session/Session.cpp", "lostPort_ = port;\n    emit statusText(\n",
      "emit statusText(\n", "a port missing at the start never retried"),
    # ---- instances: names and the places derived from them
    M("shell", "src/shell/Instance.cpp", "name.size() > kInstanceNameMax", "name.size() > kInstanceNameMax + 1",
      "a 33-character instance name accepted"),
    M("shell", "src/shell/Instance.cpp", "u == '-' || u == '_'", "u == '-' || u == '_' || u == '.'",
      "a dot (and with it \"..\") in an instance name"),
    M("shell", "src/shell/Instance.cpp", "unnamed + QLatin1Char('@') + name_", "unnamed + QLatin1Char('-') + name_",
      "an instance's folder that another name can reach"),
    M("shell", "src/shell/Instance.cpp", "return suffixed(file.path()) + QLatin1Char('/')",
      "return file.path() + QLatin1Char('/')", "instances share one settings file"),
    M("shell", "src/shell/Instance.cpp", "filePath(folder() + QStringLiteral(\".lock\"))",
      "filePath(QStringLiteral(\"KestroRecorder.lock\"))", "instances share one lock"),
    M("shell", "src/shell/Instance.cpp", "return dir == state || !named() ? dir :", "return true ? dir :",
      "instances share the event log in LOGFILES"),
    M("shell", "src/shell/Instance.cpp", "kDefaultWebPort + 1 + instanceName", "kDefaultWebPort + instanceName",
      "instance 0 takes the unnamed one's web port"),
    M("shell", "src/shell/Instance.cpp", "digits == 0 || digits > 4", "digits > 4",
      "a name without a number gets a web port"),
    M("link", "src/shell/Instance.cpp", "if (comm.isEmpty() || comm != procFile(::getpid(), \"comm\")) return std::nullopt;",
      "return std::nullopt;", "a port held by another instance is said to be held by some program"),
    M("app", "src/app/CommandLine.cpp", "if (!isInstanceName(o.instance)) return needs(\"instance\");", "",
      "--instance takes a path as its name"),
    M("remote", "src/remote/MqttPublisher.cpp", "if (full.size() <= kClientIdMax) return full;",
      "if (full.size() <= kClientIdMax + 1) return full;", "a 24-byte MQTT client id"),
    M("remote", "src/remote/MonitorServer.cpp", "(empty ? \"\" : \",\")", "\",\"",
      "a label list with an empty label in the metrics"),
    # ---- windows that fit, and what a screen reader hears
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "if (std::max(graphMinWidth_, least) != minimumWidth())",
      "if (false)", "the window narrower than its status panels' essentials"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "const bool calibrationWhole = room - calibrationFull >= panel3Least;",
      "const bool calibrationWhole = true;", "the calibration check never gives way to the error"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "outer(panels_[2], prefix + QStringLiteral(\"\\u2026\"))",
      "outer(panels_[2], QStringLiteral(\"\\u2026\"))", "a record-file error may lose its reason"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "label->setToolTip(prefix + recorder.recordErrorPath());",
      "label->setToolTip(error);", "a record-file error's tool tip in another language than its panel"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "fixed += eventWidth + 2 * kStatusMargin",
      "fixed += 2 * kStatusMargin", "the event panel's room not kept"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp", "} else if (!e && announcedStartMs_ >= 0) {",
      "} else if (false) {", "an exceedance's end not announced"),
    M("windows", "src/ui/controller/frmKestroRecord.cpp",
      "if (!announceExceedance(ev) && eventPanel_->text() != text) eventPanel_->setAccessibleName(QString());",
      "announceExceedance(ev);", "the event panel read out as its last announcement for good"),
    M("windows", "src/recording/EventRecorder.cpp", "            last_ = e;\n", "",
      "the last ended exceedance never kept"),
    M("windows", "src/ui/statistics/StatisticsWindow.cpp", "        l->setWordWrap(true);", "        l->setWordWrap(false);",
      "the statistics summary never wraps"),
    M("windows", "src/ui/statistics/StatisticsViews.cpp", "over += r.overLimit ? 1 : 0;", "over += r.overLimit ? 0 : 1;",
      "the chart's description counts the intervals within the limit"),
    M("windows", "src/ui/setup/frmSetup.cpp", "            nameListBox(box, name);", "            box->setAccessibleName(name);",
      "a Setup list box read out by its value only"),
    M("windows", "src/ui/display/DisplayPanel.cpp", "o.state |= QStyle::State_KeyboardFocusChange;", "",
      "the focus frame hidden until a key moves the focus"),
    M("windows", "src/ui/recording/RecordingViews.cpp", "if (b.end >= graph_->GraphStartTime) bands.push_back(b);",
      "bands.push_back(b);", "ended bands kept after their time left the graph"),
    M("windows", "src/ui/recording/RecordingViews.cpp", "if (!running && !ev.spanOpen() && !ran &&",
      "if (!running && !ev.spanOpen() &&", "a band that just ended forgotten"),
    M("windows", "src/ui/recording/LevelGraph.cpp", "QFontInfo(windowFont).pixelSize() * 0.75", "12 * 0.75",
      "graph labels stay small at any font"),
    # ---- report: its own language
    M("report", "src/report/ReportLanguage.cpp", "QLatin1Char(',') : QLatin1Char('.')", "QLatin1Char('.') : QLatin1Char(',')",
      "a report's decimal mark of the other language"),
    M("report", "src/report/ReportDocument.cpp", "o.language.decimalMark(o.decimalSeparator)", "o.decimalSeparator",
      "a report's numbers with the record file's decimal mark"),
    M("report", "src/report/ReportLanguage.cpp", "translator_ = programTranslation(name, translationsDir);", "",
      "a report's words never translated"),
    # ---- the clock: a stamp across a change of the UTC offset
    M("protocol", "src/core/Time.cpp", "shift += (utc < offsetChangeUtcMs ? offsetBeforeMs : offsetAfterMs) - offsetNow;", "",
      "a line read just after summer time ends is shown an hour early"),
    M("protocol", "src/core/Time.cpp", "if (before != now) {", "if (false) {",
      "the machine's clock forgets a change of offset just behind it"),
    M("protocol", "src/core/Time.cpp", "(offsetOfSecond(mid) == before ? from : to) = mid;",
      "(offsetOfSecond(mid) == before ? to : from) = mid;", "the change of offset found at the wrong second"),
    # ---- the device behind the session: hand-off to the sink, the meter's commands
    M("recording", "src/protocol/ProtocolState.cpp", "    m_.FastBuffer.takePending(fastTaken_);\n    sink.takeSamples",
      "    sink.takeSamples", "a tick's hand-off leaves the fast samples behind"),
    M("recording", "src/protocol/ProtocolState.cpp", "if (m_.PendingCalibration.empty()) return;",
      "if (!m_.PendingCalibration.empty()) return;", "calibration readings never handed on"),
    M("recording", "src/protocol/ProtocolState.cpp", "    readingsTaken_.clear();\n", "",
      "calibration readings handed on twice"),
    M("recording", "src/recording/SeriesRecorder.cpp", "    evidence_.takeCalibration(readings);\n", "",
      "the recorder drops the calibration readings it is handed"),
    M("session", "src/protocol/MeterCommands.cpp", "return on ? \"awm 1\" : \"awm 0\";",
      "return on ? \"awm 0\" : \"awm 1\";", "fast values switched the wrong way"),
    M("session", "src/protocol/MeterCommands.cpp", "return \"smr \" + std::to_string(index);",
      "return \"smr \" + std::to_string(index + 1);", "a range one off"),
    M("session", "src/protocol/MeterCommands.h", "{\"smm 1\", \"gdv\", \"gdi\", \"ldk 3\"}",
      "{\"smm 1\", \"gdv\", \"gdi\", \"ldk 0\"}", "start-up leaves the meter's keys unlocked"),
    M("link", "src/protocol/MeterCommands.h", "{\"SMM 0\", \"LDK 0\"}", "{\"SMM 0\", \"LDK 3\"}",
      "the stop sequence leaves the keys locked"),
    M("link", "src/link/frmCOMx.cpp", "        if (onOpened) onOpened();\n", "",
      "a reopened stored port keeps what the receive buffer held"),
]


def run(cmd, timeout=None, env=None):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout, env=env)


def apply(m):
    p = ROOT / m.path
    text = p.read_text()
    pos = -1
    for _ in range(m.occurrence):
        pos = text.find(m.before, pos + 1)
        if pos < 0:
            raise ValueError(f"{m.path}: snippet not found: {m.before!r}")
    return p, text, text[:pos] + m.after + text[pos + len(m.before):]


def run_tests(build, lib, timeout, failed=None):
    """True when every test program of lib passes. With a list for failed, every
    program runs to its end and the names of the failing test cases are added
    ("<program>: timeout" for one that hangs)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    passed = True
    for target, args in TESTS[lib]:
        exe = build / "bin" / target
        report = build / f"mutants-{target}.json"
        extra = [f"--gtest_output=json:{report}"] if failed is not None else []
        try:
            proc = subprocess.Popen([str(exe), "--gtest_brief=1", *extra, *args], cwd=build,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    env=env, start_new_session=True)
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            rc = None
        if rc == 0:
            continue
        passed = False
        if failed is None:
            return False
        failed.extend(failing_cases(report) if rc is not None else [f"{target}: timeout"])
    return passed


def failing_cases(report):
    """Names of the failed test cases in a gtest JSON report (the program's name when it has none)."""
    try:
        doc = json.loads(report.read_text())
    except (OSError, ValueError):
        return [f"{report.stem}: crashed"]
    finally:
        report.unlink(missing_ok=True)
    return [f"{suite['name']}.{case['name']}" for suite in doc.get("testsuites", [])
            for case in suite.get("testsuite", []) if case.get("failures")] or [f"{report.stem}: failed"]


def build_targets(build, lib):
    targets = [t for t, _ in TESTS[lib]]
    r = run(["cmake", "--build", str(build), "-j", "2", "--target", *targets])
    return r.returncode == 0, r.stdout


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build")
    ap.add_argument("--lib", action="append", help="only these libraries")
    ap.add_argument("--only", type=int, action="append", help="only these mutation numbers (1-based)")
    ap.add_argument("--timeout", type=int, default=300, help="seconds per test program")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--min", type=float, default=0.0, help="exit 1 when fewer percent are killed")
    ap.add_argument("--who", metavar="FILE", help="write which test cases fail for each mutation (JSON)")
    a = ap.parse_args()

    chosen = [(i + 1, m) for i, m in enumerate(MUTATIONS)
              if (not a.lib or m.lib in a.lib) and (not a.only or (i + 1) in a.only)]
    if a.list:
        bad = 0
        for n, m in chosen:
            try:
                apply(m)
                state = ""
            except ValueError:
                state, bad = "  <- snippet not found", bad + 1
            print(f"{n:3} {m.lib:10} {m.path}: {m.what}{state}")
        return 1 if bad else 0

    build = (ROOT / a.build).resolve()
    libs = sorted({m.lib for _, m in chosen})
    for lib in libs:
        ok, out = build_targets(build, lib)
        if not ok or not run_tests(build, lib, a.timeout):
            print(f"{lib}: the unmutated tests do not build or pass; fix that first\n{out[-3000:]}")
            return 2

    results = {}
    survivors = []
    who = {}
    for n, m in chosen:
        p, original, mutated = apply(m)
        digest = hashlib.sha256(original.encode()).hexdigest()
        start = time.monotonic()
        try:
            p.write_text(mutated)
            ok, out = build_targets(build, m.lib)
            if not ok:
                verdict = "invalid"  # does not compile: a fault of the list, not of the tests
            else:
                failed = [] if a.who else None
                verdict = "survived" if run_tests(build, m.lib, a.timeout, failed) else "killed"
                if a.who:
                    who[n] = {"lib": m.lib, "what": m.what, "failed": failed}
        finally:
            p.write_text(original)
            assert hashlib.sha256(p.read_text().encode()).hexdigest() == digest
        results.setdefault(m.lib, []).append(verdict)
        if verdict != "killed":
            survivors.append((n, m, verdict))
        print(f"{n:3} {verdict:8} {time.monotonic() - start:6.1f} s  {m.lib}: {m.what}", flush=True)

    if a.who:
        Path(a.who).write_text(json.dumps(who, indent=1) + "\n")
    # Leave the build matching the restored sources.
    for lib in libs:
        build_targets(build, lib)

    print("\nlibrary      killed  survived  invalid")
    total_killed = total_valid = 0
    for lib in sorted(results):
        v = results[lib]
        k, s, i = v.count("killed"), v.count("survived"), v.count("invalid")
        total_killed += k
        total_valid += k + s
        print(f"{lib:12} {k:6} {s:9} {i:8}")
    pct = 100.0 * total_killed / total_valid if total_valid else 0.0
    print(f"{'all':12} {total_killed:6} {total_valid - total_killed:9}   {pct:.1f} % killed")
    for n, m, verdict in survivors:
        print(f"  {verdict}: #{n} {m.path}: {m.what}")
    return 1 if pct < a.min else 0


if __name__ == "__main__":
    sys.exit(main())
