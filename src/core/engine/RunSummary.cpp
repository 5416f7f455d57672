// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "RunSummary.h"

#include <cmath>

namespace RunSummary {

namespace {

QByteArray Gigahertz(double mhz) {
    return QByteArray::number(mhz / 1000, 'f', 1);
}

} // namespace

QByteArrayList Lines(const std::optional<TSensorSummary>& sensors, const TCheckSummary& check,
                     const std::vector<TWarning>& warnings) {
    QByteArrayList parts;
    if (sensors && sensors->MinMHz && sensors->MeanMHz && sensors->MaxMHz) {
        parts += "clock " + Gigahertz(*sensors->MinMHz) + '/' + Gigahertz(*sensors->MeanMHz) + '/' +
                 Gigahertz(*sensors->MaxMHz) + " GHz (min/mean/max)";
    }
    if (sensors && sensors->MaxTemperatureC) {
        parts +=
            "hottest " + QByteArray::number(std::llround(*sensors->MaxTemperatureC)) + " \u00b0C";
    }
    // Rounded down: 100 % only when every block was checked.
    parts += QByteArray::number(std::floor(check.CheckedShare() * 1000) / 10, 'f', 1) +
             " % of blocks checked";
    QByteArrayList lines{parts.join(", ")};
    for (const TWarning& warning : warnings) {
        lines += "warning: " + warning.Text.toUtf8();
    }
    return lines;
}

QByteArrayList Lines(const TRunRecord& record) {
    return Lines(record.Sensors, record.Check, record.Warnings);
}

} // namespace RunSummary
