// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TWarningWatch.h"

#include "ResultLines.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The texts a person reads, all in this one place.

QString At(double seconds) {
    return QStringLiteral("at ") + LengthText(static_cast<std::int64_t>(std::floor(seconds)));
}

QString GHz(double mhz) {
    return QString::number(mhz / 1000.0, 'f', 1);
}

QString ClockDropText(double fromMHz, double toMHz, double seconds) {
    return QStringLiteral("clock fell from %1 to %2 GHz %3")
        .arg(GHz(fromMHz), GHz(toMHz), At(seconds));
}

QString TemperatureText(double celsius, const TThrottleSensors::TLimit& limit, double seconds) {
    return QStringLiteral("%1 °C reached %2 (%3, %4 %5 °C)")
        .arg(QString::number(celsius, 'f', 0), At(seconds), limit.Sensor, limit.LimitName,
             QString::number(limit.LimitC, 'f', 0));
}

QString InterruptsText(std::int64_t count, std::optional<int> cpu, double seconds) {
    return QStringLiteral("the processor throttled %1 (%2 thermal interrupt%3%4)")
        .arg(At(seconds))
        .arg(count)
        .arg(count == 1 ? "" : "s")
        .arg(cpu ? QStringLiteral(" on CPU %1").arg(*cpu) : QString());
}

QString ThrottleCountText(std::int64_t count, double seconds) {
    return QStringLiteral("the processor throttled %1 (thermal throttle count +%2)")
        .arg(At(seconds))
        .arg(count);
}

QString AlarmText(const QString& alarm, double seconds) {
    return QStringLiteral("temperature alarm %1 (%2)").arg(At(seconds), alarm);
}

QString LimitText(std::int64_t kHz, const TThrottleSensors::TPolicy& policy, double seconds) {
    return QStringLiteral("frequency limit lowered to %1 GHz %2 (CPU %3, hardware maximum %4 GHz)")
        .arg(GHz(static_cast<double>(kHz) / 1000.0), At(seconds))
        .arg(policy.Cpu)
        .arg(GHz(static_cast<double>(policy.HardwareMaxKHz) / 1000.0));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

} // namespace

TWarningWatch::TWarningWatch(TThrottleSensors throttleSensors, const TSensorSample& start)
    : sensors(std::move(throttleSensors)), baseline(sensors.Last()),
      throttleBaseline(start.ThrottleCount), hot(sensors.Limits().size(), false),
      alarmed(sensors.Alarms().size(), false) {
    for (std::size_t i = 0; i < sensors.Policies().size(); ++i) {
        lowestKHz.push_back(baseline.MaxKHz[i].value_or(sensors.Policies()[i].HardwareMaxKHz));
    }
}

std::vector<TWarning> TWarningWatch::Tick(double seconds, const TSensorSample& sample) {
    using TKind = TWarning::TKind;
    std::vector<TWarning> warnings;
    ++ticks;

    if (sample.MaxMHz && ticks > SettleTicks) {
        const double mhz = *sample.MaxMHz;
        if (!sustainedMHz) {
            settling.push_back(mhz);
            if (static_cast<int>(settling.size()) == SustainedTicks) {
                sustainedMHz = Median(std::move(settling));
            }
        } else if (mhz < *sustainedMHz * (1 - DropShare)) {
            if (ticksBelow++ == 0) {
                belowSince = seconds;
            }
            if (ticksBelow == DropTicks && !dropped) {
                dropped = true;
                warnings.push_back({TKind::ClockDrop,
                                    {},
                                    belowSince,
                                    ClockDropText(*sustainedMHz, mhz, belowSince)});
            }
        } else {
            ticksBelow = 0;
            if (mhz >= *sustainedMHz * (1 - RecoverShare)) {
                dropped = false;
            }
        }
    }

    const TThrottleSample& now = sensors.Read();
    for (std::size_t i = 0; i < hot.size(); ++i) {
        const TThrottleSensors::TLimit& limit = sensors.Limits()[i];
        if (!hot[i] && now.TemperaturesC[i] && *now.TemperaturesC[i] >= limit.LimitC) {
            hot[i] = true;
            warnings.push_back({TKind::Temperature,
                                {},
                                seconds,
                                TemperatureText(*now.TemperaturesC[i], limit, seconds)});
        }
    }
    if (!interrupted) {
        const THardwareErrorCounts grown =
            THardwareErrorCounts::Between(baseline.ThermalInterrupts, now.ThermalInterrupts);
        if (grown.ThermalEvents.value_or(0) > 0) {
            interrupted = true;
            const bool one = std::all_of(
                grown.Grown.begin(), grown.Grown.end(),
                [&](const THardwareCounter& counter) { return counter.Cpu == grown.Grown[0].Cpu; });
            const std::optional<int> cpu = one ? grown.Grown[0].Cpu : std::nullopt;
            warnings.push_back({TKind::Throttle, cpu, seconds,
                                InterruptsText(*grown.ThermalEvents, cpu, seconds)});
        }
    }
    if (!throttled && sample.ThrottleCount && throttleBaseline &&
        *sample.ThrottleCount > *throttleBaseline) {
        throttled = true;
        warnings.push_back({TKind::Throttle,
                            {},
                            seconds,
                            ThrottleCountText(*sample.ThrottleCount - *throttleBaseline, seconds)});
    }
    for (std::size_t i = 0; i < alarmed.size(); ++i) {
        const auto& before = baseline.Alarms[i];
        const auto& alarm = now.Alarms[i];
        if (!alarmed[i] && alarm && *alarm > before.value_or(0)) {
            alarmed[i] = true;
            warnings.push_back(
                {TKind::Throttle, {}, seconds, AlarmText(sensors.Alarms()[i], seconds)});
        }
    }
    for (std::size_t i = 0; i < lowestKHz.size(); ++i) {
        const TThrottleSensors::TPolicy& policy = sensors.Policies()[i];
        const auto& kHz = now.MaxKHz[i];
        if (kHz && *kHz > 0 && *kHz < lowestKHz[i] && *kHz < policy.HardwareMaxKHz) {
            lowestKHz[i] = *kHz;
            warnings.push_back(
                {TKind::Throttle, policy.Cpu, seconds, LimitText(*kHz, policy, seconds)});
        }
    }
    return warnings;
}
