// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunRecord.h"

#include <QIODevice>
#include <QString>

#include <functional>

// One line of a live record, as morvel-cli's --record writes it (a JSON object a line): the
// first line of a run (with "system"), a tick (with "tick") or the run's result (with
// "completed").
struct TRecordLine {
    enum class TKind { Start, Tick, Result };
    TKind Kind = TKind::Start;
    // Start: nothing yet. Tick: the tick's number (TicksRun), seconds, the slowest and fastest
    // rate and the sensors' reading (mean and highest clock, temperature, power). Result: what
    // the block check saw (Check).
    TRunRecord Record;
};

// The longest line a record may have, its end included; a longer one is no record's.
inline constexpr qint64 MaxRecordLine = 1 << 20;

// Hands every line of a record to `line`, in order, one at a time (a record of any length is
// never held whole). Returns an empty text when every line was read; else what is wrong, as
// "line 3 is not a JSON object", with the lines before it handed on all the same. Lines that are
// none of the three kinds are passed over.
QString ReadRecordFile(QIODevice& device, const std::function<void(const TRecordLine&)>& line);
