// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TBlockChecker.h"
#include "TBlockRing.h"
#include "TSelfTest.h"

#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(std::vector<quint64>)

class TestChecker : public QObject {
    Q_OBJECT
private slots:
    void judgesOneBlock_data();
    void judgesOneBlock();
    void ringKeepsTheNewestBlocks();
    void workerBlocksMatchComputedBlocks();
    void everyFaultIsFoundAndNamed_data();
    void everyFaultIsFoundAndNamed();
};

void TestChecker::judgesOneBlock_data() {
    // The checksums of one block as sources 0, 1, 2... report it, in that order; the block's
    // right checksum is 7.
    QTest::addColumn<std::vector<quint64>>("checksums");
    QTest::addColumn<int>("faulty"); // -1: none
    QTest::addColumn<int>("computed");

    using V = std::vector<quint64>;
    QTest::newRow("one alone waits") << V{9} << -1 << 0;
    QTest::newRow("two agree") << V{7, 7} << -1 << 0;
    QTest::newRow("two differ, the first wrong") << V{9, 7} << 0 << 1;
    QTest::newRow("two differ, the second wrong") << V{7, 9} << 1 << 1;
    // Agreement is not proof: the block is computed before anyone is named.
    QTest::newRow("settled, then a wrong one") << V{7, 7, 9} << 2 << 1;
    QTest::newRow("fifteen, the last wrong")
        << V{7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9} << 14 << 1;
    QTest::newRow("two err alike, the third right: the first named") << V{9, 9, 7, 7} << 0 << 1;
    QTest::newRow("two both wrong: the first named") << V{8, 9} << 0 << 1;
}

void TestChecker::judgesOneBlock() {
    QFETCH(std::vector<quint64>, checksums);
    QFETCH(int, faulty);
    QFETCH(int, computed);

    TBlockChecker checker([](std::int64_t block) { return block == 5 ? 7u : 0u; });
    std::optional<TBlockFault> fault;
    for (int source = 0; source < static_cast<int>(checksums.size()); ++source) {
        const auto found = checker.Add(source, {5, checksums[std::size_t(source)], 40 + source});
        QVERIFY2(!fault || !found, "one fault is reported once");
        fault = fault ? fault : found;
    }
    QCOMPARE(fault ? fault->Source : -1, faulty);
    if (fault) {
        QCOMPARE(fault->Expected, 7u);
        QCOMPARE(fault->Result.Cpu, 40 + faulty);
    }
    QCOMPARE(checker.Computed(), computed);
    QCOMPARE(checker.Waiting(5), checksums.size() == 1);
}

void TestChecker::ringKeepsTheNewestBlocks() {
    TBlockRing ring;
    TBlockResult result;
    QVERIFY(!ring.Read(0, result));
    const auto count = static_cast<std::int64_t>(ring.Capacity()) + 3;
    for (std::int64_t block = 0; block < count; ++block) {
        ring.Publish({block, static_cast<std::uint64_t>(block * 11), 1});
    }
    QCOMPARE(ring.Published(), count);
    QVERIFY(!ring.Read(2, result)); // overwritten
    QVERIFY(ring.Read(3, result));
    QCOMPARE(result, (TBlockResult{3, 33, 1}));
    QVERIFY(ring.Read(count - 1, result));
    QCOMPARE(result.Checksum, static_cast<std::uint64_t>((count - 1) * 11));
    QVERIFY(!ring.Read(count, result)); // not yet
}

void TestChecker::workerBlocksMatchComputedBlocks() {
    // The blocks a worker publishes are the blocks anyone computes: the first (the composites)
    // and two on the prime.
    SThread worker(SThread::StartCandidate);
    worker.Search([&]() noexcept { return worker.Blocks()->Published() >= 3; });
    for (std::int64_t block = 0; block < 3; ++block) {
        TBlockResult result;
        QVERIFY(worker.Blocks()->Read(block, result));
        QCOMPARE(result.Checksum, Workload::ComputeBlock(block));
    }
    QVERIFY(Workload::ComputeBlock(1) != Workload::ComputeBlock(2));
}

void TestChecker::everyFaultIsFoundAndNamed_data() {
    QTest::addColumn<int>("index"); // in AllCases()
    const std::vector<SelfTest::TCase> cases = SelfTest::AllCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].Workers <= 3) {
            QTest::addRow("%s, %d", SelfTest::Name(cases[i]).c_str(), cases[i].Workers)
                << static_cast<int>(i);
        }
    }
}

void TestChecker::everyFaultIsFoundAndNamed() {
    QFETCH(int, index);
    const SelfTest::TCase testCase = SelfTest::AllCases()[static_cast<std::size_t>(index)];
    // Real workers and ticks of a tenth of a second; how soon is the self-test's to show, not
    // asserted here: on a loaded machine a tick can wait.
    const SelfTest::TOutcome outcome =
        SelfTest::Run(testCase, std::chrono::milliseconds(100), 3000);
    QVERIFY(outcome.Failed);
    QCOMPARE(outcome.NamedWorker.value_or(-1), testCase.Workers - 1);
    // A word of memory is named by its address and the bit that flipped.
    QCOMPARE(outcome.Reason.contains(QStringLiteral(" (bits 0000000000000008)")),
             testCase.Kind == TFault::TKind::FlippedBit);
}

QTEST_GUILESS_MAIN(TestChecker)
#include "tst_checker.moc"
