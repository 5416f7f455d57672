// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The rules of a run, as both programs get them from the engine: lengths, progress, the check
// against the known answer, the completion and the record.
#include "ResultLines.h"
#include "RunObservers.h"
#include "RunSummary.h"
#include "SThreadUnit.h"
#include "TFakeWorker.h"
#include "TRunEngine.h"
#include "TTickLoop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstring>
#include <map>

namespace {

// The failure as users read it: workers count from 1.
QString Reason(int slot) {
    return QStringLiteral("computation error in worker %1").arg(slot + 1);
}

const QDateTime Started(QDate(2024, 3, 5), QTime(14, 4, 9));
const QDateTime Ended(QDate(2024, 3, 5), QTime(14, 7, 9));
const QString At = QStringLiteral("05/03/2024 14:07:09"); // Ended, written en_GB

// An engine on stand-in workers, with a clock that reads Started at the first call and Ended
// after it.
struct Bench {
    TFakeWorkers workers;
    int clockReads = 0;
    TRunEngine engine;

    explicit Bench(int workerCount = TTestPlan::WorkerCount)
        : engine(
              workers.Factory(), workerCount,
              [this] { return clockReads++ == 0 ? Started : Ended; },
              TFormatSettings::FromLocale(QLocale(QStringLiteral("en_GB")))) {
        workers.prepare = [](TFakeWorker& worker, int slot) {
            worker.Settle();
            worker.divisor = 3 + 2 * slot;
        };
    }
    // Every worker does a division before each tick, as healthy workers do; otherwise they
    // stand still (a lone worker that does is stalled).
    bool moving = false;
    // Ticks until the run ends or `ticks` have passed; returns the ticks done.
    int TickUntilEnd(int ticks) {
        for (int tick = 1; tick <= ticks; ++tick) {
            for (const auto& worker : workers.made) {
                worker->count += moving ? 1 : 0;
            }
            if (engine.Tick() != TRunEngine::TTickResult::Running) {
                return tick;
            }
        }
        return ticks;
    }
};

// Says whether the machine is being kept awake, and how often it was asked to be.
struct TInhibitorProbe final : TSleepInhibitor {
    bool held = false;
    int holds = 0;
    void Hold() noexcept override {
        held = true;
        ++holds;
    }
    void Release() noexcept override { held = false; }
};

// Writes down the steps of the run it is told of; refuses the run when asked to.
struct TStepProbe final : TRunObserver {
    TStepProbe(QStringList& log, QString probeName, bool refusing = false)
        : steps(log), name(std::move(probeName)), refuse(refusing) {}
    void Starting(TRunRecord&) override {
        steps << name + " starting";
        if (refuse) {
            throw std::runtime_error("refused");
        }
    }
    void StartFailed() noexcept override { steps << name + " not started"; }
    void Started(TRunRecord&, const QDateTime&) override { steps << name + " started"; }
    void Ticked(TRunRecord& record, double, bool last) override {
        steps << name + QStringLiteral(" tick %1%2").arg(record.TicksRun).arg(last ? " last" : "");
    }
    void Stopping(TRunRecord&) override { steps << name + " stopping"; }
    void Ended(const TRunRecord&) override { steps << name + " ended"; }
    QStringList& steps;
    QString name;
    bool refuse;
};

} // namespace

class TestRunEngine : public QObject {
    Q_OBJECT
private slots:
    void durations();
    void tickSchedule_data();
    void tickSchedule();
    void lengthAndProgress_data();
    void lengthAndProgress();
    void benchmarkScoresTheSlowestWorker_data();
    void benchmarkScoresTheSlowestWorker();
    void stressRunCompletes();
    void stalledOrStarved_data();
    void stalledOrStarved();
    void lateOrPaused_data();
    void lateOrPaused();
    void starvedWorkersNote();
    void firstWorkerOffThePathFailsTheRun_data();
    void firstWorkerOffThePathFailsTheRun();
    void startOverAnActiveRunEndsItWithoutAResult();
    void refusedWorkerLeavesTheEngineIdle();
    void stopInterrupts();
    void stopEndsAnOpenEndedRun();
    void workerCounts_data();
    void workerCounts();
    void workersChangeBetweenRuns();
    void resultSaysWhatWasChecked_data();
    void resultSaysWhatWasChecked();
    void summarySaysWhatTheMachineDid_data();
    void summarySaysWhatTheMachineDid();
    void journalAndLockFollowTheRun_data();
    void journalAndLockFollowTheRun();
    void runLockedByAnotherEngineStartsNothing();
    void partsToldInTurn_data();
    void partsToldInTurn();
    void realWorkersPassTheCheck();
};

