// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Measures what the sensors cost a run and prints its figures:
//  1. one reading of the processor sensors (what every tick does), by the thread's CPU time, on
//     this machine and on the fixture trees of an Intel laptop, an AMD desktop and a virtual
//     machine: mean, median and slowest of many readings, against the 1 ms a tick may spend on
//     it;
//  2. one reading of the hardware's error counters (what every run's start and end, and every
//     turn of a cycle, does), by the thread's CPU time: on this machine, on the fixture trees,
//     and on made-up /proc/interrupts of 64 and 256 processors;
//  3. one tick of the warning watch (its own readings of limits, alarms, frequency limits and
//     the thermal interrupts, and the rule), by the thread's CPU time: on this machine, on the
//     fixture trees, and on made-up /proc/interrupts of 64 and 256 processors;
//  4. benchmark scores of the same run engine with the sensors off and on, interleaved in this
//     one run (off, on, on, off, ...) so that both see the same machine, with their spread.
//
// Usage: bench_sensors [seconds per run, default 10] [runs of each kind, default 4]
#include "RunObservers.h"
#include "THardwareErrors.h"
#include "TRunEngine.h"
#include "TSensors.h"
#include "TSystemRecord.h"
#include "TWarningWatch.h"
#include "ThreadClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ThreadMicros() {
    return Bench::ThreadSeconds() * 1e6;
}

TSystemPaths Fixture(const char* machine) {
    const QString root = QStringLiteral(MORVEL_FIXTURES "/") + QLatin1String(machine);
    TSystemPaths paths;
    paths.Sys = root + QStringLiteral("/sys");
    paths.Proc = root + QStringLiteral("/proc");
    paths.OsRelease = {root + QStringLiteral("/etc/os-release")};
    return paths;
}

void ReadingCost(const char* name, const TSystemPaths& paths) {
    constexpr int Readings = 5000;
    TSensors sensors(paths);
    std::vector<double> micros;
    micros.reserve(Readings);
    volatile double sink = 0;
    for (int i = 0; i < Readings; ++i) {
        const double start = ThreadMicros();
        const TSensorSample sample = sensors.Read();
        micros.push_back(ThreadMicros() - start);
        sink = sink + sample.MeanMHz.value_or(0) + sample.TemperatureC.value_or(0);
    }
    std::sort(micros.begin(), micros.end());
    const double mean = std::accumulate(micros.begin(), micros.end(), 0.0) / Readings;
    std::printf("  %-14s %7.1f us mean  %7.1f us median  %7.1f us slowest  (%s, %s)\n", name, mean,
                micros[micros.size() / 2], micros.back(),
                qPrintable(sensors.FrequencySource().isEmpty() ? QStringLiteral("no frequency")
                                                               : sensors.FrequencySource()),
                qPrintable(sensors.TemperatureSource().isEmpty() ? QStringLiteral("no temperature")
                                                                 : sensors.TemperatureSource()));
}

void CounterCost(const char* name, const TSystemPaths& paths) {
    constexpr int Readings = 2000;
    THardwareErrors counters(paths);
    std::vector<double> micros;
    micros.reserve(Readings);
    std::size_t found = 0;
    for (int i = 0; i < Readings; ++i) {
        const double start = ThreadMicros();
        found = counters.Read().size();
        micros.push_back(ThreadMicros() - start);
    }
    std::sort(micros.begin(), micros.end());
    const double mean = std::accumulate(micros.begin(), micros.end(), 0.0) / Readings;
    std::printf("  %-14s %7.1f us mean  %7.1f us median  (%zu counters)\n", name, mean,
                micros[micros.size() / 2], found);
}

void WatchCost(const char* name, const TSystemPaths& paths) {
    constexpr int Ticks = 2000;
    TSensors sensors(paths);
    const TSensorSample sample = sensors.Read();
    TThrottleSensors throttle(paths);
    const std::size_t limits = throttle.Limits().size();
    const std::size_t alarms = throttle.Alarms().size();
    const std::size_t policies = throttle.Policies().size();
    TWarningWatch watch(std::move(throttle), sample);
    std::vector<double> micros;
    micros.reserve(Ticks);
    std::size_t warnings = 0;
    for (int i = 0; i < Ticks; ++i) {
        const double start = ThreadMicros();
        warnings += watch.Tick(i + 1, sample).size();
        micros.push_back(ThreadMicros() - start);
    }
    std::sort(micros.begin(), micros.end());
    const double mean = std::accumulate(micros.begin(), micros.end(), 0.0) / Ticks;
    std::printf("  %-14s %7.1f us mean  %7.1f us median  (%zu limits, %zu alarms, %zu policies, "
                "%zu warnings)\n",
                name, mean, micros[micros.size() / 2], limits, alarms, policies, warnings);
}

