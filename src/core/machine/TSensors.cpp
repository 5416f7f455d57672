// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSensors.h"

#include "SensorsLog.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <set>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace {

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The "cpu MHz" of each processor in /proc/cpuinfo that is in `processors` (all when empty).
std::vector<double> CpuInfoMHz(std::string_view cpuinfo, const std::vector<int>& processors) {
    std::vector<double> mhz;
    int current = -1;
    while (!cpuinfo.empty()) {
        const std::size_t end = cpuinfo.find('\n');
        const std::string_view line = cpuinfo.substr(0, end);
        cpuinfo.remove_prefix(end == std::string_view::npos ? cpuinfo.size() : end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trimmed(line.substr(0, colon));
        const std::string_view value = Trimmed(line.substr(colon + 1));
        if (key == "processor") {
            current = -1;
            std::from_chars(value.data(), value.data() + value.size(), current);
        } else if (key == "cpu MHz") {
            double figure = 0;
            const auto [at, error] =
                std::from_chars(value.data(), value.data() + value.size(), figure);
            const bool inUse = processors.empty() ||
                               std::binary_search(processors.begin(), processors.end(), current);
            if (error == std::errc() && inUse) {
                mhz.push_back(figure);
            }
        }
    }
    return mhz;
}

constexpr double MinMHz = 1;
constexpr double MaxMHz = 100000;
constexpr double MinCelsius = -50;
constexpr double MaxCelsius = 150;
constexpr double MaxWatts = 10000;

bool Within(double value, double low, double high) {
    return value >= low && value <= high; // false for NaN
}

} // namespace

bool IsProcessorHwmon(const QString& driver) {
    static const QStringList drivers = {
        QStringLiteral("coretemp"), QStringLiteral("k10temp"),     QStringLiteral("k8temp"),
        QStringLiteral("zenpower"), QStringLiteral("cpu_thermal"), QStringLiteral("via_cputemp")};
    return drivers.contains(driver);
}