void TestRunEngine::durations() {
    const auto& list = TTestPlan::Durations();
    QCOMPARE(int(list.size()), 12);
    const QStringList texts{"20min",         "40min",         "60min (1hrs)", "80min",
                            "100min",        "120min (2hrs)", "140min",       "160min",
                            "180min (3hrs)", "200min",        "220min",       "240min (4hrs)"};
    for (int i = 0; i < 12; ++i) {
        const auto& entry = list[static_cast<std::size_t>(i)];
        QCOMPARE(entry.Text, texts[i]);
        QCOMPARE(entry.Minutes, 20 * (i + 1));
        QCOMPARE(entry.Ticks, 1200 * (i + 1)); // one tick a second
        QCOMPARE(TTestPlan::StressTicks(i), entry.Ticks);
    }
}

void TestRunEngine::tickSchedule_data() {
    QTest::addColumn<int>("lengthMs");
    QTest::addColumn<QList<int>>("wakes"); // ms after the start
    // ms the thread was running or ready to run since the wake before; none: the system does
    // not say
    QTest::addColumn<QList<int>>("awake");
    QTest::addColumn<QList<bool>>("due");
    QTest::addColumn<int>("pausedMs");
    QTest::addColumn<int>("nextMs");
    const QList<int> unknown;
    QTest::newRow("on time") << 1000 << QList<int>{1000, 2000, 3000} << unknown
                             << QList<bool>{true, true, true} << 0 << 4000;
    QTest::newRow("early") << 1000 << QList<int>{999} << unknown << QList<bool>{false} << 0 << 1000;
    // Each tick's work takes 300 ms: the deadlines do not move by it.
    QTest::newRow("late by each tick's work") << 1000 << QList<int>{1300, 2300, 3300} << unknown
                                              << QList<bool>{true, true, true} << 0 << 4000;
    QTest::newRow("late by less than a tick")
        << 1000 << QList<int>{1900, 2000} << unknown << QList<bool>{true, true} << 0 << 3000;
    // kill -STOP, and kill -CONT 15 s later: no tick for the seconds stopped, the tick's second
    // starts again when the process runs.
    QTest::newRow("stopped for 15 s") << 1000 << QList<int>{1000, 17000, 17500, 18000} << unknown
                                      << QList<bool>{true, false, false, true} << 15000 << 19000;
    // Ready to run all along: every second that passed is a tick, due one after the other.
    QTest::newRow("15 s late on a busy machine")
        << 1000 << QList<int>{1000, 17000, 17000} << QList<int>{0, 15000, 0}
        << QList<bool>{true, true, true} << 0 << 4000;
    QTest::newRow("stopped 10 s, then 5 s waiting for a processor")
        << 1000 << QList<int>{1000, 17000} << QList<int>{0, 5000} << QList<bool>{true, false}
        << 10000 << 18000;
    QTest::newRow("a 100 ms tick woken 300 ms late")
        << 100 << QList<int>{400, 400, 400, 400, 400} << QList<int>{0, 0, 0, 0, 0}
        << QList<bool>{true, true, true, true, false} << 0 << 500;
}

void TestRunEngine::tickSchedule() {
    QFETCH(int, lengthMs);
    QFETCH(QList<int>, wakes);
    QFETCH(QList<int>, awake);
    QFETCH(QList<bool>, due);
    QFETCH(int, pausedMs);
    QFETCH(int, nextMs);
    using std::chrono::milliseconds;
    const TTickSchedule::Clock::time_point start{std::chrono::hours(5)};
    TTickSchedule schedule(milliseconds(lengthMs), start);
    QList<bool> found;
    for (qsizetype i = 0; i < wakes.size(); ++i) {
        found.append(
            schedule.Due(start + milliseconds(wakes[i]),
                         awake.isEmpty() ? std::nullopt : std::optional(milliseconds(awake[i]))));
    }
    QCOMPARE(found, due);
    QCOMPARE(schedule.Paused(), std::chrono::milliseconds(pausedMs));
    QCOMPARE(schedule.Deadline(), start + std::chrono::milliseconds(nextMs));
}

void TestRunEngine::lengthAndProgress_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("changeTo"); // the duration chosen after changeAfterTick, or -1
    QTest::addColumn<int>("changeAfterTick");
    QTest::addColumn<QList<int>>("progressAt"); // pairs of tick, progress
    QTest::addColumn<int>("completesAt");
    QTest::newRow("benchmark") << false << 0 << -1 << 0
                               << QList<int>{1, 0, 2, 1, 89, 49, 90, 50, 179, 99, 180, 100} << 180;
    QTest::newRow("20min reaches 1% at tick 12")
        << true << 0 << -1 << 0 << QList<int>{11, 0, 12, 1, 1199, 99} << 1200;
    QTest::newRow("60min (1hrs)") << true << 2 << -1 << 0 << QList<int>{3599, 99} << 3600;
    // Shortened below the ticks already done: it completes at the next tick, showing 125.
    QTest::newRow("40min changed to 20min after tick 1500")
        << true << 1 << 0 << 1500 << QList<int>{1500, 62, 1501, 125} << 1501;
    QTest::newRow("20min lengthened to 40min after tick 600")
        << true << 0 << 1 << 600 << QList<int>{600, 50, 601, 25} << 2400;
}

