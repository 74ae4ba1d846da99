#pragma once
// Record file contents readable in failure messages: line ends shown as \r \n.

#include <QByteArray>

#include <ostream>
#include <string>

inline void printTo(const QByteArray& b, std::ostream* os) {
    std::string esc;
    for (char c : b.toStdString())
        esc += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    *os << '"' << esc << '"';
}
