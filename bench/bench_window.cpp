// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Measures the window at work and prints its figures:
//  1. start-up: constructing the window until it is shown and painted, by the thread's CPU time
//     (and by the clock, which also counts what else the machine runs);
//  2. a whole benchmark on the real one-second timer with fifteen workers loading the machine:
//     wall time of the 180 ticks and the CPU time the window's thread spent meanwhile;
//  3. a stress console that already holds 14,400 lines: the thread CPU time of one more tick
//     (sample line, append, gauge and repaint) and the process's memory then;
//  4. the Monitor tab, shown, after four hours of ticks: the thread CPU time of one more tick
//     (its charts, this machine's processor table, the check's state, and the repaint), A/B
//     interleaved with rounds that only paint.
//
// Usage: bench_window [--skip-benchmark | --monitor]     (offscreen unless QT_QPA_PLATFORM is set;
// --monitor measures 4 only)
#include "MainUnit.h"
#include "TApplication.h"
#include "TMonitor.h"
#include "TReportLog.h"
#include "ThreadClock.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Bench::ThreadSeconds;

double ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

// Closes the message box a completing run shows, as soon as it is up.
void CloseMessageBoxWhenShown(QElapsedTimer& clock, qint64& shownAt) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &clock, &shownAt] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownAt = clock.nsecsElapsed();
            poll->stop();
            poll->deleteLater();
            box->accept();
        }
    });
    poll->start(5);
}

void StressConsole(TMainForm& form);
void Monitor();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const bool monitorOnly = argc > 1 && QByteArray(argv[1]) == "--monitor";
    const bool skipBenchmark =
        monitorOnly || (argc > 1 && QByteArray(argv[1]) == "--skip-benchmark");

    QElapsedTimer startup;
    startup.start();
    const double startupCpu = ThreadSeconds();
    TApplication app(argc, argv);
    TMainForm form;
    form.show();
    QCoreApplication::processEvents();
    form.repaint();
    std::printf("start-up to window shown:        %.1f ms CPU  (target < 500 ms), %.1f ms clock\n",
                (ThreadSeconds() - startupCpu) * 1e3,
                static_cast<double>(startup.nsecsElapsed()) / 1e6);

    if (!skipBenchmark) {
        auto* timer = form.findChild<QTimer*>(QStringLiteral("BenchmarkTimer"));
        // The last second is watched closely for the closing message; before that nothing else
        // runs on the window's thread.
        QElapsedTimer clock;
        qint64 shownAt = 0;
        int ticks = 0; // counted after the window's own handler
        QObject::connect(timer, &QTimer::timeout, &form, [&] {
            if (++ticks == TTestPlan::BenchmarkTicks - 1) {
                CloseMessageBoxWhenShown(clock, shownAt);
            }
        });
        const double cpuBefore = ThreadSeconds();
        clock.start();
        form.Sp1ButtonClick();
        while (shownAt == 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const double cpu = ThreadSeconds() - cpuBefore;
        const double wall = static_cast<double>(shownAt) / 1e9;
        const TReportLog& log = form.ReportLog();
        const QByteArray result = log.Count() > 0 ? log.Line(log.Count() - 1) : QByteArray();
        std::printf("benchmark, 180 ticks:            %.3f s  (target 180 +- 0.5 s), %s\n", wall,
                    result.mid(result.indexOf("Score")).constData());
        std::printf(
            "window thread CPU meanwhile:     %.3f s = %.2f %% of a core  (target <= 1 %%)\n", cpu,
            100.0 * cpu / wall);
    }

    if (!monitorOnly) {
        StressConsole(form);
    }
    Monitor();
    return 0;
}

