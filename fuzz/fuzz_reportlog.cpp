// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Loads arbitrary bytes as a report file: splitting must never crash, no line may keep a line
// break or a NUL, and writing the lines back must give a file that loads as the same lines.
#include "ReportFileFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool SameLines(const ReportFileFormat::TLines& a, const ReportFileFormat::TLines& b) {
    if (a.Count() != b.Count()) {
        return false;
    }
    for (qsizetype i = 0; i < a.Count(); ++i) {
        if (a.Line(i) != b.Line(i)) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ReportFileFormat::Parse;
    using ReportFileFormat::Serialise;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ReportFileFormat::TLines lines;
    Parse(bytes, lines);
    for (qsizetype i = 0; i < lines.Count(); ++i) {
        const QByteArrayView line = lines.Line(i);
        if (line.contains('\r') || line.contains('\n') || line.contains('\0')) {
            std::abort();
        }
    }
    const QByteArray saved = Serialise(lines);
    ReportFileFormat::TLines again;
    Parse(saved, again);
    if (!SameLines(again, lines)) {
        std::abort();
    }
    // A file the program wrote itself is a fixed point.
    if (Serialise(again) != saved) {
        std::abort();
    }
    return 0;
}
