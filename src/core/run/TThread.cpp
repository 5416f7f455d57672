// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TThread.h"

#include <pthread.h>

void TThread::KeepCpuClock() noexcept {
    clockid_t clock{};
    if (pthread_getcpuclockid(pthread_self(), &clock) == 0) {
        cpuClock = clock;
        clockState.store(TClockState::Known, std::memory_order_release);
    } else {
        clockState.store(TClockState::Unknown, std::memory_order_release);
    }
}

std::optional<std::chrono::nanoseconds> TThread::CpuTime() const noexcept {
    switch (clockState.load(std::memory_order_acquire)) {
    case TClockState::NotStarted:
        return std::chrono::nanoseconds::zero();
    case TClockState::Unknown:
        return std::nullopt;
    case TClockState::Known:
        break;
    }
    // The clock names the thread: it is read only while the thread lives.
    timespec time{};
    if (Finished() || clock_gettime(cpuClock, &time) != 0) {
        return std::nullopt;
    }
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}
