#pragma once
// The record directory as daily reports see it: its series with the times
// they span, and the reports/ folder the day reports go into.

#include "recording/EvidenceFiles.h"
#include "statistics/DailyReport.h"

#include <QString>
#include <utility>
#include <vector>

namespace kestro {

// "<record directory>/reports".
QString dailyReportsDir(const QString& recordDir);
// Every record file of dir: from its name's stamp to the end its side files
// give, or, while none is closed, to its last change.
std::vector<DaySeries> recordedSeries(const QString& dir);
// The serial number the newest side file of dir names; empty when none does.
QString newestSerial(const QString& dir);

// Side file field: the daily reports written since the side file before it,
// [{"name": "reports/<date>_<serial>.json", "sha256": hex}].
inline constexpr const char* kDailyReportsField = "daily_reports";
// The daily report JSONs of dir that no side file names yet ("reports/<name>", SHA-256): after a restart they
// wait for the next side file again.
std::vector<std::pair<QString, QByteArray>> unvouchedDailyReports(const QString& dir);
// The verdicts of the daily reports the closed side files vouch for: each
// JSON against its hash, and the PDF and CSV it names against theirs.
std::vector<FileVerdict> verifyDailyReports(const QString& dir, const std::vector<SideFile>& sides);

}  // namespace kestro
