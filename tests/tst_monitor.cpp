// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The Monitor tab of the real window, fed by its runs' ticks on a fixture machine: a point per
// tick on every chart the machine has figures for, never more points than the bound however
// long the run, the per-processor table and the block check's state.
#include "FormClock.h"
#include "GuiTestMain.h"
#include "MainUnit.h"
#include "TFakeWorker.h"
#include "TMonitor.h"

#include <QChartView>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void ticks_data();
    void ticks();
    void record_data();
    void record();

private:
    template <class T> T* Child(const QString& name) {
        auto* child = form->findChild<T*>(name);
        if (!child) {
            qFatal("no child %s", qPrintable(name));
        }
        return child;
    }
    // The points of a chart's line, by the names the user sees.
    QList<QPointF> Points(const QString& chart, const QString& line) {
        for (QAbstractSeries* series : Child<QChartView>(chart)->chart()->series()) {
            if (series->name() == line) {
                return static_cast<QLineSeries*>(series)->points();
            }
        }
        qFatal("no line %s", qPrintable(line));
    }

    std::unique_ptr<QTemporaryDir> dataDir;
    TFakeWorkers workers;
    TFormClock runClock;
    std::unique_ptr<TMainForm> form;
};

void TestMonitor::init() {
    dataDir = std::make_unique<QTemporaryDir>();
    QVERIFY(dataDir->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir->path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(dataDir->path() + "/state"));
    workers = TFakeWorkers();
    workers.prepare = [](TFakeWorker& worker, int slot) { worker.Settle(432100000 + slot); };
    form = std::make_unique<TMainForm>(workers.Factory());
    runClock.Attach(*form);
    const QString root = QStringLiteral(MORVEL_FIXTURES "/intel-laptop");
    TSystemPaths machine;
    machine.Sys = root + QStringLiteral("/sys");
    machine.Proc = root + QStringLiteral("/proc");
    form->SetMachine(machine);
}

void TestMonitor::cleanup() {
    form.reset();
    dataDir.reset();
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
            runClock.Tick(form->findChild<QTimer*>(stress ? "StressTestTimer" : "BenchmarkTimer"));
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
    const QList<QPointF> clock = Points("MonitorChartFrequency", "highest");
    QVERIFY(std::all_of(clock.begin(), clock.end(), [](QPointF at) { return at.y() == 3400; }));
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

MORVEL_GUI_TEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
