// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TTickSchedule.h"

bool TTickSchedule::Due(Clock::time_point now) noexcept {
    if (now < deadline) {
        return false;
    }
    const Clock::duration late = now - deadline;
    if (late >= length && late >= MinPause) {
        paused += late;
        deadline = now + length;
        return false;
    }
    deadline += length;
    return true;
}