void TestRunEngine::lengthAndProgress() {
    QFETCH(bool, stress);
    QFETCH(int, entry);
    QFETCH(int, changeTo);
    QFETCH(int, changeAfterTick);
    QFETCH(QList<int>, progressAt);
    QFETCH(int, completesAt);
    std::map<int, int> expected;
    for (int i = 0; i + 1 < progressAt.size(); i += 2) {
        expected[progressAt[i]] = progressAt[i + 1];
    }
    Bench bench;
    bench.engine.Start(stress ? TTestKind::Stress : TTestKind::Benchmark, entry);
    QCOMPARE(bench.engine.TickCount(), 0);
    for (int tick = 1; tick < completesAt; ++tick) {
        QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Running);
        QCOMPARE(bench.engine.TickCount(), tick);
        if (auto it = expected.find(tick); it != expected.end()) {
            QCOMPARE(bench.engine.Progress(), it->second);
        }
        if (tick == changeAfterTick) {
            bench.engine.SetDurationIndex(changeTo);
        }
    }
    QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Completed);
    if (auto it = expected.find(completesAt); it != expected.end()) {
        QCOMPARE(bench.engine.Progress(), it->second);
    }
    QVERIFY(!bench.engine.Active());
    QCOMPARE(bench.engine.TickCount(), 0);
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(record.TicksRun, completesAt);
    QCOMPARE(record.Ticks, stress ? TTestPlan::StressTicks(changeTo >= 0 ? changeTo : entry) : 180);
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bench.engine.Tick());
}

void TestRunEngine::benchmarkScoresTheSlowestWorker_data() {
    QTest::addColumn<QList<qint64>>("counts"); // per slot; the rest keep 900,000,000
    QTest::addColumn<qint64>("score");
    QTest::newRow("slowest first") << QList<qint64>{431299999} << qint64(4312);
    QList<qint64> ties(14, 432100000);
    ties.append(432100000);
    ties[3] = 500000000;
    QTest::newRow("slowest last, ties") << ties << qint64(4321);
}

// The score is the lowest of divisions div 100,000, each read as that worker is stopped; the
// result line, the record and the last score agree.
void TestRunEngine::benchmarkScoresTheSlowestWorker() {
    QFETCH(QList<qint64>, counts);
    QFETCH(qint64, score);
    Bench bench;
    bench.engine.Start(TTestKind::Benchmark);
    const auto workers = bench.workers.Last(15);
    for (int slot = 0; slot < 15; ++slot) {
        workers[static_cast<std::size_t>(slot)]->count =
            slot < counts.size() ? counts[slot] : 900000000;
    }
    QCOMPARE(bench.TickUntilEnd(179), 179);
    QCOMPARE(bench.engine.BenchmarkScore(), 0);
    for (const auto& worker : workers) {
        QVERIFY(!worker->stopped);
    }
    QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Completed);
    for (const auto& worker : workers) {
        QVERIFY(worker->stopped);
    }
    QCOMPARE(bench.engine.BenchmarkScore(), score);
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Completed);
    QCOMPARE(record.Score, score);
    QCOMPARE(record.Start, Started);
    QCOMPARE(record.End, Ended);
    QCOMPARE(record.ResultLine(), BenchmarkResultLine(At, score));
    QCOMPARE(record.Steps.size(), std::size_t(15));
    QCOMPARE(record.Steps[0], workers[0]->count);

    // The next benchmark starts from a score of 0; a stress run keeps the last score.
    bench.engine.Start(TTestKind::Stress);
    QCOMPARE(bench.engine.BenchmarkScore(), score);
    bench.engine.Start(TTestKind::Benchmark);
    QCOMPARE(bench.engine.BenchmarkScore(), 0);
}

void TestRunEngine::stressRunCompletes() {
    Bench bench;
    bench.engine.Start(TTestKind::Stress, 2);
    QCOMPARE(bench.TickUntilEnd(5000), 3600);
    for (const auto& worker : bench.workers.Last(15)) {
        QVERIFY(worker->stopped);
    }
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Completed);
    QCOMPARE(record.DurationText, QStringLiteral("60min (1hrs)"));
    QCOMPARE(record.ResultLine(), StressResultLine(At, "60min (1hrs)"));
}

void TestRunEngine::stalledOrStarved_data() {
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("cpuUs"); // the first worker's processor time each tick; -1: unknown
    // The tick that fails the run, 0: the 20-tick run completes. Every worker moves at the first
    // tick (to the prime), then the first stands still.
    QTest::addColumn<int>("failsAt");
    QTest::newRow("processor time: stalled") << 2 << 50000 << 11;
    QTest::newRow("nearly none: starved, the run goes on") << 2 << 900 << 0;
    QTest::newRow("unknown: stalled while the others move") << 2 << -1 << 11;
    QTest::newRow("lone worker without: starved") << 1 << 0 << 0;
}

