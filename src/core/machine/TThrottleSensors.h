// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "THardwareErrors.h"
#include "TSystemRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One reading of the signs that the machine holds its processors back. Each list follows its
// TThrottleSensors list; an entry is none when its file could not be read the last time.
struct TThrottleSample {
    std::vector<std::optional<double>> TemperaturesC; // of Limits()
    std::vector<std::optional<std::int64_t>> Alarms;  // of Alarms()
    std::vector<std::optional<std::int64_t>> MaxKHz;  // of Policies(): scaling_max_freq
    // The thermal event interrupts (TRM) of each processor that has a column, any vendor's.
    std::vector<THardwareCounter> ThermalInterrupts;
};

// What the machine shows of thermal limits and throttling beside the sensors: the temperature
// sensors that have a limit (a processor driver's temp*_crit, else its temp*_max; a thermal
// zone's critical or hot trip point), the hwmon temperature alarms (temp*_alarm,
// temp*_crit_alarm, ...), the cpufreq policies' frequency limit (scaling_max_freq beside
// cpuinfo_max_freq), and the TRM row of <proc>/interrupts. Found once, then read at every tick.
class TThrottleSensors {
public:
    // A temperature with the limit it must stay under.
    struct TLimit {
        QString Sensor;    // "k10temp Tctl", "coretemp Core 0", "thermal acpitz"
        double LimitC = 0; // degrees Celsius
        QString LimitName; // "critical", "maximum", "hot"
    };
    struct TPolicy {
        int Cpu = 0;                     // its first processor in use
        std::int64_t HardwareMaxKHz = 0; // cpuinfo_max_freq
    };

    // Files read at a tick at most, beside /proc/interrupts: a server's hundreds of processors
    // are read a share at a time, in turn, so that a tick stays cheap (some 2 us a file).
    static constexpr std::size_t FilesPerTick = 48;

    // `processors` are those in use; empty: those the process may run on. Reads every file
    // once: Last().
    explicit TThrottleSensors(const TSystemPaths& paths = {}, std::vector<int> processors = {});

    // The thermal interrupts, and the next FilesPerTick files in turn; the others as last read.
    const TThrottleSample& Read();
    const TThrottleSample& Last() const noexcept { return last; }

    const std::vector<TLimit>& Limits() const noexcept { return limits; }
    const std::vector<QString>& Alarms() const noexcept {
        return alarmNames;
    } // "nct6775 temp1_alarm"
    const std::vector<TPolicy>& Policies() const noexcept { return policies; }

private:
    std::vector<TLimit> limits;
    std::vector<std::string> limitFiles; // millidegrees each
    std::vector<QString> alarmNames;
    std::vector<std::string> alarmFiles;
    std::vector<TPolicy> policies;
    std::vector<std::string> policyFiles; // scaling_max_freq, kHz
    THardwareErrors interrupts;
    std::string buffer;
    TThrottleSample last;
    std::size_t next = 0; // the next file to read, of limits, alarms and policies in a row
    // Reads `count` files from `next` on.
    void ReadFiles(std::size_t count);
    void ReadInterrupts();
};
