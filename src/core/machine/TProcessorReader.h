// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSystemRecord.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One processor as the per-processor table shows it. Empty where the machine does not tell.
struct TProcessorState {
    int Cpu = 0;
    std::optional<double> MHz;          // cpufreq's scaling_cur_freq, else /proc/cpuinfo
    std::optional<double> TemperatureC; // its core's sensor, where the driver names the core
    std::optional<double> Use;          // busy share, 0 to 1, since the reading before
};

// Reads every online processor's frequency, temperature and use. The processors are those of
// <proc>/stat; the use is the share of the time that was not idle (idle and iowait) between two
// readings, so that the first reading has none. Temperatures come from coretemp's "Core N"
// sensors, matched to each processor's topology (core_id, and the package of the sensor's
// "Package id P" where there is one). Used from one thread.
class TProcessorReader {
public:
    explicit TProcessorReader(const TSystemPaths& paths = {});

    std::vector<TProcessorState> Read();

private:
    struct TTimes {
        std::uint64_t Busy = 0;
        std::uint64_t Total = 0;
    };
    struct TCoreSensor {
        int Package = -1; // -1: the sensor's package is not named
        int Core = 0;
        std::string File; // millidegrees Celsius
    };
    std::optional<double> Temperature(int cpu);
    std::optional<double> MHzOf(int cpu, const std::map<int, double>& cpuinfo);

    TSystemPaths paths;
    std::vector<TCoreSensor> coreSensors;
    std::map<int, TTimes> last;
    std::map<int, std::pair<int, int>> topology; // cpu: package, core
    std::string buffer;
};
