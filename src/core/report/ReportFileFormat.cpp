// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ReportFileFormat.h"

#include <algorithm>
#include <cstring>

namespace ReportFileFormat {

void TLines::Reserve(qsizetype count, qsizetype size) {
    const auto grown = [](qsizetype have, qsizetype need) {
        return need <= have ? have : std::max(need, have + have / 2);
    };
    const qsizetype lineCount = Count() + count;
    ends.reserve(
        static_cast<std::size_t>(grown(static_cast<qsizetype>(ends.capacity()), lineCount)));
    const qsizetype byteCount = bytes.size() + size;
    if (byteCount > bytes.capacity()) {
        bytes.reserve(grown(bytes.capacity(), byteCount));
    }
}

void TLines::Append(QByteArrayView line) {
    Reserve(1, line.size());
    bytes.append(line.data(), line.size());
    ends.push_back(bytes.size());
}

void TLines::Clear() noexcept {
    bytes = QByteArray();
    ends = std::vector<qsizetype>();
}

void TLines::Swap(TLines& other) noexcept {
    bytes.swap(other.bytes);
    ends.swap(other.ends);
}

bool Parse(QByteArray bytes, TLines& lines) {
    lines.Clear();
    const qsizetype size = bytes.size();
    const void* nul = std::memchr(bytes.constData(), '\0', static_cast<std::size_t>(size));
    const qsizetype end = nul ? static_cast<const char*>(nul) - bytes.constData() : size;

    qsizetype count = 0;
    const char* const text = bytes.constData();
    for (qsizetype i = 0; i < end; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == end || text[i + 1] != '\n'))) {
            ++count;
        }
    }
    if (end > 0 && text[end - 1] != '\n' && text[end - 1] != '\r') {
        ++count; // a last line without a break
    }
    lines.ends.reserve(static_cast<std::size_t>(count));

    // The lines' bytes move down over the breaks, in the file's own buffer.
    char* const data = bytes.data();
    qsizetype kept = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < end; ++i) {
        if (data[i] != '\r' && data[i] != '\n') {
            continue;
        }
        std::memmove(data + kept, data + start, static_cast<std::size_t>(i - start));
        kept += i - start;
        lines.ends.push_back(kept);
        if (data[i] == '\r' && i + 1 != end && data[i + 1] == '\n') {
            ++i; // CR LF ends one line, not two
        }
        start = i + 1;
    }
    if (start < end) {
        std::memmove(data + kept, data + start, static_cast<std::size_t>(end - start));
        kept += end - start;
        lines.ends.push_back(kept);
    }
    bytes.truncate(kept);
    lines.bytes = std::move(bytes);
    return end < size;
}

QByteArray Serialise(const TLines& lines) {
    QByteArray bytes;
    bytes.reserve(lines.Size() + 2 * lines.Count());
    for (qsizetype i = 0; i < lines.Count(); ++i) {
        const QByteArrayView line = lines.Line(i);
        bytes.append(line.data(), line.size());
        bytes.append("\r\n", 2);
    }
    return bytes;
}

} // namespace ReportFileFormat