// A worker that does no division is stalled only when it had the processor: one the machine
// gave no time to fails nothing, and the record says how long it was held.
void TestRunEngine::stalledOrStarved() {
    QFETCH(int, workers);
    QFETCH(int, cpuUs);
    QFETCH(int, failsAt);
    Bench bench(workers);
    auto now = std::chrono::steady_clock::time_point(std::chrono::hours(3));
    bench.engine.SetSteadyClock([&now] { return now; });
    bench.engine.StartStress(20, QStringLiteral("20s"));
    TFakeWorker& still = *bench.workers.made.front();
    if (cpuUs >= 0) {
        still.cpu = std::chrono::nanoseconds::zero();
    }
    int tick = 0;
    do {
        now += std::chrono::seconds(1);
        for (const auto& worker : bench.workers.made) {
            worker->count += &*worker == &still ? 0 : 1000;
        }
        still.cpu = still.cpu ? *still.cpu + std::chrono::microseconds(cpuUs) : still.cpu;
        ++tick;
    } while (bench.engine.Tick() == TRunEngine::TTickResult::Running);
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(tick, failsAt > 0 ? failsAt : 20);
    QCOMPARE(record.Outcome,
             failsAt > 0 ? TRunRecord::TOutcome::Failed : TRunRecord::TOutcome::Completed);
    QCOMPARE(record.StarvedSeconds.front(), failsAt > 0 ? 0.0 : 19.0);
}

void TestRunEngine::lateOrPaused_data() {
    QTest::addColumn<bool>("benchmark"); // or 10 s of stress; late by 15 s at the 3rd or 180th
    QTest::addColumn<bool>("stopped");   // then, or ready to run on a busy machine
    QTest::addColumn<QByteArray>("note");
    // The tick under way when the process stopped starts again: its second is late.
    QTest::newRow("stopped")
        << false << true
        << QByteArray("the run took 26.0 s for 10.0 s: 1.0 s late (ticks kept waiting, or cut "
                      "short by a stop), 15.0 s paused (the process was stopped)");
    QTest::newRow("kept from running")
        << false << false
        << QByteArray("the run took 18.0 s for 10.0 s: 8.0 s late (ticks kept waiting, or cut "
                      "short by a stop)");
    // 15 s in 195 is no word.
    QTest::newRow("benchmark, its last tick") << true << false << QByteArray();
}

// A late tick is paused only for the time the process did not run: the rates are of the time
// the workers ran, and the score of the planned length.
void TestRunEngine::lateOrPaused() {
    QFETCH(bool, benchmark);
    QFETCH(bool, stopped);
    QFETCH(QByteArray, note);
    using namespace std::chrono;
    constexpr std::int64_t rate = 10000000; // divisions a second while the process runs
    const int lateAt = benchmark ? 180 : 3;
    Bench bench(2);
    const auto start = steady_clock::time_point(hours(3));
    auto now = start;
    steady_clock::duration awake{};
    steady_clock::duration stop{};
    bench.engine.SetSteadyClock([&now] { return now; });
    bench.engine.SetAwakeClock([&awake] { return awake; });
    benchmark ? bench.engine.Start(TTestKind::Benchmark)
              : bench.engine.StartStress(10, QStringLiteral("10s"));
    std::int64_t rateAfterLate = -1;
    TTickLoop loop(bench.engine);
    for (int wake = 1; bench.engine.Active(); ++wake) {
        now = std::max(now, loop.Deadline());
        if (wake == lateAt) {
            now += 15s;
            (stopped ? stop : awake) += 15s;
        }
        for (const auto& worker : bench.workers.made) {
            worker->count = rate * duration_cast<milliseconds>(now - start - stop).count() / 1000;
        }
        loop.Wake({nullptr, [&](TTickLoop::TResult) {
                       rateAfterLate = wake >= lateAt && rateAfterLate < 0
                                           ? bench.engine.Record().SlowestRate
                                           : rateAfterLate;
                   }});
        // Late: the next tick is due at once; paused: a whole length on.
        if (wake == lateAt && bench.engine.Active()) {
            QCOMPARE(loop.Wait(), stopped ? TTestPlan::TickInterval : milliseconds(0));
        }
    }
    QCOMPARE(rateAfterLate, rate);
    QCOMPARE(bench.engine.BenchmarkScore(), benchmark ? 180 * rate / TWorker::ScoreUnit : 0);
    QByteArrayList notes = bench.engine.Record().Notes();
    notes.removeAll(bench.engine.Record().CheckLine()); // the stand-ins publish no block
    QCOMPARE(notes.value(0), note);
}

// Beyond a few, starved workers are a busy machine: one line says how many and how long.
void TestRunEngine::starvedWorkersNote() {
    TRunRecord record;
    record.StarvedSeconds = {0.5, 2, 3, 4, 10};
    QCOMPARE(record.Notes(), QByteArrayList{"starved, not stalled (given no processor time): 4 "
                                            "workers for 2.0 s to 10.0 s (the longest worker 5)"});
}

