#include "ReportFileFormat.h"

#include <QIODevice>

#include <cstring>

namespace ReportFileFormat {

std::vector<QByteArray> ParseLines(const QByteArray& bytes) {
    const char* const begin = bytes.constData();
    const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(bytes.size()));
    const char* const end = nul ? static_cast<const char*>(nul) : begin + bytes.size();

    std::vector<QByteArray> result;
    const char* start = begin;
    for (const char* p = begin; p != end; ++p) {
        if (*p != '\r' && *p != '\n') {
            continue;
        }
        result.emplace_back(start, static_cast<qsizetype>(p - start));
        if (*p == '\r' && p + 1 != end && p[1] == '\n') {
            ++p; // CR LF ends one line, not two
        }
        start = p + 1;
    }
    if (start != end) {
        result.emplace_back(start, static_cast<qsizetype>(end - start));
    }
    return result;
}

QByteArray Serialise(const std::vector<QByteArray>& lines) {
    qsizetype total = 0;
    for (const QByteArray& line : lines) {
        total += line.size() + 2;
    }
    QByteArray bytes;
    bytes.reserve(total);
    for (const QByteArray& line : lines) {
        bytes.append(line);
        bytes.append("\r\n", 2);
    }
    return bytes;
}

void WriteAll(QIODevice& device, const QByteArray& bytes) {
    if (!device.isOpen() || !device.isWritable()) {
        throw EReportError("Stream write error");
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const qint64 written = device.write(data, left);
        if (written <= 0 || written > left) {
            throw EReportError("Stream write error");
        }
        data += written;
        left -= static_cast<qsizetype>(written);
    }
}

} // namespace ReportFileFormat
