// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TVerifier.h"
#include "TWorkerTable.h"
#include "TWorkload.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr qint64 Prime = TVerifier::KnownPrime;
constexpr qint64 Settled = TVerifier::SettledCount;
constexpr int Count = 15;

// A stand-in worker whose published state the test sets directly.
struct FakeWorker {
    std::int64_t count = 0;
    std::int64_t candidate = 0;
    bool found = false;

    std::int64_t DivisionCount() const { return count; }
    std::int64_t CurrentCandidate() const { return candidate; }
    bool LastDivisorFound() const { return found; }
};

// Indexed by slot number, as the worker table is.
struct FakeTable {
    std::array<std::shared_ptr<FakeWorker>, Count> workers;

    std::shared_ptr<FakeWorker>& operator[](int slot) {
        return workers[static_cast<std::size_t>(slot)];
    }
    const std::shared_ptr<FakeWorker>& operator[](int slot) const {
        return workers[static_cast<std::size_t>(slot)];
    }
};

// Fifteen workers well past the composites, on the prime, as a healthy machine has them.
FakeTable HealthyTable(std::int64_t count) {
    FakeTable table;
    for (auto& worker : table.workers) {
        worker = std::make_shared<FakeWorker>(FakeWorker{count, Prime, false});
    }
    return table;
}

int SlotOrNone(std::optional<int> slot) {
    return slot ? *slot : -1;
}

} // namespace

class TestVerifier : public QObject {
    Q_OBJECT
private slots:
    void judgesOnlyWorkersPastTheCompositesAtThePreviousCheck_data();
    void judgesOnlyWorkersPastTheCompositesAtThePreviousCheck();
    void resetForgetsTheCountsSeen();
    void emptySlotsAreNotJudged();
    void realWorkers_data();
    void realWorkers();
};

void TestVerifier::judgesOnlyWorkersPastTheCompositesAtThePreviousCheck_data() {
    QTest::addColumn<QList<int>>("offPath");   // the workers given the state below
    QTest::addColumn<qint64>("previousCount"); // their count at the previous check
    QTest::addColumn<qint64>("candidate");     // their state at this check and the next
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("failedNow"); // -1: none
    QTest::addColumn<int>("failedNext");

    QTest::newRow("on the prime") << QList<int>{4} << Settled + 1 << Prime << false << -1 << -1;
    QTest::newRow("missed divisor of a composite")
        << QList<int>{4} << Settled + 1 << Prime + 16 << false << 4 << 4;
    QTest::newRow("false divisor of the prime")
        << QList<int>{0} << Settled + 500000 << Prime << true << 0 << 0;
    QTest::newRow("moved past the prime")
        << QList<int>{14} << qint64(2000000000) << Prime - 2 << false << 14 << 14;
    QTest::newRow("two off the path, first reported")
        << QList<int>{9, 3} << Settled + 1 << Prime - 4 << false << 3 << 3;
    // At exactly the count where the last composite is done, the worker may still show it.
    QTest::newRow("at the last composite a tick ago")
        << QList<int>{7} << Settled << Prime + 2 << true << -1 << 7;
    QTest::newRow("before the prime a tick ago")
        << QList<int>{7} << qint64(419) << Prime + 26 << false << -1 << 7;
    QTest::newRow("no division a tick ago")
        << QList<int>{7} << qint64(0) << qint64(0) << false << -1 << 7;
}

void TestVerifier::judgesOnlyWorkersPastTheCompositesAtThePreviousCheck() {
    QFETCH(QList<int>, offPath);
    QFETCH(qint64, previousCount);
    QFETCH(qint64, candidate);
    QFETCH(bool, found);
    QFETCH(int, failedNow);
    QFETCH(int, failedNext);

    FakeTable table = HealthyTable(2 * Settled);
    TVerifier verifier;
    verifier.Reset(Count);
    for (int slot : offPath) {
        *table[slot] = {previousCount, Prime + 2, true};
    }
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1); // nothing is judged at the first check

    for (auto& worker : table.workers) {
        worker->count += Settled + 1; // past the composites by now, whatever they showed before
    }
    for (int slot : offPath) {
        auto& worker = *table[slot];
        worker.candidate = candidate;
        worker.found = found;
    }
    QCOMPARE(SlotOrNone(verifier.Check(table)), failedNow);
    // The count of this check is what the next one compares against.
    QCOMPARE(SlotOrNone(verifier.Check(table)), failedNext);
}

void TestVerifier::resetForgetsTheCountsSeen() {
    FakeTable table = HealthyTable(2 * Settled);
    TVerifier verifier;
    verifier.Reset(Count);
    verifier.Check(table);
    table[5]->candidate = Prime - 2;
    verifier.Reset(Count);
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    QCOMPARE(SlotOrNone(verifier.Check(table)), 5);
}

void TestVerifier::emptySlotsAreNotJudged() {
    FakeTable table = HealthyTable(2 * Settled);
    TVerifier verifier;
    verifier.Reset(Count);
    verifier.Check(table);
    table[2].reset();
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    // A worker put in an emptied slot starts over: it is not judged on the old count.
    table[2] = std::make_shared<FakeWorker>(FakeWorker{Settled + 5, Prime - 2, false});
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    QCOMPARE(SlotOrNone(verifier.Check(table)), 2);
}

void TestVerifier::realWorkers_data() {
    QTest::addColumn<int>("slot"); // -1: every worker healthy
    QTest::addColumn<qint64>("startValue");
    // Start values below the prime never reach it, as a worker thrown off by a wrong remainder.
    QTest::newRow("healthy") << -1 << qint64(0);
    QTest::newRow("slot 0, just below the prime") << 0 << Prime - 2;
    QTest::newRow("slot 14, far below") << 14 << qint64(99999999999001);
}

// Ticks until a failure is reported or every worker has been judged fifty times.
void TestVerifier::realWorkers() {
    QFETCH(int, slot);
    QFETCH(qint64, startValue);
    TWorkerTable table(
        [&](int at) { return SThread::Start(at == slot ? startValue : SThread::StartCandidate); });
    table.StartWorkers(Count);
    const std::unique_ptr<TPathCheck> check = DivideWorkload.PathCheck();
    check->Reset(Count);
    std::array<int, Count> judged{};
    std::array<std::int64_t, Count> previous{};
    const auto allJudged = [&] {
        bool done = true;
        for (int i = 0; i < Count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            judged[at] += previous[at] > Settled ? 1 : 0;
            previous[at] = table[i]->StepCount();
            done = done && judged[at] >= 50;
        }
        return done;
    };
    std::optional<int> failed;
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!failed && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        failed = check->Check(table.Workers());
        if (!failed && allJudged()) {
            break;
        }
    }
    table.StopWorkers();
    QCOMPARE(SlotOrNone(failed), slot);
    if (slot < 0) {
        QVERIFY(std::all_of(judged.begin(), judged.end(), [](int n) { return n >= 50; }));
    }
}

QTEST_GUILESS_MAIN(TestVerifier)
#include "tst_verifier.moc"
