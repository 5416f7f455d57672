// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSensors.h"
#include "TThrottleSensors.h"
#include "TWarning.h"

#include <cstdint>
#include <optional>
#include <vector>

// When the machine held a run's processors back, said once as a person reads it. Fed at every
// tick of a run with the sensors' reading; reads the throttle signs itself.
//
// - ClockDrop: the fastest processor's clock falls more than DropShare below the run's
//   sustained clock for DropTicks ticks in a row; said once an episode, which ends when the
//   clock is back within RecoverShare. The sustained clock is the median of the fastest clock
//   over SustainedTicks ticks after the first SettleTicks (the boost of a cool start, the
//   workers' ramp-up), so that a tick's spike or dip does not set it. The fastest processor is
//   the one a worker keeps busy even when the processors outnumber the workers.
// - Temperature: a sensor at or over its limit, once a sensor.
// - Throttle: thermal interrupts (TRM, once), the thermal throttle counters (once), a
//   temperature alarm that rises (once an alarm), a cpufreq limit lowered below the hardware's
//   maximum and below its lowest since the start.
class TWarningWatch {
public:
    static constexpr int SettleTicks = 5;
    static constexpr int SustainedTicks = 10;
    static constexpr double DropShare = 0.10;
    static constexpr int DropTicks = 3;
    static constexpr double RecoverShare = 0.05;

    // The throttle signs' baseline is the last reading of `sensors` (made when they were found);
    // `start` is the sensors' reading at the start.
    TWarningWatch(TThrottleSensors sensors, const TSensorSample& start);

    // The warnings of a tick `seconds` after the start, whose sensors read `sample`.
    std::vector<TWarning> Tick(double seconds, const TSensorSample& sample);

private:
    TThrottleSensors sensors;
    TThrottleSample baseline;
    std::optional<std::int64_t> throttleBaseline;
    int ticks = 0;
    std::vector<double> settling; // the fastest clock of the ticks that set the sustained one
    std::optional<double> sustainedMHz;
    int ticksBelow = 0;
    double belowSince = 0;
    bool dropped = false; // in a drop episode
    std::vector<bool> hot;
    std::vector<bool> alarmed;
    bool interrupted = false;
    bool throttled = false;
    std::vector<std::int64_t> lowestKHz;
};
