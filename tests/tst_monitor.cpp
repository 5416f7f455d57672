// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The Monitor tab of the real window, fed by its runs' ticks on a fixture machine: a point per
// tick on every chart the machine has figures for, never more points than the bound however
// long the run, the per-processor table and the block check's state; the stress test's load
// chosen there, and the self-test run by morvel-cli.
#include "FormFixture.h"
#include "GuiTestMain.h"
#include "Processors.h"
#include "TMonitor.h"
#include "TReportLog.h"
#include "TSelfTestPanel.h"

#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

class TestMonitor : public QObject, FormFixture {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { DropForm(); }
    void ticks_data();
    void ticks();
    void record_data();
    void record();
    void statusLineShowsTheLatestWarning();
    void stressLoad_data();
    void stressLoad();
    void selfTestVerdict_data();
    void selfTestVerdict();
    void selfTestAndRunShareTheLock();

private:
    // The points of a chart's line, by the names the user sees.
    QList<QPointF> Points(const QString& chart, const QString& line) {
        for (QAbstractSeries* series : Child<QChartView>(chart)->chart()->series()) {
            if (series->name() == line) {
                return static_cast<QLineSeries*>(series)->points();
            }
        }
        qFatal("no line %s", qPrintable(line));
    }
    QString Verdict() { return Child<QLabel>(QStringLiteral("MonitorSelfTestVerdict"))->text(); }
};

void TestMonitor::init() {
    MakeForm([](TFakeWorker& worker, int slot) { worker.Settle(432100000 + slot); });
    const QString root = QStringLiteral(MORVEL_FIXTURES "/intel-laptop");
    TSystemPaths machine;
    machine.Sys = root + QStringLiteral("/sys");
    machine.Proc = root + QStringLiteral("/proc");
    form->SetMachine(machine);
}

void TestMonitor::ticks_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("ticks");
    QTest::newRow("benchmark") << false << 5;
    QTest::newRow("stress, past the bound") << true << TMonitor::MaxPoints * 3 / 2;
}

void TestMonitor::ticks() {
    QFETCH(bool, stress);
    QFETCH(int, ticks);
    auto* pages = Child<QTabWidget>(QStringLiteral("PageControl"));
    QCOMPARE(pages->tabText(3), QStringLiteral("Monitor"));
    // A run before leaves nothing on the charts of the next.
    for (int run = 0; run < 2; ++run) {
        pages->setCurrentIndex(stress ? 1 : 0);
        QTest::mouseClick(
            Child<QPushButton>(stress ? QStringLiteral("Sp4Button") : QStringLiteral("Sp1Button")),
            Qt::LeftButton);
        for (int tick = 0; tick < ticks; ++tick) {
            clock.Tick(form->findChild<QTimer*>(stress ? "StressTestTimer" : "BenchmarkTimer"));
        }
    }
    // The fixture has clocks and a temperature; its energy counter stands still.
    const std::pair<const char*, const char*> lines[] = {{"MonitorChartRate", "slowest"},
                                                         {"MonitorChartRate", "fastest"},
                                                         {"MonitorChartFrequency", "mean"},
                                                         {"MonitorChartFrequency", "highest"},
                                                         {"MonitorChartTemperature", "°C"}};
    for (const auto& [chart, line] : lines) {
        const qsizetype count = Points(chart, line).size();
        if (ticks <= TMonitor::MaxPoints) {
            QCOMPARE(count, ticks);
        } else {
            QVERIFY2(count <= TMonitor::MaxPoints && count > TMonitor::MaxPoints / 2,
                     qPrintable(QString::number(count)));
        }
    }
    // Merged points are means of the readings they stand for.
    const QList<QPointF> highest = Points("MonitorChartFrequency", "highest");
    QVERIFY(std::all_of(highest.begin(), highest.end(), [](QPointF at) { return at.y() == 3400; }));
    auto* table = Child<QTableWidget>(QStringLiteral("MonitorProcessors"));
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("3400"));
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("72"));
    QVERIFY(Child<QLabel>(QStringLiteral("MonitorCheck"))->text().startsWith("Block check: "));
}

