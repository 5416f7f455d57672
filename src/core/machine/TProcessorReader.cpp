// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TProcessorReader.h"

#include "TSensors.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <string_view>

namespace {

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The lines of a text, without their ends.
template <class F> void ForEachLine(std::string_view text, F&& line) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        line(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

template <class T> std::optional<T> Number(std::string_view text) {
    text = Trimmed(text);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The value when it is one a processor can show (the sensors' bounds), else none.
std::optional<double> Plausible(std::optional<double> value, bool (*plausible)(double) noexcept) {
    return value && plausible(*value) ? value : std::nullopt;
}

} // namespace

TProcessorReader::TProcessorReader(const TSystemPaths& systemPaths) : paths(systemPaths) {
    const QDir hwmon(paths.Sys + QStringLiteral("/class/hwmon"));
    static const QRegularExpression corePattern(QStringLiteral("^Core (\\d+)$"));
    static const QRegularExpression packagePattern(QStringLiteral("^Package id (\\d+)$"));
    for (const QString& entry : hwmon.entryList({QStringLiteral("hwmon*")},
                                                QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = hwmon.filePath(entry);
        if (ReadLine(dir + QStringLiteral("/name")) != QStringLiteral("coretemp")) {
            continue;
        }
        for (const QString& folder : {dir, dir + QStringLiteral("/device")}) {
            const QDir inputs(folder);
            int package = -1;
            std::vector<TCoreSensor> found;
            for (const QString& label :
                 inputs.entryList({QStringLiteral("temp*_label")}, QDir::Files, QDir::Name)) {
                const QString text = ReadLine(inputs.filePath(label)).value_or(QString());
                const QString input = inputs.filePath(
                    QString(label).replace(QStringLiteral("_label"), QStringLiteral("_input")));
                if (const auto match = packagePattern.match(text); match.hasMatch()) {
                    package = match.captured(1).toInt();
                } else if (const auto core = corePattern.match(text); core.hasMatch()) {
                    found.push_back({-1, core.captured(1).toInt(), Local(input)});
                }
            }
            for (TCoreSensor& sensor : found) {
                sensor.Package = package;
                coreSensors.push_back(std::move(sensor));
            }
        }
    }
}

std::optional<double> TProcessorReader::Temperature(int cpu) {
    if (coreSensors.empty()) {
        return std::nullopt;
    }
    auto known = topology.find(cpu);
    if (known == topology.end()) {
        const QString folder =
            paths.Sys + QStringLiteral("/devices/system/cpu/cpu%1/topology/").arg(cpu);
        const auto package =
            ReadInteger(Local(folder + QStringLiteral("physical_package_id")), buffer);
        const auto core = ReadInteger(Local(folder + QStringLiteral("core_id")), buffer);
        known = topology
                    .emplace(cpu, std::pair{package ? static_cast<int>(*package) : -1,
                                            core ? static_cast<int>(*core) : -1})
                    .first;
    }
    const auto [package, core] = known->second;
    for (const TCoreSensor& sensor : coreSensors) {
        if (sensor.Core == core && core >= 0 && (sensor.Package < 0 || sensor.Package == package)) {
            const auto milli = ReadInteger(sensor.File, buffer);
            return Plausible(milli ? std::optional(static_cast<double>(*milli) / 1000.0)
                                   : std::nullopt,
                             PlausibleCelsius);
        }
    }
    return std::nullopt;
}

std::optional<double> TProcessorReader::MHzOf(int cpu, const std::map<int, double>& cpuinfo) {
    const auto kHz = ReadInteger(
        Local(paths.Sys +
              QStringLiteral("/devices/system/cpu/cpu%1/cpufreq/scaling_cur_freq").arg(cpu)),
        buffer);
    if (kHz) {
        return Plausible(static_cast<double>(*kHz) / 1000.0, PlausibleMHz);
    }
    const auto found = cpuinfo.find(cpu);
    return found == cpuinfo.end() ? std::nullopt : Plausible(found->second, PlausibleMHz);
}

std::vector<TProcessorState> TProcessorReader::Read() {
    std::vector<TProcessorState> states;
    std::map<int, TTimes> times;
    if (ReadWholeFile(Local(paths.Proc + QStringLiteral("/stat")), buffer)) {
        ForEachLine(buffer, [&](std::string_view line) {
            if (!line.starts_with("cpu") || line.size() < 4 || line[3] < '0' || line[3] > '9') {
                return;
            }
            line.remove_prefix(3);
            const std::size_t space = line.find(' ');
            const auto cpu = Number<int>(line.substr(0, space));
            if (!cpu || space == std::string_view::npos) {
                return;
            }
            // user nice system idle iowait irq softirq steal (guest time is in user's)
            TTimes sum;
            std::string_view rest = line.substr(space);
            for (int field = 0; field < 8 && !Trimmed(rest).empty(); ++field) {
                rest = Trimmed(rest);
                const std::size_t end = rest.find(' ');
                const auto value = Number<std::uint64_t>(rest.substr(0, end));
                if (!value) {
                    return;
                }
                sum.Total += *value;
                sum.Busy += field == 3 || field == 4 ? 0 : *value;
                rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
            }
            times[*cpu] = sum;
        });
    }
    std::map<int, double> cpuinfo;
    if (ReadWholeFile(Local(paths.Proc + QStringLiteral("/cpuinfo")), buffer)) {
        int current = -1;
        ForEachLine(buffer, [&](std::string_view line) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                return;
            }
            const std::string_view key = Trimmed(line.substr(0, colon));
            if (key == "processor") {
                current = Number<int>(line.substr(colon + 1)).value_or(-1);
            } else if (key == "cpu MHz" && current >= 0) {
                if (const auto mhz = Number<double>(line.substr(colon + 1))) {
                    cpuinfo[current] = *mhz;
                }
            }
        });
    }
    for (const auto& [cpu, now] : times) {
        TProcessorState state;
        state.Cpu = cpu;
        state.MHz = MHzOf(cpu, cpuinfo);
        state.TemperatureC = Temperature(cpu);
        if (const auto before = last.find(cpu); before != last.end()) {
            const TTimes& then = before->second;
            // Counters that went back (a processor that went offline and came back) say nothing.
            if (now.Total > then.Total && now.Busy >= then.Busy) {
                state.Use = std::min(1.0, static_cast<double>(now.Busy - then.Busy) /
                                              static_cast<double>(now.Total - then.Total));
            }
        }
        states.push_back(state);
    }
    last = std::move(times);
    return states;
}
