// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Loads arbitrary bytes as a report file: splitting must never crash, no line may keep a line
// break or a NUL, and writing the lines back must give a file that loads as the same lines.
#include "ReportFileFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<QByteArray> lines = ReportFileFormat::ParseLines(bytes);
    for (const QByteArray& line : lines) {
        if (line.contains('\r') || line.contains('\n') || line.contains('\0')) {
            std::abort();
        }
    }
    const QByteArray saved = ReportFileFormat::Serialise(lines);
    if (ReportFileFormat::ParseLines(saved) != lines) {
        std::abort();
    }
    // A file the program wrote itself is a fixed point.
    if (ReportFileFormat::Serialise(ReportFileFormat::ParseLines(saved)) != saved) {
        std::abort();
    }
    return 0;
}
