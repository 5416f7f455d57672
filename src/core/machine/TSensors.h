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
    // The processor packages' energy since the sensors were found, summed over the packages
    // (each counter's wrap-around taken into account), and the mean power since the reading
    // before (set by whoever knows the time between the two: PackageWatts()).
    std::optional<double> EnergyJoules;
    std::optional<double> PackageWatts;
};

// Whether an hwmon driver is that of a processor's temperature sensors (coretemp, k10temp, ...).
bool IsProcessorHwmon(const QString& driver);
// A whole-number file such as scaling_cur_freq, temp1_input or core_throttle_count; none when it
// cannot be read or holds no whole number.
std::optional<std::int64_t> ReadInteger(const std::string& path, std::string& buffer);
// Whether a processor can show the figure: one outside (NaN, a frequency of 1e308 MHz from a
// broken /proc/cpuinfo, a sensor's error code read as a temperature) is no reading.
bool PlausibleMHz(double mhz) noexcept;
bool PlausibleCelsius(double celsius) noexcept;

// The mean power of the packages between two readings `seconds` apart; none when either has no
// energy, the time is not positive or the figure is none a package shows.
std::optional<double> PackageWatts(const TSensorSample& before, const TSensorSample& after,
                                   double seconds);

// The sensors over a run: the throttle count at the start, and the reading of every tick.
struct TSensorSummary {
    int Readings = 0;
    std::optional<double> MinMHz;
    std::optional<double> MeanMHz; // the mean of the readings' means
    std::optional<double> MaxMHz;
    std::optional<double> MaxTemperatureC;
    std::optional<std::int64_t> ThrottleEvents; // since the baseline
    std::optional<double> MeanWatts;            // the mean of the readings' package power
    std::optional<double> MaxWatts;
    QString PowerSource;       // "powercap intel-rapl" or empty
    QString FrequencySource;   // "cpufreq", "cpuinfo" or empty
    QString TemperatureSource; // e.g. "hwmon coretemp", "thermal x86_pkg_temp", or empty

    // The reading before the workers start: throttle events are counted from it.
    void SetBaseline(const TSensorSample& sample) { baseline = sample.ThrottleCount; }
    void Add(const TSensorSample& sample);

private:
    double meanSum = 0;
    int meanCount = 0;
    double wattsSum = 0;
    int wattsCount = 0;
    std::optional<std::int64_t> baseline;
};

// The processor sensors of the machine: found once, then read at every tick by the thread that
// runs the ticks (never by the workers). Frequencies come from cpufreq's scaling_cur_freq of each
// processor in use, else from the MHz of /proc/cpuinfo; the temperature from the hwmon drivers of
// processors (coretemp, k10temp, zenpower, ...), else from thermal zones of a processor type; the
// throttle count from each core's and package's thermal_throttle counters; the energy from the
// powercap zones of the packages (energy_uj, which wraps at max_energy_range_uj; readable by
// root only on most kernels, absent in a virtual machine).
class TSensors {
public:
    // `processors` are those in use; empty: those the process may run on.
    explicit TSensors(const TSystemPaths& paths = {}, std::vector<int> processors = {});

    // Reads every sensor found. Cheap: a few small files, no directory listing.
    TSensorSample Read();

    QString FrequencySource() const;
    QString TemperatureSource() const { return temperatureSource; }
    QString PowerSource() const;

private:
    std::vector<int> processors;
    std::vector<std::string> frequencyFiles;   // kHz each
    std::string cpuinfoFile;                   // used when there are no frequency files
    std::vector<std::string> temperatureFiles; // millidegrees Celsius each
    QString temperatureSource;
    std::vector<std::string> throttleFiles; // counts
    struct TEnergyZone {
        std::string File; // energy_uj
        std::int64_t Range = 0;
        std::optional<std::int64_t> Last;
    };
    std::vector<TEnergyZone> energyZones;
    double energyJoules = 0;
    std::string buffer;
};
