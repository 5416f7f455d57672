// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <chrono>
#include <optional>

// When a run's ticks are due. A tick counts a tick length that has really passed with the
// process running: the deadlines follow the start (start + n lengths), so that neither a late
// wake-up nor a tick's own work pushes the later ones back. A wake-up late because the machine
// was busy (the thread was ready to run and waited for a processor) counts every length that
// passed. A process that was stopped (SIGSTOP, a debugger, a frozen control group) for a whole
// length, and MinPause at least, does not fire the ticks it missed on waking: that time counts
// as paused, and the run lasts longer by it.
class TTickSchedule {
public:
    using Clock = std::chrono::steady_clock;
    // A wake-up late by less is the system's scheduling, not a stop.
    static constexpr std::chrono::seconds MinPause{1};

    TTickSchedule() = default;
    TTickSchedule(std::chrono::milliseconds tickLength, Clock::time_point start)
        : length(tickLength), deadline(start + tickLength), lastCall(start) {}

    // When the next tick is due.
    Clock::time_point Deadline() const noexcept { return deadline; }
    // Woken at `now`, the calling thread having been awake (running, or ready and waiting for a
    // processor) for `awake` since the last call; none when the system does not say, which
    // counts as not awake. True when a tick is due, the next deadline then one length on (a
    // wake-up late by several lengths finds each of them due in turn). False before the
    // deadline, and when the time past it that the thread was not awake is a whole length and
    // MinPause or more: that time is paused, and the tick's length starts again from `now`.
    bool Due(Clock::time_point now, std::optional<Clock::duration> awake = std::nullopt) noexcept;
    // The time counted as paused since the start.
    Clock::duration Paused() const noexcept { return paused; }

    // The time the calling thread has been running or ready to run since it started, as the
    // kernel's scheduler statistics say; none when they cannot be read.
    static std::optional<Clock::duration> ThreadAwakeTime() noexcept;

private:
    std::chrono::milliseconds length{1000};
    Clock::time_point deadline;
    Clock::time_point lastCall; // or the start
    Clock::duration paused{};
};