void TestRunEngine::firstWorkerOffThePathFailsTheRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<QList<int>>("offPath");
    QTest::addColumn<bool>("word"); // a word of their memory read back wrong instead
    QTest::addColumn<int>("failed");
    QTest::newRow("benchmark, worker 7") << false << QList<int>{7} << false << 7;
    QTest::newRow("stress, workers 14 and 3: the first slot")
        << true << QList<int>{14, 3} << false << 3;
    // Its block may never be compared: the word alone fails the run.
    QTest::newRow("stress, worker 5's memory") << true << QList<int>{5} << true << 5;
}

// A worker that leaves the known path, or whose memory reads back wrong, ends the run at the
// tick that sees it, with the failed line; nothing is scored.
void TestRunEngine::firstWorkerOffThePathFailsTheRun() {
    QFETCH(bool, stress);
    QFETCH(QList<int>, offPath);
    QFETCH(bool, word);
    QFETCH(int, failed);
    Bench bench;
    bench.engine.Start(stress ? TTestKind::Stress : TTestKind::Benchmark);
    const auto workers = bench.workers.Last(15);
    QCOMPARE(bench.TickUntilEnd(3), 3);
    for (const int slot : offPath) {
        auto& worker = *workers[static_cast<std::size_t>(slot)];
        if (word) {
            worker.word = TWordFault{0x1000, 64, 8};
        } else {
            worker.candidate = TVerifier::KnownPrime - 2;
        }
    }
    QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Failed);
    QVERIFY(!bench.engine.Active());
    QCOMPARE(bench.engine.TickCount(), 0);
    for (const auto& worker : workers) {
        QVERIFY(worker->stopped);
    }
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Failed);
    QCOMPARE(record.Failure->Worker.value_or(-1), failed);
    QCOMPARE(record.TicksRun, 4);
    QCOMPARE(bench.engine.BenchmarkScore(), 0);
    const QString reason =
        word ? QStringLiteral("memory error in worker %1 at 0x1000 (bits 0000000000000008)")
                   .arg(failed + 1)
             : Reason(failed);
    QCOMPARE(record.ResultLine(),
             stress ? StressFailedLine(At, "20min", reason) : BenchmarkFailedLine(At, reason));
}

void TestRunEngine::startOverAnActiveRunEndsItWithoutAResult() {
    Bench bench;
    bench.engine.Start(TTestKind::Stress);
    bench.TickUntilEnd(12);
    const auto first = bench.workers.Last(15);
    bench.engine.Start(TTestKind::Benchmark);
    for (const auto& worker : first) {
        QVERIFY(worker->stopped);
    }
    QCOMPARE(bench.workers.made.size(), std::size_t(30));
    for (const auto& worker : bench.workers.Last(15)) {
        QVERIFY(!worker->stopped);
    }
    QVERIFY(bench.engine.Active());
    QCOMPARE(bench.engine.Kind(), TTestKind::Benchmark);
    QCOMPARE(bench.engine.TickCount(), 0);
    QCOMPARE(bench.engine.Record().Outcome, TRunRecord::TOutcome::Running);
}

void TestRunEngine::refusedWorkerLeavesTheEngineIdle() {
    Bench bench;
    bench.engine.Start(TTestKind::Benchmark);
    bench.TickUntilEnd(5);
    bench.workers.refuseAt = 15 + 9;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, bench.engine.Start(TTestKind::Stress));
    QVERIFY(!bench.engine.Active());
    QCOMPARE(bench.engine.TickCount(), 0);
    // Nothing runs: neither the run before nor the nine workers of the refused start.
    for (const auto& worker : bench.workers.made) {
        QVERIFY(worker->stopped);
    }
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bench.engine.Tick());
}

// Stopped, an open-ended run checks what its workers did since the last tick.
void TestRunEngine::stopEndsAnOpenEndedRun() {
    Bench bench(2);
    bench.engine.StartStress(0, {});
    QCOMPARE(bench.TickUntilEnd(3), 3);
    bench.workers.made[1]->word = TWordFault{0x2000, 8, 1};
    bench.engine.Stop(SIGINT);
    QCOMPARE(bench.engine.Record().Outcome, TRunRecord::TOutcome::Failed);
    QCOMPARE(bench.engine.Record().Failure->Worker.value_or(-1), 1);
}

void TestRunEngine::stopInterrupts() {
    Bench bench;
    bench.engine.Start(TTestKind::Stress, 11);
    bench.TickUntilEnd(30);
    bench.engine.Stop(15);
    QVERIFY(!bench.engine.Active());
    for (const auto& worker : bench.workers.made) {
        QVERIFY(worker->stopped);
    }
    const TRunRecord& record = bench.engine.Record();
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Interrupted);
    QCOMPARE(record.Signal, 15);
    QCOMPARE(record.TicksRun, 30);
    QCOMPARE(record.DurationText, QStringLiteral("240min (4hrs)"));
}

