// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunRecord.h"

#include <QByteArrayList>

#include <optional>
#include <vector>

// What a stress run (or a cycle) did to the machine, in a few lines a person reads at its end:
// "clock 3.2/3.9/4.1 GHz (min/mean/max), hottest 95 °C, 99.8 % of blocks checked", then one
// line per warning, "warning: " and its text. A figure the machine did not show is left out.
namespace RunSummary {

QByteArrayList Lines(const std::optional<TSensorSummary>& sensors, const TCheckSummary& check,
                     const std::vector<TWarning>& warnings);
QByteArrayList Lines(const TRunRecord& record);

} // namespace RunSummary
