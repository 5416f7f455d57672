// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "Processors.h"

#include "TSystemRecord.h"

#include <algorithm>
#include <thread>

std::vector<int> UsableCpuList() {
    std::vector<int> list = UsableProcessorList(TSystemPaths{});
    if (list.empty()) {
        // No /proc: every processor the machine has.
        const int count = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        for (int cpu = 0; cpu < count; ++cpu) {
            list.push_back(cpu);
        }
    }
    return list;
}
