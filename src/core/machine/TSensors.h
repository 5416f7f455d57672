// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSystemRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One reading of the processor sensors. Empty where the machine does not expose the figure.
struct TSensorSample {
    std::optional<double> MinMHz;              // the slowest processor in use
    std::optional<double> MeanMHz;             // the mean over the processors in use
    std::optional<double> MaxMHz;              // the fastest
    std::optional<double> TemperatureC;        // the hottest processor sensor
    std::optional<std::int64_t> ThrottleCount; // the kernel's thermal throttle counters, summed
};

// The sensors over a run: the throttle count at the start, and the reading of every tick.
struct TSensorSummary {
    int Readings = 0;
    std::optional<double> MinMHz;
    std::optional<double> MeanMHz; // the mean of the readings' means
    std::optional<double> MaxMHz;
    std::optional<double> MaxTemperatureC;
    std::optional<std::int64_t> ThrottleEvents; // since the baseline
    QString FrequencySource;                    // "cpufreq", "cpuinfo" or empty
    QString TemperatureSource; // e.g. "hwmon coretemp", "thermal x86_pkg_temp", or empty

    // The reading before the workers start: throttle events are counted from it.
    void SetBaseline(const TSensorSample& sample) { baseline = sample.ThrottleCount; }
    void Add(const TSensorSample& sample);

private:
    double meanSum = 0;
    int meanCount = 0;
    std::optional<std::int64_t> baseline;
};

// The processor sensors of the machine: found once, then read at every tick by the thread that
// runs the ticks (never by the workers). Frequencies come from cpufreq's scaling_cur_freq of each
// processor in use, else from the MHz of /proc/cpuinfo; the temperature from the hwmon drivers of
// processors (coretemp, k10temp, zenpower, ...), else from thermal zones of a processor type; the
// throttle count from each core's and package's thermal_throttle counters.
class TSensors {
public:
    // `processors` are those in use; empty: those the process may run on.
    explicit TSensors(const TSystemPaths& paths = {}, std::vector<int> processors = {});

    // Reads every sensor found. Cheap: a few small files, no directory listing.
    TSensorSample Read();

    QString FrequencySource() const;
    QString TemperatureSource() const { return temperatureSource; }

private:
    std::vector<int> processors;
    std::vector<std::string> frequencyFiles;   // kHz each
    std::string cpuinfoFile;                   // used when there are no frequency files
    std::vector<std::string> temperatureFiles; // millidegrees Celsius each
    QString temperatureSource;
    std::vector<std::string> throttleFiles; // counts
    std::string buffer;
};
