// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// A workload added by a file of its own and one line: the table, the engine with its checker and
// the self-test take it as they take the program's.

#include "TRunEngine.h"
#include "TSelfTest.h"

#include <QTest>

#include <algorithm>

extern const TWorkloadEntry CounterWorkload;

class TestCounterWorkload : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Workloads::Register(CounterWorkload); }
    void cleanRunIsVerified();
    void injectedFaultIsNamed();
};

// Two workers that agree: the engine compares their blocks and finds nothing.
void TestCounterWorkload::cleanRunIsVerified() {
    TWorkload workload;
    workload.Kind = *Workloads::Find("count");
    TRunEngine engine(workload.Factory(), 2);
    engine.SetWorkload(workload);
    engine.Start(TTestKind::Benchmark, 0);
    const TWorkerTable& table = engine.WorkerTable();
    for (std::int64_t tick = 1; tick <= 3; ++tick) {
        QTRY_VERIFY_WITH_TIMEOUT(table[0]->Blocks()->Published() > 2 * tick &&
                                     table[1]->Blocks()->Published() > 2 * tick,
                                 60000);
        QCOMPARE(engine.Tick(), TRunEngine::TTickResult::Running);
    }
    QVERIFY(engine.Record().Check.Checked > 0);
    engine.Stop();
}

// The self-test lists the workload's row and finds its fault in the worker that has it.
void TestCounterWorkload::injectedFaultIsNamed() {
    const std::vector<SelfTest::TCase> cases = SelfTest::AllCases();
    const auto row = std::find_if(cases.begin(), cases.end(), [](const SelfTest::TCase& c) {
        return c.Workload == &CounterWorkload && c.Workers == 2;
    });
    QVERIFY(row != cases.end());
    QCOMPARE(SelfTest::Name(*row), std::string("wrong count"));
    const SelfTest::TOutcome outcome = SelfTest::Run(*row, std::chrono::milliseconds(100), 3000);
    if (outcome.Verdict() == SelfTest::TOutcome::TVerdict::Inconclusive) {
        QSKIP(qPrintable(outcome.Why()));
    }
    QVERIFY2(outcome.Passed(), qPrintable(outcome.Why()));
    QCOMPARE(outcome.Reason, QStringLiteral("computation error in worker 2"));
}

QTEST_GUILESS_MAIN(TestCounterWorkload)
#include "tst_counterworkload.moc"
