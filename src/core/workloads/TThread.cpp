// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TThread.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>

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

int TThread::Pin(std::thread& thread, int cpu) noexcept {
    if (cpu < 0 || cpu >= CPU_SETSIZE * 64) {
        return EINVAL;
    }
    const std::size_t size = CPU_ALLOC_SIZE(cpu + 1);
    cpu_set_t* set = CPU_ALLOC(cpu + 1);
    if (set == nullptr) {
        return ENOMEM;
    }
    CPU_ZERO_S(size, set);
    CPU_SET_S(static_cast<std::size_t>(cpu), size, set);
    const int error = pthread_setaffinity_np(thread.native_handle(), size, set);
    CPU_FREE(set);
    return error;
}
