#pragma once
// What --report asks for: the command line (app) reads it, the report command
// (report) makes the PDF; neither layer reaches the other.

#include <QString>
#include <cstdint>

namespace kestro {

struct ReportRequest {
    QString recordFile;  // as given
    QString output;      // as given; empty: beside the record file, ending in .pdf
    int32_t intervalSeconds = 900;
    int32_t limitTenths = 0;       // 0: none
    int16_t singleFlagColumn = 0;  // kStatusOverflow or kStatusUnderflow as given; 0: not given
    QString timeZone;              // an IANA name this computer knows; empty: the side file's
    // The measurement details instead of the side file's; empty: the side file's.
    QString site;
    QString operatorName;
    QString note;
    QString instrument;
};

}  // namespace kestro