void TestMonitor::record_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("check");
    const QByteArray run = R"({"schema":2,"system":null}
{"tick":1,"seconds":1,"slowestRate":9000000,"fastestRate":9500000,"frequencyMHz":3000}
{"tick":2,"seconds":2,"slowestRate":9100000,"fastestRate":9600000,"frequencyMHz":null}
{"completed":true,"verification":{"blocks":40,"blocksChecked":38}}
)";
    // The last run of the file is drawn.
    QTest::newRow("two runs") << run + run << 2 << QString() << "38 of 40 blocks";
    QTest::newRow("cut short") << run + "{\"tick\":3,\"sec" << 2 << "line 5 is not a JSON object"
                               << "38 of 40 blocks";
    QTest::newRow("no run") << QByteArray("{\"schema\":2}\n") << 0 << "holds no run"
                            << "no block compared";
}

void TestMonitor::record() {
    QFETCH(QByteArray, file);
    QFETCH(int, points);
    QFETCH(QString, error);
    QFETCH(QString, check);
    auto* monitor = Child<TMonitor>(QStringLiteral("MonitorPanel"));
    const QString path = dataDir->filePath(QStringLiteral("record.jsonl"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
    out.close();
    const QString opened = monitor->OpenRecord(path);
    QVERIFY2(error.isEmpty() ? opened.isEmpty() : opened.contains(error), qPrintable(opened));
    QCOMPARE(Points("MonitorChartRate", "fastest").size(), points);
    QVERIFY(Points("MonitorChartFrequency", "mean").size() <= qsizetype(points) / 2);
    QVERIFY(Child<QLabel>(QStringLiteral("MonitorCheck"))->text().contains(check));
    const QString picture = dataDir->filePath(QStringLiteral("charts.png"));
    QVERIFY(monitor->SavePicture(picture));
    QCOMPARE(QImage(picture).size(), Child<QWidget>(QStringLiteral("MonitorCharts"))->size());
}

// The stress page's status line shows a run's latest warning of the machine's, and its own text
// again from the next start.
void TestMonitor::statusLineShowsTheLatestWarning() {
    const auto interrupts = [this](int thermal) {
        QFile file(dataDir->filePath(QStringLiteral("proc/interrupts")));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write("      CPU0   CPU1\nTRM:     0      " + QByteArray::number(thermal) +
                          "\n") > 0;
    };
    QVERIFY(QDir(dataDir->path()).mkpath(QStringLiteral("proc")) && interrupts(0));
    form->SetMachine(
        {dataDir->filePath(QStringLiteral("sys")), dataDir->filePath(QStringLiteral("proc")), {}});
    auto* status = Child<QLabel>(QStringLiteral("Label4"));
    const QString own = status->text();
    auto* start = Child<QPushButton>(QStringLiteral("Sp4Button"));
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(interrupts(2));
    clock.Tick(form->findChild<QTimer*>("StressTestTimer"));
    // Seconds into the run, whatever the machine's load made them.
    QVERIFY2(status->text().startsWith("Warning: the processor throttled at ") &&
                 status->text().endsWith(" (2 thermal interrupts on CPU 1)"),
             qPrintable(status->text()));
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(status->text(), own);
}

void TestMonitor::stressLoad_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<QString>("workload");
    QTest::addColumn<bool>("perProcessor");
    QTest::addColumn<int>("made");
    QTest::addColumn<QByteArray>("notes"); // after the result line
    const int processors = TRunEngine::PerCpuWorkers(UsableCpuList());
    QTest::newRow("fma") << true << "fma" << false << 15 << QByteArray(" (fma)");
    QTest::newRow("memory, one per processor")
        << true << "memory" << true << processors
        << " (" +
               (processors == 15 ? QByteArray() : QByteArray::number(processors) + " workers, ") +
               "memory)";
    QTest::newRow("the benchmark keeps its load") << false << "mix" << true << 15 << QByteArray();
}

// The load chosen on the tab is the stress test's, fixed while it runs, and its result line
// names a load other than the usual one.
void TestMonitor::stressLoad() {
    QFETCH(bool, stress);
    QFETCH(QString, workload);
    QFETCH(bool, perProcessor);
    QFETCH(int, made);
    QFETCH(QByteArray, notes);
    ShowAndActivate();
    auto* load = Child<QComboBox>(QStringLiteral("MonitorWorkload"));
    auto* count = Child<QComboBox>(QStringLiteral("MonitorWorkers"));
    QCOMPARE(load->count(), int(Workloads::All().size()));
    load->setCurrentIndex(load->findText(workload));
    count->setCurrentIndex(perProcessor ? 1 : 0);
    Child<QTabWidget>(QStringLiteral("PageControl"))->setCurrentIndex(stress ? 1 : 0);
    QTest::mouseClick(
        Child<QPushButton>(stress ? QStringLiteral("Sp4Button") : QStringLiteral("Sp1Button")),
        Qt::LeftButton);
    QCOMPARE(int(workers.made.size()), made);
    QVERIFY(!load->isEnabled() && !count->isEnabled());
    BoxWatcher watcher;
    const int ticks = stress ? TTestPlan::StressTicks(0) : TTestPlan::BenchmarkTicks;
    for (int tick = 0; tick < ticks; ++tick) {
        clock.Tick(form->findChild<QTimer*>(stress ? "StressTestTimer" : "BenchmarkTimer"));
    }
    QCOMPARE(watcher.Seen().size(), 1);
    QVERIFY(load->isEnabled() && count->isEnabled());
    const QByteArray line = form->ReportLog().Line(0);
    QVERIFY2(line.endsWith((stress ? "completed." : QByteArray("4321")) + notes), line);
}

void TestMonitor::selfTestVerdict_data() {
    QTest::addColumn<QByteArray>("script"); // empty: no such program
    QTest::addColumn<QString>("verdict");
    const QByteArray row = "echo 'wrong remainder  1  yes'\n";
    QTest::newRow("passed") << "printf \"" + row + "\"; exit 0"
                            << "Self-test passed";
    QTest::newRow("failed") << "printf \"" + row + "\"; exit 1"
                            << "Self-test FAILED";
    QTest::newRow("inconclusive") << "printf \"" + row + "\"; exit 7"
                                  << "Self-test inconclusive";
    QTest::newRow("killed") << QByteArray("kill -9 $$") << "Self-test not finished";
    QTest::newRow("missing") << QByteArray() << "Self-test not run: ";
}

// What morvel-cli says and how it ends, as the tab shows it.
void TestMonitor::selfTestVerdict() {
    QFETCH(QByteArray, script);
    QFETCH(QString, verdict);
    const QString program = dataDir->filePath(QStringLiteral("morvel-cli"));
    if (!script.isEmpty()) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script + "\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    }
    auto* panel = Child<TSelfTestPanel>(QStringLiteral("MonitorSelfTest"));
    panel->SetProgram(program);
    QSignalSpy finished(panel, &TSelfTestPanel::Finished);
    QTest::mouseClick(panel->Button(), Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QVERIFY2(Verdict().startsWith(verdict), qPrintable(Verdict()));
    const QString output =
        Child<QPlainTextEdit>(QStringLiteral("MonitorSelfTestOutput"))->toPlainText();
    QCOMPARE(output.contains(QStringLiteral("wrong remainder")), script.contains("printf"));
    QCOMPARE(panel->Button()->text(), QStringLiteral("Self-test"));
}

// The real morvel-cli: refused while the window runs a test, and the window refuses a test while
// the self-test runs; stopped from the tab.
void TestMonitor::selfTestAndRunShareTheLock() {
    ShowAndActivate();
    auto* panel = Child<TSelfTestPanel>(QStringLiteral("MonitorSelfTest"));
    panel->SetProgram(QStringLiteral(MORVEL_CLI_PATH));
    QSignalSpy finished(panel, &TSelfTestPanel::Finished);
    QTest::mouseClick(Child<QPushButton>(QStringLiteral("Sp1Button")), Qt::LeftButton);
    QTest::mouseClick(panel->Button(), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(Verdict(), QStringLiteral("Self-test not run: morvel-cli: Another test is running "
                                       "(process %1).")
                            .arg(QCoreApplication::applicationPid()));
    QVERIFY(form->close()); // the benchmark ends with the window

    // The lock's file names its holder once it holds it.
    QVERIFY(QFile::remove(TRunLock::DefaultPath()));
    QTest::mouseClick(panel->Button(), Qt::LeftButton);
    QVERIFY(panel->Running());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(TRunLock::DefaultPath()).size() > 0, 20000);
    const int made = int(workers.made.size());
    BoxWatcher watcher;
    QTest::mouseClick(Child<QPushButton>(QStringLiteral("Sp4Button")), Qt::LeftButton);
    QCOMPARE(int(workers.made.size()), made);
    QCOMPARE(watcher.Seen().size(), 1);
    QVERIFY2(watcher.Seen().constFirst().contains(QStringLiteral("Another test is running")),
             qPrintable(watcher.Seen().constFirst()));
    QCOMPARE(panel->Button()->text(), QStringLiteral("Stop self-test"));
    QTest::mouseClick(panel->Button(), Qt::LeftButton);
    QVERIFY(finished.wait(20000));
    QCOMPARE(Verdict(), QStringLiteral("Self-test stopped"));
}

MORVEL_GUI_TEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
