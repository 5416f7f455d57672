#include "TWorkerTable.h"

#include <QTest>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

// A stand-in worker with set values, recording what the table does to it, in order.
struct FakeWorker {
    static inline std::deque<std::pair<std::int64_t, std::int64_t>> next; // divisor, score
    static inline std::vector<std::string> events;
    static inline int started = 0;
    static inline int failAt = -1; // Start() throws on this start, counting from 0

    int id = 0;
    std::int64_t divisor = 0;
    std::int64_t score = 0;
    bool stopped = false;

    static std::shared_ptr<FakeWorker> Start(std::int64_t) {
        if (started == failAt) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        auto worker = std::make_shared<FakeWorker>();
        worker->id = started++;
        if (!next.empty()) {
            std::tie(worker->divisor, worker->score) = next.front();
            next.pop_front();
        }
        events.push_back("start " + std::to_string(worker->id));
        return worker;
    }
    std::int64_t CurrentDivisor() const { return divisor; }
    std::int64_t Score() const {
        events.push_back("score " + std::to_string(id));
        return score;
    }
    void RequestStop() {
        stopped = true;
        events.push_back("stop " + std::to_string(id));
    }

    static void Reset() {
        next.clear();
        events.clear();
        started = 0;
        failAt = -1;
    }
};

using FakeTable = TWorkerTableOf<FakeWorker>;
constexpr int Count = FakeTable::WorkerCount;

} // namespace

class TestWorkerTable : public QObject {
    Q_OBJECT
private slots:
    void init() { FakeWorker::Reset(); }
    void sampleLine_data();
    void sampleLine();
    void lowestScore_data();
    void lowestScore();
    void lowestScoreReadsEachScoreBeforeStoppingThatWorker();
    void startStopsTheWorkersOfTheRunBefore();
    void startThatCannotStartEveryWorker_data();
    void startThatCannotStartEveryWorker();
    void realWorkersRunStopAndAreReleased();
};

void TestWorkerTable::sampleLine_data() {
    QTest::addColumn<QList<qint64>>("divisors");
    QTest::addColumn<QString>("line");
    QTest::newRow("all 5") << QList<qint64>(Count, 5) << QString("  5").repeated(Count);
    QList<qint64> mixed(Count, 3);
    mixed[0] = 99999999999973;
    mixed[14] = -7;
    QTest::newRow("wide and negative")
        << mixed << "  99999999999973" + QString("  3").repeated(13) + "  -7";
    QTest::newRow("not started") << QList<qint64>() << QString("  0").repeated(Count);
}

void TestWorkerTable::sampleLine() {
    QFETCH(QList<qint64>, divisors);
    QFETCH(QString, line);
    FakeTable table;
    if (!divisors.isEmpty()) {
        for (qint64 d : divisors) {
            FakeWorker::next.emplace_back(d, 0);
        }
        table.StartWorkers();
    }
    QCOMPARE(QString::fromStdString(table.SampleLine()), line);
}

void TestWorkerTable::lowestScore_data() {
    QTest::addColumn<QList<qint64>>("scores");
    QTest::addColumn<qint64>("lowest");
    QList<qint64> ties{12, 9, 9};
    ties.append(QList<qint64>(12, 15));
    QTest::newRow("12, 9, 9, twelve 15s") << ties << qint64(9);
    QList<qint64> last(Count, 40);
    last[14] = 39;
    QTest::newRow("lowest last") << last << qint64(39);
    QList<qint64> first(Count, 40);
    first[0] = 1;
    QTest::newRow("lowest first") << first << qint64(1);
    QTest::newRow("all zero") << QList<qint64>(Count, 0) << qint64(0);
}

void TestWorkerTable::lowestScore() {
    QFETCH(QList<qint64>, scores);
    QFETCH(qint64, lowest);
    for (qint64 s : scores) {
        FakeWorker::next.emplace_back(1, s);
    }
    FakeTable table;
    table.StartWorkers();
    QCOMPARE(table.LowestScore(), lowest);
}

void TestWorkerTable::lowestScoreReadsEachScoreBeforeStoppingThatWorker() {
    FakeTable table;
    table.StartWorkers();
    FakeWorker::events.clear();
    table.LowestScore();
    std::vector<std::string> expected;
    for (int slot = 0; slot < Count; ++slot) {
        expected.push_back("score " + std::to_string(slot));
        expected.push_back("stop " + std::to_string(slot));
    }
    QVERIFY(FakeWorker::events == expected);
}

void TestWorkerTable::startStopsTheWorkersOfTheRunBefore() {
    FakeTable table;
    table.StartWorkers();
    std::vector<std::shared_ptr<FakeWorker>> first;
    for (int slot = 0; slot < Count; ++slot) {
        first.push_back(table[slot]);
    }
    FakeWorker::events.clear();
    table.StartWorkers();

    // Every worker of the first start is told to stop before the first new one starts.
    for (const auto& worker : first) {
        QVERIFY(worker->stopped);
    }
    QCOMPARE(FakeWorker::events.at(Count - 1), std::string("stop 14"));
    QCOMPARE(FakeWorker::events.at(Count), std::string("start 15"));
    for (int slot = 0; slot < Count; ++slot) {
        QCOMPARE(table[slot]->id, Count + slot);
        QVERIFY(!table[slot]->stopped);
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
    FakeTable table;
    std::vector<std::shared_ptr<FakeWorker>> before(Count);
    if (runBefore) {
        table.StartWorkers();
        for (int slot = 0; slot < Count; ++slot) {
            before[static_cast<std::size_t>(slot)] = table[slot];
        }
    }
    FakeWorker::failAt = FakeWorker::started + failingSlot;
    QVERIFY_THROWS_EXCEPTION(std::system_error, table.StartWorkers());

    for (int slot = 0; slot < Count; ++slot) {
        QCOMPARE(table[slot], before[static_cast<std::size_t>(slot)]);
        if (runBefore) {
            QVERIFY(table[slot]->stopped);
        }
    }
    // Every worker the failed start made was told to stop again.
    const int made = failingSlot;
    const auto stops = std::count_if(FakeWorker::events.begin(), FakeWorker::events.end(),
                                     [](const std::string& e) { return e.rfind("stop ", 0) == 0; });
    QCOMPARE(int(stops), made + (runBefore ? Count : 0));
}

void TestWorkerTable::realWorkersRunStopAndAreReleased() {
    std::vector<std::weak_ptr<SThread>> watch;
    {
        TWorkerTable table;
        table.StartWorkers();
        for (int slot = 0; slot < Count; ++slot) {
            watch.push_back(table[slot]);
            QCOMPARE(table[slot]->StartingCandidate(), TWorkerTable::StartCandidate);
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
