// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TFakeWorker.h"
#include "TWorkerTable.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Count = 15;

} // namespace

class TestWorkerTable : public QObject {
    Q_OBJECT
private slots:
    void sampleLine_data();
    void sampleLine();
    void lowestScore_data();
    void lowestScore();
    void lowestScoreReadsEachScoreBeforeStoppingThatWorker();
    void startStopsTheWorkersOfTheRunBefore();
    void destroyedTableStopsItsWorkers();
    void startThatCannotStartEveryWorker_data();
    void startThatCannotStartEveryWorker();
    void realWorkersRunStopAndAreReleased();
};

void TestWorkerTable::sampleLine_data() {
    QTest::addColumn<QList<qint64>>("divisors");
    QTest::addColumn<QString>("line");
    QTest::newRow("all 5") << QList<qint64>(Count, 5) << QString("  5").repeated(Count);
    QList<qint64> mixed(Count, 3);
    mixed[0] = TVerifier::KnownPrime;
    mixed[14] = -7;
    QTest::newRow("wide and negative")
        << mixed
        << "  " + QString::number(TVerifier::KnownPrime) + QString("  3").repeated(13) + "  -7";
    QTest::newRow("one worker") << QList<qint64>{41} << QString("  41");
    QTest::newRow("not started") << QList<qint64>() << QString();
}

void TestWorkerTable::sampleLine() {
    QFETCH(QList<qint64>, divisors);
    QFETCH(QString, line);
    TFakeWorkers workers;
    workers.prepare = [&](TFakeWorker& worker, int slot) { worker.divisor = divisors[slot]; };
    TWorkerTable table(workers.Factory());
    if (!divisors.isEmpty()) {
        table.StartWorkers(int(divisors.size()));
    }
    QCOMPARE(QString::fromStdString(table.SampleLine()), line);
}

void TestWorkerTable::lowestScore_data() {
    QTest::addColumn<QList<qint64>>("counts");
    QTest::addColumn<qint64>("lowest");
    QList<qint64> ties{1299999, 999999, 900000};
    ties.append(QList<qint64>(12, 1500000));
    QTest::newRow("12, 9, 9, twelve 15s") << ties << qint64(9);
    QList<qint64> last(Count, 4000000);
    last[14] = 3999999;
    QTest::newRow("lowest last") << last << qint64(39);
    QList<qint64> first(Count, 4000000);
    first[0] = 100000;
    QTest::newRow("lowest first") << first << qint64(1);
    QTest::newRow("all zero") << QList<qint64>(Count, 0) << qint64(0);
    QTest::newRow("one worker") << QList<qint64>{123456789} << qint64(1234);
}

void TestWorkerTable::lowestScore() {
    QFETCH(QList<qint64>, counts);
    QFETCH(qint64, lowest);
    TFakeWorkers workers;
    workers.prepare = [&](TFakeWorker& worker, int slot) { worker.count = counts[slot]; };
    TWorkerTable table(workers.Factory());
    table.StartWorkers(int(counts.size()));
    QCOMPARE(table.LowestScore(), lowest);
}

void TestWorkerTable::lowestScoreReadsEachScoreBeforeStoppingThatWorker() {
    std::vector<std::string> events;
    TFakeWorkers workers;
    workers.prepare = [&](TFakeWorker& worker, int slot) {
        worker.onEvent = [&events, slot](const std::string& e) {
            events.push_back(e + " " + std::to_string(slot));
        };
    };
    TWorkerTable table(workers.Factory());
    table.StartWorkers(Count);
    table.LowestScore();
    std::vector<std::string> expected;
    for (int slot = 0; slot < Count; ++slot) {
        expected.push_back("read " + std::to_string(slot));
        expected.push_back("stop " + std::to_string(slot));
    }
    QVERIFY(events == expected);
}

void TestWorkerTable::startStopsTheWorkersOfTheRunBefore() {
    std::vector<std::string> events;
    TFakeWorkers workers;
    workers.prepare = [&](TFakeWorker& worker, int slot) {
        events.push_back("start " + std::to_string(slot));
        worker.onEvent = [&events, slot](const std::string& e) {
            events.push_back(e + " " + std::to_string(slot));
        };
    };
    TWorkerTable table(workers.Factory());
    table.StartWorkers(Count);
    events.clear();
    table.StartWorkers(4);

    // Every worker of the first start is told to stop before the first new one starts.
    QCOMPARE(int(events.size()), Count + 4);
    QCOMPARE(events.at(Count - 1), std::string("stop 14"));
    QCOMPARE(events.at(Count), std::string("start 0"));
    for (const auto& worker : workers.Last(4)) {
        QVERIFY(!worker->stopped);
    }
    QCOMPARE(table.Count(), 4);
    QCOMPARE(table[3], std::shared_ptr<TWorker>(workers.made.back()));
}

void TestWorkerTable::destroyedTableStopsItsWorkers() {
    TFakeWorkers workers;
    std::make_unique<TWorkerTable>(workers.Factory())->StartWorkers(2);
    for (const auto& worker : workers.made) {
        QVERIFY(worker->stopped);
    }
}

void TestWorkerTable::startThatCannotStartEveryWorker_data() {
    QTest::addColumn<bool>("runBefore");
    QTest::addColumn<int>("failingSlot");
    QTest::newRow("first start, slot 0") << false << 0;
    QTest::newRow("first start, slot 9") << false << 9;
    QTest::newRow("over a run, slot 14") << true << 14;
}

// All or nothing: a start the system cannot complete stops what it started and leaves the table
// as it was, so no run goes on with some workers missing or stale.
void TestWorkerTable::startThatCannotStartEveryWorker() {
    QFETCH(bool, runBefore);
    QFETCH(int, failingSlot);
    TFakeWorkers workers;
    TWorkerTable table(workers.Factory());
    if (runBefore) {
        table.StartWorkers(Count);
    }
    const auto before = workers.made;
    workers.refuseAt = int(workers.made.size()) + failingSlot;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, table.StartWorkers(Count));

    QCOMPARE(table.Count(), runBefore ? Count : 0);
    for (int slot = 0; slot < table.Count(); ++slot) {
        QCOMPARE(table[slot], std::shared_ptr<TWorker>(before[static_cast<std::size_t>(slot)]));
    }
    // Every worker, of the run before and of the failed start, was told to stop.
    QCOMPARE(int(workers.made.size()), int(before.size()) + failingSlot);
    for (const auto& worker : workers.made) {
        QVERIFY(worker->stopped);
    }
}

void TestWorkerTable::realWorkersRunStopAndAreReleased() {
    std::vector<std::weak_ptr<TWorker>> watch;
    {
        TWorkerTable table;
        table.StartWorkers(Count);
        for (int slot = 0; slot < Count; ++slot) {
            watch.push_back(table[slot]);
            const auto* worker = dynamic_cast<const SThread*>(table[slot].get());
            QVERIFY(worker);
        }
        table.StopWorkers(); // returns at once; the bodies end at their next check
        for (int slot = 0; slot < Count; ++slot) {
            QTRY_VERIFY_WITH_TIMEOUT(table[slot]->Finished(), 10000);
        }
    }
    // Nothing is left once the table has let go and the bodies have returned.
    for (const auto& w : watch) {
        QTRY_VERIFY_WITH_TIMEOUT(w.expired(), 10000);
    }
}

QTEST_GUILESS_MAIN(TestWorkerTable)
#include "tst_workertable.moc"
