// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"
#include "TBlockChecker.h"
#include "TBlockRing.h"
#include "TSelfTest.h"

#include <QTest>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

Q_DECLARE_METATYPE(std::vector<quint64>)

class TestChecker : public QObject {
    Q_OBJECT
private slots:
    void judgesOneBlock_data();
    void judgesOneBlock();
    void ringKeepsTheNewestBlocks();
    void workerBlocksMatchComputedBlocks();
    void judgesASelfTestRow_data();
    void judgesASelfTestRow();
    void failureWinsOverInconclusive_data();
    void failureWinsOverInconclusive();
    void allowsTheBlocksOfTwoTicks_data();
    void allowsTheBlocksOfTwoTicks();
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

    // A reader racing the writer on one slot gets a whole result or none, never a mix of two
    // blocks' fields.
    TBlockRing one(1);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (std::int64_t block = 0; !done.load(std::memory_order_relaxed); ++block) {
            one.Publish({block, static_cast<std::uint64_t>(block * 11), static_cast<int>(block)});
        }
    });
    std::int64_t whole = 0;
    std::int64_t mixed = 0;
    while (whole < 20000 && mixed == 0) {
        const std::int64_t block = one.Published() - 1;
        if (one.Read(block, result)) {
            ++whole;
            mixed += result.Checksum != static_cast<std::uint64_t>(block * 11) ||
                             result.Cpu != static_cast<int>(block)
                         ? 1
                         : 0;
        }
    }
    done.store(true);
    writer.join();
    QCOMPARE(mixed, std::int64_t{0});
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

void TestChecker::judgesASelfTestRow_data() {
    // Worker 2 of 2 has the fault; how soon counts from the tick the check could see it.
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("named"); // -1: none
    QTest::addColumn<bool>("stall");
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("evident"); // a stall: and spun past its processor time
    QTest::addColumn<QString>("why");  // empty: passed

    QTest::newRow("found at once") << true << 1 << false << 0 << false << "";
    QTest::newRow("found at its allowance") << true << 1 << false << 21 << true << "";
    QTest::newRow("found after its allowance")
        << true << 1 << false << 22 << true << "FAILED: found after 22 blocks, allowed 21";
    QTest::newRow("a stall found late")
        << true << 1 << true << 22 << true << "FAILED: found after 22 ticks run, allowed 21";
    // A run may also ask a stall for MinStall of processor time: late only by both counts.
    QTest::newRow("a stall late in ticks, not in processor time")
        << true << 1 << true << 22 << false << "";
    QTest::newRow("the wrong worker, at once")
        << true << 0 << false << 0 << false << "FAILED: named worker 1, not 2";
    QTest::newRow("no worker") << true << -1 << false << 0 << true << "FAILED: named no worker";
    QTest::newRow("seen and not found")
        << false << -1 << false << -1 << true << "FAILED: not detected";
    QTest::newRow("never seen: the workers got too little processor time")
        << false << -1 << false << -1 << false
        << "inconclusive: too little processor time, in 50 ticks worker 2 completed 1 of the 2 "
           "blocks needed";
}

void TestChecker::judgesASelfTestRow() {
    QFETCH(bool, failed);
    QFETCH(int, named);
    QFETCH(bool, stall);
    QFETCH(int, after);
    QFETCH(bool, evident);
    QFETCH(QString, why);

    SelfTest::TOutcome outcome;
    outcome.FaultySlot = 1;
    outcome.Failed = failed;
    if (named >= 0) {
        outcome.NamedWorker = named;
    }
    outcome.Stall = stall;
    outcome.WithinCpu = stall && !evident;
    outcome.After = after;
    outcome.Allowed = 21;
    outcome.Evident = evident;
    outcome.Short = QStringLiteral("in 50 ticks worker 2 completed 1 of the 2 blocks needed");
    QCOMPARE(outcome.Why(), why);
    QCOMPARE(outcome.Passed(), why.isEmpty());
    QCOMPARE(outcome.Verdict() == SelfTest::TOutcome::TVerdict::Inconclusive,
             why.startsWith(QStringLiteral("inconclusive")));
}

void TestChecker::failureWinsOverInconclusive_data() {
    // Rows as letters: p passed, i inconclusive, l late, n not detected.
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("overall");
    using V = SelfTest::TOutcome::TVerdict;
    QTest::newRow("all found") << "pp" << int(V::Passed);
    QTest::newRow("one not judged") << "pip" << int(V::Inconclusive);
    QTest::newRow("one late after one not judged") << "ilp" << int(V::Late);
    QTest::newRow("one missed after one late") << "lpn" << int(V::NotDetected);
}

void TestChecker::failureWinsOverInconclusive() {
    QFETCH(QString, rows);
    QFETCH(int, overall);
    std::vector<SelfTest::TOutcome> outcomes;
    for (const QChar row : rows) {
        SelfTest::TOutcome& outcome = outcomes.emplace_back();
        outcome.Failed = row == u'p' || row == u'l';
        outcome.NamedWorker = 0;
        outcome.After = row == u'l' ? 1 : 0;
        outcome.Evident = row == u'n';
    }
    QCOMPARE(int(SelfTest::Overall(outcomes)), overall);
}

void TestChecker::allowsTheBlocksOfTwoTicks_data() {
    QTest::addColumn<double>("cpuPerBlock");
    QTest::addColumn<qint64>("allowed");
    QTest::newRow("ten blocks a tick") << 0.04 << qint64{21};
    QTest::newRow("a block's part left over") << 0.03 << qint64{29};
    QTest::newRow("no block done yet: cost unknown") << std::nan("") << qint64{3};
}

void TestChecker::allowsTheBlocksOfTwoTicks() {
    QFETCH(double, cpuPerBlock);
    QFETCH(qint64, allowed);
    QCOMPARE(SelfTest::AllowedBlocks(std::chrono::milliseconds(400), 2, cpuPerBlock), allowed);
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
    // Real workers and ticks of a tenth of a second; how soon counts from the fault's evidence,
    // which a loaded machine delays but does not make late. A machine that never let the workers
    // get that far has proved nothing either way.
    const SelfTest::TOutcome outcome =
        SelfTest::Run(testCase, std::chrono::milliseconds(100), 3000);
    if (outcome.Verdict() == SelfTest::TOutcome::TVerdict::Inconclusive) {
        QSKIP(qPrintable(outcome.Why()));
    }
    QVERIFY2(outcome.Passed(), qPrintable(outcome.Why()));
    // A word that reads back wrong (the workloads that verify what they wrote) is named by its
    // address and the bit that flipped; a flipped bit in what a block produced (a compressed
    // stream, a ciphertext, a product) shows in its checksum only.
    const bool readsBack =
        QByteArrayList{"memory", "mix", "handoff"}.contains(QByteArray(testCase.Workload->Name));
    QCOMPARE(outcome.Reason.contains(QStringLiteral(" (bits 0000000000000008)")),
             testCase.Kind == TFault::TKind::FlippedBit && readsBack);
}

QTEST_GUILESS_MAIN(TestChecker)
#include "tst_checker.moc"
