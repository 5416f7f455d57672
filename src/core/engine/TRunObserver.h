// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunRecord.h"

#include <QDateTime>

// A part that follows a run from its start to its end: the run lock, the run journal, the sleep
// inhibitor, the machine's sensors and error counters, a record file. The engine tells its parts
// in the order they were handed in, at each step below; a part that keeps the run's record
// writes into it.
class TRunObserver {
public:
    virtual ~TRunObserver() = default;

    // Before the workers start, the record being that of the plan. A part may refuse the run by
    // throwing: the parts told before it are told StartFailed(), and nothing runs.
    virtual void Starting(TRunRecord& record) { static_cast<void>(record); }
    // The run did not start after Starting() (a later part or a worker refused it).
    virtual void StartFailed() noexcept {}
    // The workers run; `now` is the local time.
    virtual void Started(TRunRecord& record, const QDateTime& now) {
        static_cast<void>(record);
        static_cast<void>(now);
    }
    // A tick is counted and checked: `seconds` of running since the last one (a stop not
    // counted); `last` when the run ends with it (told after this).
    virtual void Ticked(TRunRecord& record, double seconds, bool last) {
        static_cast<void>(record);
        static_cast<void>(seconds);
        static_cast<void>(last);
    }
    // The workers are told to stop; the record's outcome is the engine's, which a part may turn
    // into a failure.
    virtual void Stopping(TRunRecord& record) { static_cast<void>(record); }
    // The record is complete: outcome, end and result line.
    virtual void Ended(const TRunRecord& record) { static_cast<void>(record); }
};
