// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TThrottleSensors.h"

#include "SensorsLog.h"
#include "TSensors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <utility>

namespace {

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// A limit a processor may reach under load; 0 or 255 °C is a driver's placeholder.
constexpr double MinLimitC = 40;
constexpr double MaxLimitC = 150;

std::optional<double> LimitIn(const QString& file, std::string& buffer) {
    const auto milli = ReadInteger(Local(file), buffer);
    if (!milli) {
        return std::nullopt;
    }
    const double celsius = static_cast<double>(*milli) / 1000.0;
    return celsius >= MinLimitC && celsius <= MaxLimitC ? std::optional<double>(celsius)
                                                        : std::nullopt;
}

// Drivers whose temp*_max is a fixed figure, not the part's limit (k10temp's is always 70 °C).
bool MaxIsFixed(const QString& driver) {
    return driver == QLatin1String("k10temp");
}

// The alarms of a temperature too high (temp1_alarm, temp1_crit_alarm, temp1_max_alarm,
// temp1_emergency_alarm), not of one too low (temp1_min_alarm, temp1_lcrit_alarm).
bool IsHeatAlarm(const QString& name) {
    return !name.contains(QLatin1String("min_alarm")) &&
           !name.contains(QLatin1String("lcrit_alarm"));
}

} // namespace

TThrottleSensors::TThrottleSensors(const TSystemPaths& paths, std::vector<int> processors)
    : interrupts(paths) {
    if (processors.empty()) {
        processors = UsableProcessorList(paths);
    }
    std::sort(processors.begin(), processors.end());

    // Processors' temperatures with their limit, and every hwmon temperature alarm.
    const QDir hwmon(paths.Sys + QStringLiteral("/class/hwmon"));
    for (const QString& entry : hwmon.entryList({QStringLiteral("hwmon*")},
                                                QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = hwmon.filePath(entry);
        const QString driver = ReadLine(dir + QStringLiteral("/name")).value_or(entry);
        // Older kernels keep the files in the device's folder.
        for (const QString& folder : {dir, dir + QStringLiteral("/device")}) {
            const QDir files(folder);
            for (const QString& name :
                 files.entryList({QStringLiteral("temp*_alarm")}, QDir::Files, QDir::Name)) {
                if (IsHeatAlarm(name)) {
                    alarmNames.push_back(driver + QLatin1Char(' ') + name);
                    alarmFiles.push_back(Local(files.filePath(name)));
                }
            }
            if (!IsProcessorHwmon(driver)) {
                continue;
            }
            for (const QString& name :
                 files.entryList({QStringLiteral("temp*_input")}, QDir::Files, QDir::Name)) {
                const QString stem = files.filePath(name.chopped(6)); // without "_input"
                TLimit limit;
                if (const auto crit = LimitIn(stem + QStringLiteral("_crit"), buffer)) {
                    limit.LimitC = *crit;
                    limit.LimitName = QStringLiteral("critical");
                } else if (const auto max = LimitIn(stem + QStringLiteral("_max"), buffer);
                           max && !MaxIsFixed(driver)) {
                    limit.LimitC = *max;
                    limit.LimitName = QStringLiteral("maximum");
                } else {
                    continue;
                }
                limit.Sensor = driver + QLatin1Char(' ') +
                               ReadLine(stem + QStringLiteral("_label")).value_or(name.chopped(6));
                limits.push_back(limit);
                limitFiles.push_back(Local(files.filePath(name)));
            }
        }
    }

    // Thermal zones with a hot or critical trip point: the lowest of them.
    const QDir thermal(paths.Sys + QStringLiteral("/class/thermal"));
    for (const QString& entry : thermal.entryList({QStringLiteral("thermal_zone*")},
                                                  QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir zone(thermal.filePath(entry));
        TLimit limit;
        for (const QString& name :
             zone.entryList({QStringLiteral("trip_point_*_type")}, QDir::Files, QDir::Name)) {
            const QString type = ReadLine(zone.filePath(name)).value_or(QString());
            if (type != QLatin1String("critical") && type != QLatin1String("hot")) {
                continue;
            }
            const auto celsius = LimitIn(zone.filePath(QString(name).replace(
                                             QStringLiteral("_type"), QStringLiteral("_temp"))),
                                         buffer);
            if (celsius && (limit.LimitName.isEmpty() || *celsius < limit.LimitC)) {
                limit.LimitC = *celsius;
                limit.LimitName = type;
            }
        }
        if (!limit.LimitName.isEmpty() && QFile::exists(zone.filePath(QStringLiteral("temp")))) {
            limit.Sensor = QStringLiteral("thermal ") +
                           ReadLine(zone.filePath(QStringLiteral("type"))).value_or(entry);
            limits.push_back(limit);
            limitFiles.push_back(Local(zone.filePath(QStringLiteral("temp"))));
        }
    }

    // The frequency limit of each cpufreq policy of the processors in use (their cpufreq folders
    // are links to the policy's).
    QSet<QString> seen;
    for (const int cpu : processors) {
        const QString folder =
            QFileInfo(paths.Sys + QStringLiteral("/devices/system/cpu/cpu%1/cpufreq").arg(cpu))
                .canonicalFilePath();
        if (folder.isEmpty() || seen.contains(folder)) {
            continue;
        }
        seen.insert(folder);
        const auto hardware =
            ReadInteger(Local(folder + QStringLiteral("/cpuinfo_max_freq")), buffer);
        const std::string limit = Local(folder + QStringLiteral("/scaling_max_freq"));
        if (hardware && *hardware > 0 && ReadInteger(limit, buffer)) {
            policies.push_back({cpu, *hardware});
            policyFiles.push_back(limit);
        }
    }
    last.TemperaturesC.resize(limitFiles.size());
    last.Alarms.resize(alarmFiles.size());
    last.MaxKHz.resize(policyFiles.size());
    ReadFiles(limitFiles.size() + alarmFiles.size() + policyFiles.size());
    ReadInterrupts();
    qCDebug(lcSensors, "%zu limited temperatures, %zu temperature alarms, %zu cpufreq policies",
            limits.size(), alarmFiles.size(), policies.size());
}

void TThrottleSensors::ReadFiles(std::size_t count) {
    const std::size_t total = limitFiles.size() + alarmFiles.size() + policyFiles.size();
    for (count = std::min(count, total); count > 0; --count, next = (next + 1) % total) {
        std::size_t at = next;
        if (at < limitFiles.size()) {
            // A figure past any limit (a sensor's error code) is no reading.
            const auto milli = ReadInteger(limitFiles[at], buffer);
            const double celsius = milli ? static_cast<double>(*milli) / 1000.0 : MaxLimitC + 1;
            last.TemperaturesC[at] =
                celsius <= MaxLimitC ? std::optional<double>(celsius) : std::nullopt;
        } else if ((at -= limitFiles.size()) < alarmFiles.size()) {
            last.Alarms[at] = ReadInteger(alarmFiles[at], buffer);
        } else {
            at -= alarmFiles.size();
            last.MaxKHz[at] = ReadInteger(policyFiles[at], buffer);
        }
    }
}

const TThrottleSample& TThrottleSensors::Read() {
    ReadFiles(FilesPerTick);
    ReadInterrupts();
    return last;
}

void TThrottleSensors::ReadInterrupts() {
    last.ThermalInterrupts.clear();
    for (THardwareCounter& counter : interrupts.Read()) {
        if (counter.Kind == THardwareKind::Thermal) {
            last.ThermalInterrupts.push_back(std::move(counter));
        }
    }
}
