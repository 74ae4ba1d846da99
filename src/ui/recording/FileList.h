#pragma once
// The list of record files written since program start (newest first).

#include <QString>

#include <memory>

class QTreeWidget;

namespace kestro {

struct RecordFileEntry;

// "hh:mm:ss" of a time of day (the fraction of a date-time value).
QString timeOfDayText(double dateTime);
// "hh:mm:ss" of a duration in days, with all its hours (25:00:00 for 25 h).
QString durationText(double days);

// Creates the report-style list view: three columns, whole-row selection, no root decoration.
std::unique_ptr<QTreeWidget> createFileListView();
// Removes all rows and sets the three headers with widths from the view's width.
void initFileListView(QTreeWidget* view);
// Widens the time columns where the font needs it.
void fitFileListColumns(QTreeWidget* view);

}  // namespace kestro