void TestRunEngine::workerCounts_data() {
    QTest::addColumn<int>("workers");
    QTest::addColumn<QByteArray>("suffix");
    QTest::newRow("one") << 1 << QByteArray(" (1 worker, 0 of 0 blocks checked)");
    QTest::newRow("two") << 2 << QByteArray(" (2 workers)");
    QTest::newRow("fifteen, the window's") << 15 << QByteArray();
    QTest::newRow("sixty-four") << 64 << QByteArray(" (64 workers)");
    QTest::newRow("the most") << 1024 << QByteArray(" (1024 workers)");
}

// Every worker is started, checked and scored; the result line names a count other than
// fifteen, since scores compare only at equal counts.
void TestRunEngine::workerCounts() {
    QFETCH(int, workers);
    QFETCH(QByteArray, suffix);
    Bench bench(workers);
    bench.moving = true;
    bench.engine.Start(TTestKind::Benchmark);
    QCOMPARE(bench.workers.made.size(), std::size_t(workers));
    std::string sample;
    for (int slot = 0; slot < workers; ++slot) {
        sample += "  " + std::to_string(3 + 2 * slot);
    }
    QCOMPARE(bench.engine.SampleLine(), sample);
    // Every worker has done 2,461,782 divisions but the last, which is faster.
    bench.workers.made.back()->count = 7654321;
    const std::int64_t score = workers == 1 ? 76 : 24;
    QCOMPARE(bench.TickUntilEnd(180), 180);
    QCOMPARE(bench.engine.BenchmarkScore(), score);
    QCOMPARE(bench.engine.Record().ResultLine(), BenchmarkResultLine(At, score) + suffix);
    QCOMPARE(bench.engine.Record().Steps.size(), std::size_t(workers));
    QCOMPARE(bench.engine.Record().Workers, workers);

    // The last worker off the path is caught like the first.
    bench.engine.Start(TTestKind::Stress);
    bench.TickUntilEnd(2);
    bench.workers.made.back()->found = true;
    QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Failed);
    QCOMPARE(bench.engine.Record().Failure->Worker.value_or(-1), workers - 1);

    for (const int bad : {0, TRunEngine::MaxWorkerCount + 1}) {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, TRunEngine(bench.workers.Factory(), bad));
    }
}

// A front end's choice of workers holds from the next start; a run keeps the ones it started.
void TestRunEngine::workersChangeBetweenRuns() {
    Bench bench(2);
    bench.engine.Start(TTestKind::Stress);
    TFakeWorkers others;
    QVERIFY_THROWS_EXCEPTION(std::logic_error, bench.engine.SetWorkers(others.Factory(), 3));
    bench.engine.Stop();
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, bench.engine.SetWorkers(others.Factory(), 0));
    bench.engine.SetWorkers(others.Factory(), 3);
    bench.engine.Start(TTestKind::Stress);
    QCOMPARE(bench.workers.made.size(), std::size_t(2));
    QCOMPARE(others.made.size(), std::size_t(3));
    QCOMPARE(bench.engine.Record().Workers, 3);
    // One per processor, as many as a run takes.
    QCOMPARE(TRunEngine::PerCpuWorkers({0, 2, 5}), 3);
    QCOMPARE(TRunEngine::PerCpuWorkers(std::vector<int>(2000)), TRunEngine::MaxWorkerCount);
}

void TestRunEngine::resultSaysWhatWasChecked_data() {
    QTest::addColumn<int>("workers");
    QTest::addColumn<QList<qint64>>("check"); // blocks received, checked, missed
    QTest::addColumn<QByteArray>("suffix");   // of the result line
    QTest::addColumn<QByteArray>("line");     // after it
    QTest::newRow("all checked") << 15 << QList<qint64>{30, 30, 0} << QByteArray() << QByteArray();
    QTest::newRow("half checked, some missed")
        << 2 << QList<qint64>{20, 15, 10} << QByteArray(" (2 workers)")
        << QByteArray("10 blocks were not checked: read too late from the workers");
    QTest::newRow("a lone worker")
        << 1 << QList<qint64>{800, 12, 0} << QByteArray(" (1 worker, 12 of 800 blocks checked)")
        << QByteArray("only 12 of 800 blocks (1.5%) were checked: more workers, or cycle, check "
                      "more");
    QTest::newRow("stopped before the first block")
        << 15 << QList<qint64>{0, 0, 0} << QByteArray()
        << QByteArray("nothing was checked: the run ended before a block was compared, so this "
                      "is no verified pass");
}

void TestRunEngine::resultSaysWhatWasChecked() {
    QFETCH(int, workers);
    QFETCH(QList<qint64>, check);
    QFETCH(QByteArray, suffix);
    QFETCH(QByteArray, line);
    TRunRecord record = TRunEngine::PlannedRecord(TTestKind::Stress, workers, 0);
    record.Outcome = TRunRecord::TOutcome::Completed;
    record.EndText = At;
    record.Check = {check[0], check[1], 0, check[2]};
    QCOMPARE(record.ResultLine(), StressResultLine(At, "20min") + suffix);
    QCOMPARE(record.CheckLine(), line);
}

