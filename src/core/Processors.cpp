// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "Processors.h"

#include <cerrno>
#include <sched.h>
#include <thread>

int UsableProcessors() noexcept {
    // The mask is as wide as the kernel's; a fixed cpu_set_t holds only 1024 processors.
    for (int width = 1024; width <= (1 << 20); width *= 2) {
        cpu_set_t* set = CPU_ALLOC(width);
        if (set == nullptr) {
            break;
        }
        const std::size_t size = CPU_ALLOC_SIZE(width);
        CPU_ZERO_S(size, set);
        const int result = sched_getaffinity(0, size, set);
        const int error = errno;
        const int count = result == 0 ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (result == 0 && count > 0) {
            return count;
        }
        if (result != 0 && error != EINVAL) {
            break;
        }
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? static_cast<int>(hardware) : 1;
}
