// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TVerifier.h"

#include <QTest>

#include <cstdint>
#include <memory>

namespace {

struct State {
    std::int64_t candidate = 0;
    std::int64_t divisor = 0;
    std::int64_t iterations = 0;
    bool found = false;
};

State Read(const SThread& worker) {
    return {worker.CurrentCandidate(), worker.CurrentDivisor(), worker.StepCount(),
            worker.LastDivisorFound()};
}

// Runs the search on this thread and has it stop at the check right after division n.
// Returns the state the worker had published at that check; `after` gets the state it ends in.
State StateAfterDivisions(std::int64_t startValue, std::int64_t n, State& after) {
    SThread worker(startValue);
    State at;
    bool taken = false;
    worker.Search([&]() noexcept {
        if (worker.StepCount() < n) {
            return false;
        }
        if (!taken) {
            at = Read(worker);
            taken = true;
        }
        return true;
    });
    after = Read(worker);
    return at;
}

constexpr qint64 Start = SThread::StartCandidate;
constexpr qint64 Prime = TVerifier::KnownPrime;
constexpr qint64 ToPrime = TVerifier::SettledCount; // divisions on the thirteen composites above it

} // namespace

class TestSThread : public QObject {
    Q_OBJECT
private slots:
    void exactStates_data();
    void exactStates();
    void smallStartValuesNeverDivide_data();
    void smallStartValuesNeverDivide();
    void scoreCountsWholeHundredThousands_data();
    void scoreCountsWholeHundredThousands();
    void runningWorkerStopsAndIsReleased();
};

void TestSThread::exactStates_data() {
    QTest::addColumn<qint64>("divisions");
    QTest::addColumn<qint64>("candidate");
    QTest::addColumn<qint64>("divisor");
    QTest::addColumn<bool>("found");
    QTest::addColumn<qint64>("candidateAfterStop");

    // 99999999999999 is divisible by 3: found at the first division.
    QTest::newRow("first division") << qint64(1) << Start << qint64(5) << true << Start - 2;
    // 99999999999997 = 839 x ...: 419 more divisions, 3 to 839.
    QTest::newRow("second candidate")
        << qint64(1 + 419) << Start - 2 << qint64(841) << true << Start - 4;
    QTest::newRow("last composite done") << ToPrime << Prime + 2 << qint64(5) << true << Prime;
    QTest::newRow("first division on the prime")
        << ToPrime + 1 << Prime << qint64(5) << false << Prime - 2;
    QTest::newRow("deep in the prime")
        << ToPrime + 250000 << Prime << qint64(3 + 2 * 250000) << false << Prime - 2;
}

void TestSThread::exactStates() {
    QFETCH(qint64, divisions);
    QFETCH(qint64, candidate);
    QFETCH(qint64, divisor);
    QFETCH(bool, found);
    QFETCH(qint64, candidateAfterStop);

    State after;
    const State at = StateAfterDivisions(Start, divisions, after);
    QCOMPARE(at.iterations, divisions);
    QCOMPARE(at.candidate, candidate);
    QCOMPARE(at.divisor, divisor);
    QCOMPARE(at.found, found);

    // A stop inside the inner loop leaves the divisor on the candidate it was testing and the
    // candidate two below it; no further division is done.
    QCOMPARE(after.iterations, divisions);
    QCOMPARE(after.divisor, candidateAfterStop + 2);
    QCOMPARE(after.candidate, candidateAfterStop);
}

void TestSThread::smallStartValuesNeverDivide_data() {
    QTest::addColumn<qint64>("startValue");
    QTest::newRow("3") << qint64(3);
    QTest::newRow("0") << qint64(0);
    QTest::newRow("negative") << qint64(-99999999999999);
}

void TestSThread::smallStartValuesNeverDivide() {
    QFETCH(qint64, startValue);
    SThread worker(startValue);
    int checks = 0;
    worker.Search([&]() noexcept { return ++checks > 10000; });
    QCOMPARE(checks, 10001);
    QCOMPARE(worker.StepCount(), 0);
    QCOMPARE(worker.CurrentDivisor(), 0);
    QCOMPARE(worker.Score(), 0);
    QCOMPARE(worker.CurrentCandidate(), startValue);
}

void TestSThread::scoreCountsWholeHundredThousands_data() {
    QTest::addColumn<qint64>("divisions");
    QTest::addColumn<qint64>("score");
    QTest::newRow("99,999") << qint64(99999) << qint64(0);
    QTest::newRow("100,000") << qint64(100000) << qint64(1);
    QTest::newRow("1,299,999") << qint64(1299999) << qint64(12);
}

void TestSThread::scoreCountsWholeHundredThousands() {
    QFETCH(qint64, divisions);
    QFETCH(qint64, score);
    SThread worker(Start);
    worker.Search([&]() noexcept { return worker.StepCount() >= divisions; });
    QCOMPARE(worker.StepCount(), divisions);
    QCOMPARE(worker.Score(), score);
}

void TestSThread::runningWorkerStopsAndIsReleased() {
    std::weak_ptr<SThread> watch;
    {
        auto worker = SThread::Start(Start);
        watch = worker;

        // Live values: the worker reaches the prime and its divisor keeps climbing.
        QTRY_VERIFY_WITH_TIMEOUT(worker->StepCount() > ToPrime + 1000, 60000);
        QCOMPARE(worker->CurrentCandidate(), Prime);
        const std::int64_t first = worker->CurrentDivisor();
        QCOMPARE(first % 2, 1);
        QTRY_VERIFY_WITH_TIMEOUT(worker->CurrentDivisor() > first, 10000);
        QVERIFY(!worker->LastDivisorFound());

        worker->RequestStop();
        QTRY_VERIFY_WITH_TIMEOUT(worker->Finished(), 10000);
        QCOMPARE(worker->CurrentDivisor(), Prime);
        QCOMPARE(worker->CurrentCandidate(), Prime - 2);
    }
    // The thread held the last reference after ours went; once its body returned it let go.
    QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 10000);
}

QTEST_GUILESS_MAIN(TestSThread)
#include "tst_sthread.moc"