void TestRunEngine::summarySaysWhatTheMachineDid_data() {
    QTest::addColumn<QList<double>>("sensors"); // min, mean, max MHz and hottest; NaN: unknown
    QTest::addColumn<QList<qint64>>("check");   // blocks received, checked, missed
    QTest::addColumn<QByteArrayList>("lines");
    const double none = std::nan("");
    QTest::newRow("every figure, two warnings")
        << QList<double>{3240, 3949, 4100, 95.4} << QList<qint64>{1000, 998, 0}
        << QByteArrayList{"clock 3.2/3.9/4.1 GHz (min/mean/max), hottest 95 \u00b0C, 99.8 % of "
                          "blocks checked",
                          "warning: CPU 2 reached 100 \u00b0C", "warning: the clock fell"};
    // Not all checked is never shown as all.
    QTest::newRow("no clock, nearly all checked")
        << QList<double>{none, none, none, 60} << QList<qint64>{9999, 9999, 1}
        << QByteArrayList{"hottest 60 \u00b0C, 99.9 % of blocks checked"};
    QTest::newRow("no sensors") << QList<double>{} << QList<qint64>{0, 0, 0}
                                << QByteArrayList{"0.0 % of blocks checked"};
}

void TestRunEngine::summarySaysWhatTheMachineDid() {
    QFETCH(QList<double>, sensors);
    QFETCH(QList<qint64>, check);
    QFETCH(QByteArrayList, lines);
    TRunRecord record = TRunEngine::PlannedRecord(TTestKind::Stress, 2, 0);
    if (!sensors.isEmpty()) {
        const auto known = [](double value) {
            return std::isnan(value) ? std::nullopt : std::optional<double>(value);
        };
        record.Sensors.emplace();
        record.Sensors->MinMHz = known(sensors[0]);
        record.Sensors->MeanMHz = known(sensors[1]);
        record.Sensors->MaxMHz = known(sensors[2]);
        record.Sensors->MaxTemperatureC = known(sensors[3]);
    }
    record.Check = {check[0], check[1], 0, check[2]};
    for (const QByteArray& line : lines.mid(1)) {
        record.Warnings.push_back({TWarning::TKind::Temperature, 2, 1.5,
                                   QString::fromUtf8(line.mid(qsizetype(strlen("warning: "))))});
    }
    QCOMPARE(RunSummary::Lines(record), lines);
}

void TestRunEngine::journalAndLockFollowTheRun_data() {
    QTest::addColumn<QString>("end"); // how the run ends
    QTest::addColumn<bool>("result"); // the journal keeps the result line
    QTest::newRow("completed") << "completed" << true;
    QTest::newRow("failed") << "failed" << true;
    QTest::newRow("stopped") << "stopped" << false;
    QTest::newRow("started over") << "started over" << false;
}

// The journal says how far the run got, every ten ticks; a run stopped takes it along, a run
// with a result leaves that line in it for the front end to remove once the line is on disk.
// The run lock and the sleep inhibitor are held exactly as long as the run.
void TestRunEngine::journalAndLockFollowTheRun() {
    QFETCH(QString, end);
    QFETCH(bool, result);
    QTemporaryDir dir;
    auto journal = std::make_shared<TRunJournal>(dir.filePath("state/run.journal"));
    auto lock = std::make_shared<TRunLock>(dir.filePath("run.lock"));
    Bench bench;
    bench.engine.Observe(std::make_shared<TJournalObserver>(journal));
    bench.engine.Observe(std::make_shared<TLockObserver>(lock));
    auto awake = std::make_shared<TInhibitorProbe>();
    bench.engine.Observe(std::make_shared<TInhibitorObserver>(awake));
    bench.engine.Start(TTestKind::Stress, 2);
    QVERIFY(lock->Held());
    QVERIFY(awake->held);
    auto entry = journal->Read();
    QVERIFY(entry.has_value());
    QCOMPARE(entry->Test, TTestKind::Stress);
    QCOMPARE(entry->DurationText, QStringLiteral("60min (1hrs)"));
    QCOMPARE(entry->Ticks, 0);
    QCOMPARE(entry->Start, Started);
    QCOMPARE(entry->Updated, Ended);
    for (const auto& [ticks, recorded] :
         std::vector<std::pair<int, int>>{{9, 0}, {1, 10}, {25, 30}}) {
        bench.TickUntilEnd(ticks);
        QCOMPARE(journal->Read()->Ticks, recorded);
    }
    if (end == "completed") {
        bench.engine.SetDurationIndex(0);
        QCOMPARE(bench.TickUntilEnd(2000), 1200 - 35);
    } else if (end == "failed") {
        bench.TickUntilEnd(1);
        bench.workers.made.front()->found = true;
        QCOMPARE(bench.engine.Tick(), TRunEngine::TTickResult::Failed);
    } else if (end == "stopped") {
        bench.engine.Stop();
    } else {
        bench.engine.Start(TTestKind::Benchmark);
        QVERIFY(lock->Held());
        QVERIFY(awake->held);
        QCOMPARE(journal->Read()->Test, TTestKind::Benchmark);
        bench.engine.Stop();
    }
    QCOMPARE(QFile::exists(journal->Path()), result);
    if (result) {
        const auto last = journal->Read();
        QVERIFY(last.has_value());
        QCOMPARE(last->Result, bench.engine.Record().ResultLine());
        QCOMPARE(TRunJournal::Line(*last, bench.engine.FormatSettings()),
                 bench.engine.Record().ResultLine());
    }
    QVERIFY(!lock->Held());
    QVERIFY(!awake->held);
    QCOMPARE(awake->holds, end == "started over" ? 2 : 1);
}