// A /proc/interrupts as a server of `cpus` processors lays it out: 60 device rows, then the
// system rows, the error counters among them.
TSystemPaths ManyProcessors(const QString& root, int cpus) {
    QByteArray text = "     ";
    for (int cpu = 0; cpu < cpus; ++cpu) {
        text += QByteArray("CPU") + QByteArray::number(cpu).leftJustified(8);
    }
    text += '\n';
    const auto row = [&text, cpus](const QByteArray& name, const QByteArray& what) {
        text += name.rightJustified(4) + ':';
        for (int cpu = 0; cpu < cpus; ++cpu) {
            text += QByteArray::number(1000 + cpu * 7).rightJustified(11);
        }
        text += "   " + what + '\n';
    };
    for (int irq = 0; irq < 60; ++irq) {
        row(QByteArray::number(irq), "IR-PCI-MSIX-0000:00:00.0  edge  device");
    }
    for (const char* name : {"NMI", "LOC", "SPU", "PMI", "IWI", "RTR", "RES", "CAL", "TLB", "TRM",
                             "THR", "DFR", "MCE", "MCP"}) {
        row(name, "system interrupts");
    }
    QDir().mkpath(root + "/proc");
    QFile file(root + "/proc/interrupts");
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    }
    TSystemPaths paths;
    paths.Sys = root + "/sys";
    paths.Proc = root + "/proc";
    return paths;
}

// Beside ManyProcessors()'s /proc/interrupts, what the warning watch reads on such a server: a
// cpufreq policy per processor, and a coretemp sensor with its limit and alarm per core.
TSystemPaths ThrottleTree(const QString& root, int cpus) {
    const auto write = [](const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        }
    };
    write(root + "/proc/self/status",
          "Cpus_allowed_list:\t0-" + QByteArray::number(cpus - 1) + "\n");
    for (int cpu = 0; cpu < cpus; ++cpu) {
        const QString folder =
            root + QStringLiteral("/sys/devices/system/cpu/cpu%1/cpufreq/").arg(cpu);
        write(folder + "scaling_cur_freq", "3400000\n");
        write(folder + "scaling_max_freq", "4200000\n");
        write(folder + "cpuinfo_max_freq", "4200000\n");
    }
    const QString hwmon = root + "/sys/class/hwmon/hwmon0/";
    write(hwmon + "name", "coretemp\n");
    for (int core = 1; core <= cpus / 2; ++core) {
        const QString temp = hwmon + QStringLiteral("temp%1_").arg(core);
        write(temp + "input", "61000\n");
        write(temp + "label", "Core " + QByteArray::number(core - 1) + "\n");
        write(temp + "crit", "100000\n");
        write(temp + "crit_alarm", "0\n");
    }
    return ManyProcessors(root, cpus);
}

// A run of the benchmark's fifteen workers with one-second ticks for `seconds`, with or without
// the sensors; its score scaled to the benchmark's 180 ticks.
double Score(bool sensorsOn, int seconds, double* sensorMillis) {
    TRunEngine engine;
    if (sensorsOn) {
        engine.Observe(std::make_shared<TMachineObserver>());
    }
    engine.Start(TTestKind::Stress);
    const auto start = Clock::now();
    double spent = 0;
    for (int tick = 1; tick <= seconds; ++tick) {
        std::this_thread::sleep_until(start + tick * TTestPlan::TickInterval);
        const double before = ThreadMicros();
        engine.Tick();
        spent += (ThreadMicros() - before) / 1e3;
    }
    const TRunRecord record = engine.Record();
    engine.Stop();
    *sensorMillis = spent / seconds;
    const auto slowest = *std::min_element(record.Steps.begin(), record.Steps.end());
    return static_cast<double>(slowest) / record.Seconds * TTestPlan::BenchmarkTicks / 100000.0;
}