std::optional<std::int64_t> ReadInteger(const std::string& path, std::string& buffer) {
    if (!ReadWholeFile(path, buffer)) {
        return std::nullopt;
    }
    const std::string_view text = Trimmed(buffer);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool PlausibleMHz(double mhz) noexcept {
    return Within(mhz, MinMHz, MaxMHz);
}

bool PlausibleCelsius(double celsius) noexcept {
    return Within(celsius, MinCelsius, MaxCelsius);
}

std::optional<double> PackageWatts(const TSensorSample& before, const TSensorSample& after,
                                   double seconds) {
    if (!before.EnergyJoules || !after.EnergyJoules || !(seconds > 0)) {
        return std::nullopt;
    }
    const double watts = (*after.EnergyJoules - *before.EnergyJoules) / seconds;
    return Within(watts, 0, MaxWatts) ? std::optional<double>(watts) : std::nullopt;
}

void TSensorSummary::Add(const TSensorSample& sample) {
    ++Readings;
    if (sample.PackageWatts) {
        wattsSum += *sample.PackageWatts;
        ++wattsCount;
        MaxWatts = std::max(MaxWatts.value_or(*sample.PackageWatts), *sample.PackageWatts);
        MeanWatts = std::min(wattsSum / wattsCount, *MaxWatts);
    }
    if (sample.MinMHz) {
        MinMHz = std::min(MinMHz.value_or(*sample.MinMHz), *sample.MinMHz);
    }
    if (sample.MaxMHz) {
        MaxMHz = std::max(MaxMHz.value_or(*sample.MaxMHz), *sample.MaxMHz);
    }
    if (sample.MeanMHz) {
        meanSum += *sample.MeanMHz;
        ++meanCount;
        // A sum of equal readings divided again can land a rounding step past them: the mean
        // of readings lies within their range.
        MeanMHz =
            std::clamp(meanSum / meanCount, MinMHz.value_or(-HUGE_VAL), MaxMHz.value_or(HUGE_VAL));
    }
    if (sample.TemperatureC) {
        MaxTemperatureC =
            std::max(MaxTemperatureC.value_or(*sample.TemperatureC), *sample.TemperatureC);
    }
    if (sample.ThrottleCount && baseline) {
        // A counter that went backwards (a processor taken offline) counts no events.
        ThrottleEvents =
            std::max<std::int64_t>(ThrottleEvents.value_or(0), *sample.ThrottleCount - *baseline);
    }
}

TSensors::TSensors(const TSystemPaths& paths, std::vector<int> inUse)
    : processors(std::move(inUse)) {
    if (processors.empty()) {
        processors = UsableProcessorList(paths);
    }
    std::sort(processors.begin(), processors.end());
    const QString cpuRoot = paths.Sys + QStringLiteral("/devices/system/cpu/cpu%1/");

    // Frequency: cpufreq where the kernel has a driver, else the MHz of /proc/cpuinfo.
    for (const int cpu : processors) {
        const QString file = cpuRoot.arg(cpu) + QStringLiteral("cpufreq/scaling_cur_freq");
        if (QFile::exists(file)) {
            frequencyFiles.push_back(Local(file));
        }
    }
    if (frequencyFiles.empty()) {
        const std::string file = Local(paths.Proc + QStringLiteral("/cpuinfo"));
        if (ReadWholeFile(file, buffer) && !CpuInfoMHz(buffer, processors).empty()) {
            cpuinfoFile = file;
        }
    }

    // Temperature: hwmon drivers of processors, else thermal zones of a processor type.
    QStringList drivers;
    const QDir hwmon(paths.Sys + QStringLiteral("/class/hwmon"));
    for (const QString& entry : hwmon.entryList({QStringLiteral("hwmon*")},
                                                QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = hwmon.filePath(entry);
        const QString driver = ReadLine(dir + QStringLiteral("/name")).value_or(QString());
        if (!IsProcessorHwmon(driver)) {
            continue;
        }
        // Older kernels keep the inputs in the device's folder.
        for (const QString& folder : {dir, dir + QStringLiteral("/device")}) {
            const QDir inputs(folder);
            const QStringList names =
                inputs.entryList({QStringLiteral("temp*_input")}, QDir::Files, QDir::Name);
            QStringList labels;
            for (const QString& name : names) {
                labels.append(ReadLine(inputs.filePath(QString(name).replace(
                                           QStringLiteral("_input"), QStringLiteral("_label"))))
                                  .value_or(QString()));
            }
            // AMD's Tctl may carry a fixed offset above the real die temperature: prefer Tdie.
            const bool hasTdie = labels.contains(QStringLiteral("Tdie"));
            for (qsizetype i = 0; i < names.size(); ++i) {
                if (hasTdie && labels[i] == QLatin1String("Tctl")) {
                    continue;
                }
                temperatureFiles.push_back(Local(inputs.filePath(names[i])));
                if (!drivers.contains(driver)) {
                    drivers.append(driver);
                }
            }
        }
    }
    if (!temperatureFiles.empty()) {
        temperatureSource = QStringLiteral("hwmon ") + drivers.join(QLatin1Char(' '));
    } else {
        const QDir thermal(paths.Sys + QStringLiteral("/class/thermal"));
        QStringList types;
        for (const QString& entry :
             thermal.entryList({QStringLiteral("thermal_zone*")}, QDir::Dirs | QDir::NoDotAndDotDot,
                               QDir::Name)) {
            const QString dir = thermal.filePath(entry);
            const QString type = ReadLine(dir + QStringLiteral("/type")).value_or(QString());
            if (type != QLatin1String("x86_pkg_temp") &&
                !type.contains(QLatin1String("cpu"), Qt::CaseInsensitive)) {
                continue;
            }
            const QString file = dir + QStringLiteral("/temp");
            if (QFile::exists(file)) {
                temperatureFiles.push_back(Local(file));
                if (!types.contains(type)) {
                    types.append(type);
                }
            }
        }
        if (!temperatureFiles.empty()) {
            temperatureSource = QStringLiteral("thermal ") + types.join(QLatin1Char(' '));
        }
    }

    // Throttle counters: one per core and one per package, however many processors share them.
    std::set<std::pair<QString, QString>> cores;
    std::set<QString> packages;
    for (const int cpu : processors) {
        const QString dir = cpuRoot.arg(cpu);
        const QString unknown = QStringLiteral("cpu%1").arg(cpu);
        const QString package =
            ReadLine(dir + QStringLiteral("topology/physical_package_id")).value_or(unknown);
        const QString core = ReadLine(dir + QStringLiteral("topology/core_id")).value_or(unknown);
        const QString coreFile = dir + QStringLiteral("thermal_throttle/core_throttle_count");
        if (QFile::exists(coreFile) && cores.insert({package, core}).second) {
            throttleFiles.push_back(Local(coreFile));
        }
        const QString packageFile = dir + QStringLiteral("thermal_throttle/package_throttle_count");
        if (QFile::exists(packageFile) && packages.insert(package).second) {
            throttleFiles.push_back(Local(packageFile));
        }
    }
    qCDebug(lcSensors,
            "processors %zu: frequency from %s, temperature from %s, %zu throttle counters",
            processors.size(), qPrintable(FrequencySource()), qPrintable(temperatureSource),
            throttleFiles.size());

    // Energy: the top zones of the packages ("intel-rapl:0", named "package-0"; AMD's too),
    // not their subzones (core, uncore, dram), which the package's figure already holds.
    const QDir powercap(paths.Sys + QStringLiteral("/class/powercap"));
    for (const QString& entry : powercap.entryList({QStringLiteral("intel-rapl:*")},
                                                   QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = powercap.filePath(entry);
        if (entry.count(QLatin1Char(':')) != 1 || !ReadLine(dir + QStringLiteral("/name"))
                                                       .value_or(QString())
                                                       .startsWith(QLatin1String("package"))) {
            continue;
        }
        TEnergyZone zone;
        zone.File = Local(dir + QStringLiteral("/energy_uj"));
        zone.Range =
            ReadInteger(Local(dir + QStringLiteral("/max_energy_range_uj")), buffer).value_or(0);
        zone.Last = ReadInteger(zone.File, buffer);
        if (zone.Range > 0 && zone.Last && *zone.Last >= 0 && *zone.Last <= zone.Range) {
            energyZones.push_back(std::move(zone));
        }
    }
}

QString TSensors::PowerSource() const {
    return energyZones.empty() ? QString() : QStringLiteral("powercap intel-rapl");
}

QString TSensors::FrequencySource() const {
    if (!frequencyFiles.empty()) {
        return QStringLiteral("cpufreq");
    }
    return cpuinfoFile.empty() ? QString() : QStringLiteral("cpuinfo");
}

TSensorSample TSensors::Read() {
    TSensorSample sample;
    for (TEnergyZone& zone : energyZones) {
        const auto raw = ReadInteger(zone.File, buffer);
        if (!raw || *raw < 0 || *raw > zone.Range) {
            continue;
        }
        // A counter below its last reading has wrapped at its range.
        const std::int64_t delta =
            *raw >= *zone.Last ? *raw - *zone.Last : zone.Range - *zone.Last + *raw;
        energyJoules += static_cast<double>(delta) / 1e6;
        zone.Last = raw;
    }
    if (!energyZones.empty()) {
        sample.EnergyJoules = energyJoules;
    }
    std::vector<double> mhz;
    if (!frequencyFiles.empty()) {
        mhz.reserve(frequencyFiles.size());
        for (const std::string& file : frequencyFiles) {
            if (const auto kHz = ReadInteger(file, buffer)) {
                mhz.push_back(static_cast<double>(*kHz) / 1000.0);
            }
        }
    } else if (!cpuinfoFile.empty() && ReadWholeFile(cpuinfoFile, buffer)) {
        mhz = CpuInfoMHz(buffer, processors);
    }
    mhz.erase(
        std::remove_if(mhz.begin(), mhz.end(), [](double figure) { return !PlausibleMHz(figure); }),
        mhz.end());
    if (!mhz.empty()) {
        const auto [low, high] = std::minmax_element(mhz.begin(), mhz.end());
        double sum = 0;
        for (const double figure : mhz) {
            sum += figure;
        }
        sample.MinMHz = *low;
        sample.MaxMHz = *high;
        sample.MeanMHz = sum / static_cast<double>(mhz.size());
    }
    for (const std::string& file : temperatureFiles) {
        if (const auto milli = ReadInteger(file, buffer)) {
            const double celsius = static_cast<double>(*milli) / 1000.0;
            if (!PlausibleCelsius(celsius)) {
                continue;
            }
            sample.TemperatureC = std::max(sample.TemperatureC.value_or(celsius), celsius);
        }
    }
    for (const std::string& file : throttleFiles) {
        if (const auto count = ReadInteger(file, buffer)) {
            sample.ThrottleCount = sample.ThrottleCount.value_or(0) + *count;
        }
    }
    return sample;
}
