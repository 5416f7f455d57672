// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

#include <optional>

// Something the machine did during a run that a person should know though no result was wrong:
// the clock fell under load, a temperature reached its sensor's limit, the processor throttled.
struct TWarning {
    enum class TKind {
        ClockDrop,   // the clock fell well below the run's sustained clock
        Temperature, // a temperature at or over its sensor's critical or maximum
        Throttle,    // throttle counters, thermal events or a lowered frequency limit grew
    };
    TKind Kind = TKind::ClockDrop;
    std::optional<int> Cpu; // the processor, when the warning is about one
    double At = 0;          // seconds since the start of the run
    QString Text;           // the sentence a person reads

    // "clockDrop", "temperature" or "throttle", as the JSON result and the metrics name it.
    static const char* Name(TKind kind) noexcept {
        switch (kind) {
        case TKind::Temperature:
            return "temperature";
        case TKind::Throttle:
            return "throttle";
        case TKind::ClockDrop:
            break;
        }
        return "clockDrop";
    }
};
