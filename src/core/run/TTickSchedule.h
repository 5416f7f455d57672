// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <chrono>

// When a run's ticks are due. A tick counts a tick length that has really passed with the
// process running: the deadlines follow the start (start + n lengths), so that neither a late
// wake-up nor a tick's own work pushes the later ones back; a process that was stopped
// (SIGSTOP, a suspended machine) or kept from running for a whole length, and MinPause at
// least, does not fire the ticks it missed on waking: that time counts as paused, and the run
// lasts longer by it.
class TTickSchedule {
public:
    using Clock = std::chrono::steady_clock;
    // A wake-up late by less is the system's scheduling, not a stop: the tick counts.
    static constexpr std::chrono::seconds MinPause{1};

    TTickSchedule() = default;
    TTickSchedule(std::chrono::milliseconds tickLength, Clock::time_point start)
        : length(tickLength), deadline(start + tickLength) {}

    // When the next tick is due.
    Clock::time_point Deadline() const noexcept { return deadline; }
    // Woken at `now`: true when a tick is due, the next deadline then one length on. False
    // before the deadline, and when `now` is a whole length (and MinPause) or more past it: the
    // time past it is paused, and the tick's length starts again from `now`.
    bool Due(Clock::time_point now) noexcept;
    // The time counted as paused since the start.
    Clock::duration Paused() const noexcept { return paused; }

private:
    std::chrono::milliseconds length{1000};
    Clock::time_point deadline;
    Clock::duration paused{};
};
