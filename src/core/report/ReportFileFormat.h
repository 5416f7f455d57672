// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <stdexcept>
#include <vector>

// A file or list error, carrying the text the user is shown.
class EReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The report file's format: one line per result, each followed by CR LF. Lines are bytes and
// hold any byte but CR, LF and NUL.
namespace ReportFileFormat {

// Lines kept compactly: their bytes one after another and where each ends, so that a log of
// millions of short or empty lines costs little more than its file.
class TLines {
public:
    qsizetype Count() const noexcept { return static_cast<qsizetype>(ends.size()); }
    QByteArrayView Line(qsizetype index) const noexcept {
        const qsizetype start = index == 0 ? 0 : ends[static_cast<std::size_t>(index - 1)];
        return {bytes.constData() + start, ends[static_cast<std::size_t>(index)] - start};
    }
    // Bytes of all lines together, without their breaks.
    qsizetype Size() const noexcept { return ends.empty() ? 0 : ends.back(); }
    // Makes room for `count` more lines of `size` bytes in all, so that appending them cannot
    // fail. Throws std::bad_alloc or std::length_error.
    void Reserve(qsizetype count, qsizetype size);
    // Appends a line; throws as Reserve does (never once room is reserved).
    void Append(QByteArrayView line);
    void Clear() noexcept;
    void Swap(TLines& other) noexcept;

private:
    friend bool Parse(QByteArray bytes, TLines& lines);
    QByteArray bytes;
    std::vector<qsizetype> ends;
};

// Reads the lines of a file into `lines` (emptied first): CR LF, a lone LF or a lone CR ends a
// line, a last line without a break counts, and a NUL ends the text. Returns true when a NUL cut
// the text short, so bytes after it were not taken. Throws std::bad_alloc or std::length_error.
bool Parse(QByteArray bytes, TLines& lines);

// The file holding exactly these lines.
QByteArray Serialise(const TLines& lines);

} // namespace ReportFileFormat