// Another process's run, here an engine on another handle of the same lock file: a start is
// refused with its process id, no worker is made and the machine is not kept awake.
void TestRunEngine::runLockedByAnotherEngineStartsNothing() {
    QTemporaryDir dir;
    Bench first;
    first.engine.Observe(
        std::make_shared<TLockObserver>(std::make_shared<TRunLock>(dir.filePath("run.lock"))));
    Bench second;
    auto lock = std::make_shared<TRunLock>(dir.filePath("run.lock"));
    second.engine.Observe(std::make_shared<TLockObserver>(lock));
    auto awake = std::make_shared<TInhibitorProbe>();
    second.engine.Observe(std::make_shared<TInhibitorObserver>(awake));
    first.engine.Start(TTestKind::Stress);
    try {
        second.engine.Start(TTestKind::Benchmark);
        QFAIL("started under another run's lock");
    } catch (const ERunLocked& locked) {
        QCOMPARE(locked.Pid(), QCoreApplication::applicationPid());
        QCOMPARE(QString::fromUtf8(locked.what()),
                 QStringLiteral("Another test is running (process %1).")
                     .arg(QCoreApplication::applicationPid()));
    }
    QVERIFY(!second.engine.Active());
    QVERIFY(second.workers.made.empty());
    QVERIFY(!lock->Held());
    QCOMPARE(awake->holds, 0);
    first.engine.Stop();
    second.engine.Start(TTestKind::Benchmark);
    QVERIFY(lock->Held());
    // A refused worker gives the lock back.
    second.engine.Stop();
    second.workers.refuseAt = int(second.workers.made.size()) + 3;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, second.engine.Start(TTestKind::Benchmark));
    QVERIFY(!lock->Held());
    QVERIFY(!awake->held);
    QCOMPARE(awake->holds, 1);
}

void TestRunEngine::partsToldInTurn_data() {
    QTest::addColumn<bool>("refused"); // by the second part
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("refused") << true << QStringList{"a starting", "b starting", "a not started"};
    QTest::newRow("two ticks") << false
                               << QStringList{"a starting",    "b starting",    "a started",
                                              "b started",     "a tick 1",      "b tick 1",
                                              "a tick 2 last", "b tick 2 last", "a stopping",
                                              "b stopping",    "a ended",       "b ended"};
}

// The parts are told of every step in the order they were handed in; a part that refuses the
// run undoes those before it, and no worker starts.
void TestRunEngine::partsToldInTurn() {
    QFETCH(bool, refused);
    QFETCH(QStringList, steps);
    QStringList told;
    Bench bench;
    bench.engine.Observe(std::make_shared<TStepProbe>(told, "a"));
    bench.engine.Observe(std::make_shared<TStepProbe>(told, "b", refused));
    if (refused) {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 bench.engine.StartStress(2, QStringLiteral("2s")));
        QVERIFY(bench.workers.made.empty());
    } else {
        bench.engine.StartStress(2, QStringLiteral("2s"));
        QCOMPARE(bench.TickUntilEnd(5), 2);
    }
    QCOMPARE(told, steps);
}

// The real workers on the real clock: every worker of a healthy machine stays on the known path.
void TestRunEngine::realWorkersPassTheCheck() {
    TRunEngine engine;
    engine.Start(TTestKind::Stress);
    const auto settled = [&] {
        for (int slot = 0; slot < engine.Workers(); ++slot) {
            if (engine.WorkerTable()[slot]->StepCount() <= TVerifier::SettledCount) {
                return false;
            }
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 120000);
    for (int tick = 0; tick < 20; ++tick) {
        if (engine.Tick() != TRunEngine::TTickResult::Running) {
            QFAIL(qPrintable(engine.Record().Failure->Text(false)));
        }
        QTest::qWait(5);
    }
    engine.Stop();
    for (int slot = 0; slot < engine.Workers(); ++slot) {
        QVERIFY(engine.WorkerTable()[slot]->StopRequested());
        QTRY_VERIFY_WITH_TIMEOUT(engine.WorkerTable()[slot]->Finished(), 10000);
    }
}

QTEST_GUILESS_MAIN(TestRunEngine)
#include "tst_runengine.moc"
