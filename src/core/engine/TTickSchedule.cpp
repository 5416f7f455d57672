// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TTickSchedule.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

bool TTickSchedule::Due(Clock::time_point now, std::optional<Clock::duration> awake) noexcept {
    const Clock::time_point since = std::exchange(lastCall, now);
    if (now < deadline) {
        return false;
    }
    const Clock::duration late = now - deadline;
    // Since the last call the thread slept until the deadline, at most: any more time it was
    // not awake, it was stopped.
    const Clock::duration stopped =
        awake ? std::clamp(now - since - *awake - std::max(deadline - since, Clock::duration{}),
                           Clock::duration{}, late)
              : late;
    if (stopped >= length && stopped >= MinPause) {
        paused += stopped;
        deadline = now + length;
        return false;
    }
    deadline += length;
    return true;
}

std::optional<TTickSchedule::Clock::duration> TTickSchedule::ThreadAwakeTime() noexcept {
    // "on the processor  waiting for one  time slices", in nanoseconds.
    const int file = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::nullopt;
    }
    char text[96];
    const ssize_t size = read(file, text, sizeof text - 1);
    close(file);
    if (size <= 0) {
        return std::nullopt;
    }
    text[size] = '\0';
    std::uint64_t running = 0;
    std::uint64_t waiting = 0;
    if (std::sscanf(text, "%" SCNu64 " %" SCNu64, &running, &waiting) != 2) {
        return std::nullopt;
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(running + waiting));
}
