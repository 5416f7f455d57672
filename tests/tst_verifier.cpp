#include "ResultLines.h"
#include "TVerifier.h"
#include "TWorkerTable.h"

#include <QTest>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr qint64 Prime = TVerifier::KnownPrime;
constexpr qint64 Settled = TVerifier::SettledCount;
constexpr int Count = TWorkerTable::WorkerCount;

// A stand-in worker whose published state the test sets directly.
struct FakeWorker {
    std::int64_t count = 0;
    std::int64_t candidate = 0;
    bool found = false;

    std::int64_t DivisionCount() const { return count; }
    std::int64_t CurrentCandidate() const { return candidate; }
    bool LastDivisorFound() const { return found; }
};

using FakeTable = std::array<std::shared_ptr<FakeWorker>, Count>;

// Fifteen workers well past the composites, on the prime, as a healthy machine has them.
FakeTable HealthyTable(std::int64_t count) {
    FakeTable table;
    for (auto& worker : table) {
        worker = std::make_shared<FakeWorker>(FakeWorker{count, Prime, false});
    }
    return table;
}

int SlotOrNone(std::optional<int> slot) {
    return slot ? *slot : -1;
}

// Ticks every `tick` until `done` says so or the time is up; returns the first failure seen.
template <class Done>
std::optional<int> TickUntil(const TWorkerTable& table, TVerifier& verifier, Done&& done,
                             std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (const auto failed = verifier.Check(table)) {
            return failed;
        }
        if (done()) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

class TestVerifier : public QObject {
    Q_OBJECT
private slots:
    void judgesOnlyWorkersPastTheCompositesAtThePreviousCheck_data();
    void judgesOnlyWorkersPastTheCompositesAtThePreviousCheck();
    void resetForgetsTheCountsSeen();
    void emptySlotsAreNotJudged();
    void realWorkerOffThePathIsCaught_data();
    void realWorkerOffThePathIsCaught();
    void healthyRealWorkersNeverFail();
    void failedRunLines_data();
    void failedRunLines();
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
    verifier.Reset();
    for (int slot : offPath) {
        *table[static_cast<std::size_t>(slot)] = {previousCount, Prime + 2, true};
    }
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1); // nothing is judged at the first check

    for (auto& worker : table) {
        worker->count += Settled + 1; // past the composites by now, whatever they showed before
    }
    for (int slot : offPath) {
        auto& worker = *table[static_cast<std::size_t>(slot)];
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
    verifier.Check(table);
    table[5]->candidate = Prime - 2;
    verifier.Reset();
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    QCOMPARE(SlotOrNone(verifier.Check(table)), 5);
}

void TestVerifier::emptySlotsAreNotJudged() {
    FakeTable table = HealthyTable(2 * Settled);
    TVerifier verifier;
    verifier.Check(table);
    table[2].reset();
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    // A worker put in an emptied slot starts over: it is not judged on the old count.
    table[2] = std::make_shared<FakeWorker>(FakeWorker{Settled + 5, Prime - 2, false});
    QCOMPARE(SlotOrNone(verifier.Check(table)), -1);
    QCOMPARE(SlotOrNone(verifier.Check(table)), 2);
}

void TestVerifier::realWorkerOffThePathIsCaught_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<qint64>("startValue");
    // Start values below the prime never reach it, as a worker thrown off by a wrong remainder.
    QTest::newRow("slot 0, just below the prime") << 0 << Prime - 2;
    QTest::newRow("slot 8, just below the prime") << 8 << Prime - 2;
    QTest::newRow("slot 14, far below") << 14 << qint64(99999999999001);
}

void TestVerifier::realWorkerOffThePathIsCaught() {
    QFETCH(int, slot);
    QFETCH(qint64, startValue);
    TWorkerTable::StartValues values;
    values.fill(TWorkerTable::StartCandidate);
    values[static_cast<std::size_t>(slot)] = startValue;

    TWorkerTable table;
    table.StartWorkers(values);
    TVerifier verifier;
    verifier.Reset();
    const auto failed = TickUntil(table, verifier, [] { return false; });
    table.StopWorkers();
    QVERIFY2(failed.has_value(), "the worker off the path was never caught");
    QCOMPARE(*failed, slot);
}

void TestVerifier::healthyRealWorkersNeverFail() {
    TWorkerTable table;
    table.StartWorkers();
    TVerifier verifier;
    verifier.Reset();
    // Run until every worker has been judged at least fifty times.
    std::array<int, Count> judged{};
    std::array<std::int64_t, Count> previous{};
    const auto failed = TickUntil(table, verifier, [&] {
        bool done = true;
        for (int slot = 0; slot < Count; ++slot) {
            const auto i = static_cast<std::size_t>(slot);
            if (previous[i] > Settled) {
                ++judged[i];
            }
            previous[i] = table[slot]->DivisionCount();
            done = done && judged[i] >= 50;
        }
        return done;
    });
    table.StopWorkers();
    QVERIFY2(!failed.has_value(), "a healthy worker was reported off the path");
    for (int n : judged) {
        QVERIFY(n >= 50);
    }
}

void TestVerifier::failedRunLines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    const QString at = QStringLiteral("12/7/2026 3:05:09 PM");
    QTest::newRow("benchmark, worker 0")
        << BenchmarkFailedLine(at, 0)
        << QByteArray(
               "12/7/2026 3:05:09 PM     Benchmark Test FAILED : computation error in worker 0");
    QTest::newRow("benchmark at midnight, worker 14")
        << BenchmarkFailedLine(QStringLiteral("12/7/2026"), 14)
        << QByteArray("12/7/2026     Benchmark Test FAILED : computation error in worker 14");
    QTest::newRow("stress 20min, worker 7")
        << StressFailedLine(at, QStringLiteral("20min"), 7)
        << QByteArray("12/7/2026 3:05:09 PM     Stress Test (w/ multi-thread process) : 20min test "
                      "FAILED: computation error in worker 7.");
    QTest::newRow("stress 4 hours, worker 14")
        << StressFailedLine(QStringLiteral("05/03/2024 14:07:09"), QStringLiteral("240min (4hrs)"),
                            14)
        << QByteArray(
               "05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : 240min (4hrs) "
               "test FAILED: computation error in worker 14.");
    QTest::newRow("non-ASCII date text is UTF-8")
        << BenchmarkFailedLine(QStringLiteral("07.12.2026 15:05:09 \u00e9"), 3)
        << QByteArray(
               "07.12.2026 15:05:09 \xc3\xa9     Benchmark Test FAILED : computation error in "
               "worker 3");
}

void TestVerifier::failedRunLines() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(line, expected);
}

QTEST_GUILESS_MAIN(TestVerifier)
#include "tst_verifier.moc"
