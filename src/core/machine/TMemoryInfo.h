// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSystemRecord.h"

#include <cstdint>
#include <optional>

// What a memory workload sizes itself by: the memory the kernel says is available without
// swapping (MemAvailable of /proc/meminfo) and the largest cache of the first processor (its
// last level). Empty where the machine does not say.
struct TMemoryInfo {
    std::optional<std::int64_t> AvailableBytes;
    std::optional<std::int64_t> LastLevelCacheBytes;

    static TMemoryInfo Read(const TSystemPaths& paths = {});
};
