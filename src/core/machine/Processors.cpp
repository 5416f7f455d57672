// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "Processors.h"

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <thread>

std::vector<int> UsableCpuList() {
    std::vector<int> list;
    // The mask is as wide as the kernel's; a fixed cpu_set_t holds only 1024 processors.
    for (int width = 1024; width <= (1 << 20) && list.empty(); width *= 2) {
        cpu_set_t* set = CPU_ALLOC(width);
        if (set == nullptr) {
            break;
        }
        const std::size_t size = CPU_ALLOC_SIZE(width);
        CPU_ZERO_S(size, set);
        const int result = sched_getaffinity(0, size, set);
        const int error = errno;
        if (result == 0) {
            for (int cpu = 0; cpu < width; ++cpu) {
                if (CPU_ISSET_S(static_cast<std::size_t>(cpu), size, set)) {
                    list.push_back(cpu);
                }
            }
        }
        CPU_FREE(set);
        if (result != 0 && error != EINVAL) {
            break;
        }
    }
    if (list.empty()) {
        const int count = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        for (int cpu = 0; cpu < count; ++cpu) {
            list.push_back(cpu);
        }
    }
    return list;
}

int UsableProcessors() noexcept {
    try {
        return static_cast<int>(UsableCpuList().size());
    } catch (...) {
        return 1; // no memory for the list
    }
}
