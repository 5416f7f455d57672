// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

// The two tests and their lengths, as every record, line and journal names them.
enum class TTestKind { Benchmark, Stress };

// "benchmark" or "stress", the name a test has in every file the program writes.
constexpr const char* TestKindName(TTestKind kind) noexcept {
    return kind == TTestKind::Benchmark ? "benchmark" : "stress";
}
// The test of a name TestKindName() gives; none for any other text.
constexpr std::optional<TTestKind> TestKindFromName(std::string_view name) noexcept {
    if (name == std::string_view(TestKindName(TTestKind::Benchmark))) {
        return TTestKind::Benchmark;
    }
    if (name == std::string_view(TestKindName(TTestKind::Stress))) {
        return TTestKind::Stress;
    }
    return std::nullopt;
}

// How every test runs: its workers, its one-second ticks and how many.
struct TTestPlan {
    static constexpr int WorkerCount = 15; // the window's, and morvel-cli's unless told otherwise
    static constexpr std::chrono::milliseconds TickInterval{1000};
    static constexpr int BenchmarkTicks = 180;
    static constexpr int StressTicksPerEntry = 1200; // twenty minutes of one-second ticks

    // One stress duration as the duration box offers it.
    struct TDuration {
        QString Text;
        int Minutes;
        int Ticks;
    };
    // The twelve stress durations, 20 minutes to 4 hours, shortest first.
    static const std::vector<TDuration>& Durations();
    // The length of a stress run for an entry of Durations(), in ticks.
    static constexpr int StressTicks(int entryIndex) noexcept {
        return (entryIndex + 1) * StressTicksPerEntry;
    }
};