namespace {

void StressConsole(TMainForm& form) {
    // Stress console: fill it with 14,400 lines through the tick handler, then time the next.
    auto* duration = form.findChild<QComboBox*>(QStringLiteral("timerComboBox"));
    auto* console = form.findChild<QPlainTextEdit*>(QStringLiteral("outputStressTest"));
    duration->setCurrentIndex(duration->count() - 1); // 240 minutes: 14,400 ticks
    // The ticks are driven from here on the run's own clock, as fast as they go; the real timer
    // stays out of it.
    auto now = std::chrono::steady_clock::now();
    form.SetSteadyClock([&now] { return now; });
    form.Sp4ButtonClick();
    auto* timer = form.findChild<QTimer*>(QStringLiteral("StressTestTimer"));
    timer->stop();
    std::vector<double> tail;
    const int lines = 14400;
    for (int tick = 1; tick < lines; ++tick) {
        const double before = ThreadSeconds();
        now += TTestPlan::TickInterval;
        QMetaObject::invokeMethod(timer, "timeout");
        QCoreApplication::processEvents();
        if (tick > lines - 101) {
            tail.push_back((ThreadSeconds() - before) * 1e3);
        }
    }
    // The 14,400th line (the tick that would add it ends the run), then one more, timed, appended
    // the way a tick appends it.
    const QString line = console->document()->lastBlock().text();
    console->appendPlainText(line);
    const int held = console->blockCount();
    const double before = ThreadSeconds();
    console->moveCursor(QTextCursor::End);
    console->appendPlainText(line);
    console->ensureCursorVisible();
    QCoreApplication::processEvents();
    const double append = (ThreadSeconds() - before) * 1e3;
    std::sort(tail.begin(), tail.end());
    std::printf("stress console lines:            %d\n", held);
    std::printf("append to 14,400 lines:          %.3f ms CPU  (target < 2 ms)\n", append);
    std::printf("ticks 14,300-14,399 (median/max): %.3f / %.3f ms CPU\n", tail[tail.size() / 2],
                tail.back());
    std::printf("process memory (VmRSS):          %.1f MiB  (target < 100 MiB)\n", ResidentMiB());
}

void Monitor() {
    // The Monitor: four hours of one tick a second, then rounds of one more tick (A) interleaved
    // with rounds that only paint (B).
    TMonitor monitor;
    monitor.resize(908, 465);
    monitor.show();
    TRunRecord record;
    monitor.Start(record);
    const auto tickRecord = [&record](int tick) {
        record.Seconds = tick;
        record.TicksRun = tick;
        record.SlowestRate = 180000000 + (tick * 7919) % 10000000;
        record.FastestRate = record.SlowestRate + 5000000;
        record.LastSensors.MeanMHz = 3000 + (tick * 31) % 400;
        record.LastSensors.MaxMHz = 3800 + (tick * 17) % 200;
        record.LastSensors.TemperatureC = 70 + std::sin(tick / 60.0) * 10;
        record.LastSensors.PackageWatts = 60 + std::cos(tick / 90.0) * 15;
        record.Check.Blocks = tick * 30;
        record.Check.Checked = tick * 29;
    };
    int tick = 0;
    for (; tick < 4 * 3600; ++tick) {
        tickRecord(tick);
        monitor.Tick(record);
    }
    QCoreApplication::processEvents();
    std::vector<double> withTick;
    std::vector<double> paintOnly;
    for (int round = 0; round < 200; ++round) {
        const bool a = round % 2 == 0;
        tickRecord(++tick);
        const double before = ThreadSeconds();
        if (a) {
            monitor.Tick(record);
        } else {
            monitor.update();
        }
        monitor.repaint();
        QCoreApplication::processEvents();
        (a ? withTick : paintOnly).push_back((ThreadSeconds() - before) * 1e3);
    }
    std::sort(withTick.begin(), withTick.end());
    std::sort(paintOnly.begin(), paintOnly.end());
    const auto mean = [](const std::vector<double>& times) {
        double sum = 0;
        for (const double time : times) {
            sum += time;
        }
        return sum / static_cast<double>(times.size());
    };
    std::printf("monitor tick + paint (median):   %.3f ms CPU; paint only %.3f ms\n",
                withTick[withTick.size() / 2], paintOnly[paintOnly.size() / 2]);
    // The mean counts the rare ticks that merge a line's points.
    std::printf("monitor at one tick a second:    %.3f %% of a core (mean %.3f ms, paint only "
                "%.3f ms)  (target < 1 %%)\n",
                mean(withTick) / 10.0, mean(withTick), mean(paintOnly));
}

} // namespace