struct Spread {
    double mean;
    double deviation;
    double median;
};

Spread Of(const std::vector<double>& values) {
    const double mean =
        std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    double squares = 0;
    for (const double value : values) {
        squares += (value - mean) * (value - mean);
    }
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t half = sorted.size() / 2;
    const double median =
        sorted.size() % 2 == 1 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2;
    return {mean,
            std::sqrt(squares / static_cast<double>(std::max<std::size_t>(values.size() - 1, 1))),
            median};
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 4;
    if (seconds < 1 || runs < 1) {
        std::fprintf(stderr, "usage: bench_sensors [seconds per run] [runs of each kind]\n");
        return 2;
    }

    std::printf("one sensor reading (target < 1000 us per tick):\n");
    ReadingCost("this machine", TSystemPaths{});
    ReadingCost("Intel laptop", Fixture("intel-laptop"));
    ReadingCost("AMD desktop", Fixture("amd-desktop"));
    ReadingCost("VM", Fixture("vm"));
    {
        const double start = ThreadMicros();
        const TSystemRecord system = TSystemRecord::Read();
        std::printf("system record, read once per run: %.2f ms of CPU\n",
                    (ThreadMicros() - start) / 1e3);
    }

    std::printf("\none reading of the hardware's error counters, by thread CPU time (twice per "
                "run):\n");
    CounterCost("this machine", TSystemPaths{});
    CounterCost("Intel laptop", Fixture("intel-laptop"));
    CounterCost("AMD desktop", Fixture("amd-desktop"));
    CounterCost("VM", Fixture("vm"));
    QTemporaryDir scratch;
    CounterCost("64 processors", ManyProcessors(scratch.filePath("64"), 64));
    CounterCost("256 processors", ManyProcessors(scratch.filePath("256"), 256));

    std::printf("\none tick of the warning watch, by thread CPU time (every tick):\n");
    WatchCost("this machine", TSystemPaths{});
    WatchCost("Intel laptop", Fixture("intel-laptop"));
    WatchCost("AMD desktop", Fixture("amd-desktop"));
    WatchCost("VM", Fixture("vm"));
    WatchCost("64 processors", ThrottleTree(scratch.filePath("64"), 64));
    WatchCost("256 processors", ThrottleTree(scratch.filePath("256"), 256));

    std::printf("\nbenchmark score with sensors off and on, %d runs each of %d s, interleaved:\n",
                runs, seconds);
    std::vector<double> off;
    std::vector<double> on;
    double tickOff = 0;
    double tickOn = 0;
    for (int run = 0; run < 2 * runs; ++run) {
        // off on on off off on ...: each kind as often first as second.
        const bool sensorsOn = (run % 4 == 1) || (run % 4 == 2);
        double tickMillis = 0;
        const double score = Score(sensorsOn, seconds, &tickMillis);
        (sensorsOn ? on : off).push_back(score);
        (sensorsOn ? tickOn : tickOff) += tickMillis / runs;
        std::printf("  run %2d  sensors %-3s  score %8.1f  tick %.3f ms\n", run + 1,
                    sensorsOn ? "on" : "off", score, tickMillis);
        std::fflush(stdout);
    }
    const Spread a = Of(off);
    const Spread b = Of(on);
    const double difference = b.mean - a.mean;
    // The noise of the difference of two means.
    const double noise = std::sqrt(a.deviation * a.deviation / static_cast<double>(off.size()) +
                                   b.deviation * b.deviation / static_cast<double>(on.size()));
    std::printf("sensors off: mean %.1f +- %.1f (%.2f%%), median %.1f, mean tick %.3f ms\n", a.mean,
                a.deviation, 100 * a.deviation / a.mean, a.median, tickOff);
    std::printf("sensors on:  mean %.1f +- %.1f (%.2f%%), median %.1f, mean tick %.3f ms\n", b.mean,
                b.deviation, 100 * b.deviation / b.mean, b.median, tickOn);
    std::printf("on - off:    %+.1f (%+.2f%%), noise of the difference %.1f: %s\n", difference,
                100 * difference / a.mean, noise,
                std::fabs(difference) <= 2 * noise ? "within noise" : "OUTSIDE the noise");
    return 0;
}
