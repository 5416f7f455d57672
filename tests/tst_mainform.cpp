// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ChildSignal.h"
#include "FormFixture.h"
#include "GuiTestMain.h"
#include "ReportFileFormat.h"
#include "ResultLines.h"
#include "SThreadUnit.h"
#include "TApplication.h"
#include "TGauge.h"
#include "TReportLog.h"
#include "TSelfTestPanel.h"
#include "Unprivileged.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

// The title of every box, from the test program's file name.
const QString Title = QStringLiteral("tst_mainform");
const QString At = QStringLiteral("05/03/2024 14:07:09"); // the default clock, written en_GB

QString Box(const QString& text, QMessageBox::Icon icon = QMessageBox::NoIcon) {
    return BoxWatcher::Entry(Title, text, icon);
}

TFormatSettings Locale(const char* name) {
    return TFormatSettings::FromLocale(QLocale(QString::fromLatin1(name)));
}

int ConsoleLines(const QPlainTextEdit* console) {
    return console->document()->isEmpty() ? 0 : console->document()->blockCount();
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList ListItems(const QListView* view) {
    QStringList items;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        items << model->data(model->index(row, 0)).toString();
    }
    return items;
}

} // namespace

class TestMainForm : public QObject, FormFixture {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void benchmarkRun_data();
    void benchmarkRun();
    void stressRun_data();
    void stressRun();
    void failedRun_data();
    void failedRun();
    void startDuringRun_data();
    void startDuringRun();
    void refusedStart_data();
    void refusedStart();
    void firstActivation_data();
    void firstActivation();
    void clearAndClose_data();
    void clearAndClose();
    void unchangedLogIsNotWritten();
    void saveDuringARunKeepsItsJournal();
    void windowLooks();
    void keyboard_data();
    void keyboard();
    void accessibilityTreeNamesEveryControl();
    void interruptedRunFromItsJournal_data();
    void interruptedRunFromItsJournal();
    void resultKeptInTheJournalUntilSaved();
    void unprivilegedCases();
    void runLockSharedWithMorvelCli();
    void resultSurvivesSigkill();
    void completedRunThenWait(); // the child of resultSurvivesSigkill

private:
    // The controls of one kind of run.
    struct Kind {
        bool stress;
        int tab;
        QPushButton* button;
        QTimer* timer;
        QPlainTextEdit* console;
        TGauge* gauge;
    };
    Kind Controls(bool stress) {
        const char* const names[2][4] = {
            {"Sp1Button", "BenchmarkTimer", "outPutMemo", "BenchTestGauge"},
            {"Sp4Button", "StressTestTimer", "outputStressTest", "testGauge"}};
        const auto& n = names[stress ? 1 : 0];
        return Kind{stress,
                    stress ? 1 : 0,
                    Child<QPushButton>(n[0]),
                    Child<QTimer>(n[1]),
                    Child<QPlainTextEdit>(n[2]),
                    Child<TGauge>(n[3])};
    }
    void Start(const Kind& kind) {
        Child<QTabWidget>("PageControl")->setCurrentIndex(kind.tab);
        QTest::mouseClick(kind.button, Qt::LeftButton);
    }
    void Tick(const Kind& kind) { clock.Tick(kind.timer); }
    // True when every worker made so far was told to stop.
    bool AllStopRequested() const {
        return std::all_of(workers.made.begin(), workers.made.end(),
                           [](const auto& worker) { return worker->stopped; });
    }
    // The lines of the window's report log.
    std::vector<QByteArray> LogLines() const {
        std::vector<QByteArray> lines;
        for (int i = 0; i < form->ReportLog().Count(); ++i) {
            lines.push_back(form->ReportLog().Line(i));
        }
        return lines;
    }
    // The report file of these lines: each followed by CR LF.
    static QByteArray FileOf(const std::vector<QByteArray>& lines) {
        QByteArray bytes;
        for (const QByteArray& line : lines) {
            bytes += line + "\r\n";
        }
        return bytes;
    }
    QString ReportFile() const {
        return dataDir->path() + QStringLiteral("/morvel/MorvelReport.dat");
    }

    std::unique_ptr<QAbstractItemModelTester> modelTester;
};

void TestMainForm::init() {
    // Healthy stand-ins on the known path, unless a test prepares them otherwise.
    MakeForm([](TFakeWorker& worker, int slot) {
        worker.Settle(432100000 + slot);
        worker.divisor = 3 + 2 * slot;
    });
    QCOMPARE(form->ReportLog().FileName(), ReportFile());
    // The model the report list shows keeps Qt's rules through every case's loads, added lines
    // and clears; a broken one fails the case.
    modelTester = std::make_unique<QAbstractItemModelTester>(
        Child<QListView>("ListBoxReport")->model(),
        QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    form->SetClock([when] { return when; });
    form->SetFormatSettings(Locale("en_GB"));
}

void TestMainForm::cleanup() {
    modelTester.reset();
    DropForm();
}

void TestMainForm::benchmarkRun_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("dateTimeText");
    QTest::newRow("day-month-year, 24-hour clock")
        << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)) << "en_GB" << At;
    QTest::newRow("midnight, milliseconds ignored")
        << QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0, 500)) << "en_US"
        << "12/7/2026";
}

// A whole benchmark as the user sees it: a console line and the gauge per tick, then the score
// in the log before the closing box.
void TestMainForm::benchmarkRun() {
    QFETCH(QDateTime, when);
    QFETCH(QString, locale);
    QFETCH(QString, dateTimeText);
    form->SetClock([when] { return when; });
    form->SetFormatSettings(Locale(qPrintable(locale)));
    ShowAndActivate();
    const Kind bench = Controls(false);
    QVERIFY(!bench.timer->isActive());
    QCOMPARE(bench.timer->interval(), 1000);
    QCOMPARE(bench.timer->timerType(), Qt::PreciseTimer);

    Start(bench);
    QVERIFY(bench.timer->isActive());
    QCOMPARE(int(workers.made.size()), 15);
    int mostLines = 0;
    connect(bench.console->document(), &QTextDocument::contentsChanged, this,
            [&] { mostLines = std::max(mostLines, ConsoleLines(bench.console)); });
    const std::map<int, int> gaugeAt{{1, 0}, {2, 1}, {89, 49}, {90, 50}, {179, 99}};
    int logLinesWhileShown = -1;
    QByteArray fileWhileShown;
    BoxWatcher watcher([&] {
        logLinesWhileShown = form->ReportLog().Count();
        fileWhileShown = ReadAll(ReportFile());
    });
    for (int tick = 1; tick < TTestPlan::BenchmarkTicks; ++tick) {
        Tick(bench);
        QCOMPARE(ConsoleLines(bench.console), tick);
        if (auto it = gaugeAt.find(tick); it != gaugeAt.end()) {
            QCOMPARE(bench.gauge->progress(), it->second);
        }
    }
    QVERIFY(watcher.Seen().isEmpty());
    const QString lastLine = bench.console->document()->lastBlock().text();
    QCOMPARE(lastLine, QStringLiteral("  3  5  7  9  11  13  15  17  19  21  23  25  27  29  31"));

    Tick(bench);
    QCOMPARE(mostLines, 180);
    QCOMPARE(ConsoleLines(bench.console), 0);
    QCOMPARE(bench.gauge->progress(), 0);
    QVERIFY(!bench.timer->isActive());
    QCOMPARE(watcher.Seen(), QStringList{Box("Benchmark Test Completed")});
    QCOMPARE(logLinesWhileShown, 1);

    // Every worker is told to stop; the slowest did 432,100,000 divisions.
    QVERIFY(AllStopRequested());
    const QByteArray expected = dateTimeText.toUtf8() + "     Benchmark Test Score : 4321";
    QCOMPARE(LogLines(), std::vector<QByteArray>{expected});
    QCOMPARE(ListItems(Child<QListView>("ListBoxReport")),
             QStringList{QString::fromUtf8(expected)});
    // Saved the moment it exists: on disk before the closing box.
    QCOMPARE(fileWhileShown, expected + "\r\n");
}

void TestMainForm::stressRun_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("changeAfterTick"); // to the first entry
    QTest::addColumn<int>("completesAt");
    QTest::addColumn<int>("gaugeTick");
    QTest::addColumn<int>("gaugeValue");
    QTest::addColumn<QString>("entryText");
    QTest::newRow("60min (1hrs)") << 2 << -1 << 3600 << 3599 << 99 << "60min (1hrs)";
    QTest::newRow("40min changed to 20min after tick 1500")
        << 1 << 1500 << 1501 << 1500 << 62 << "20min";
}

void TestMainForm::stressRun() {
    QFETCH(int, entry);
    QFETCH(int, changeAfterTick);
    QFETCH(int, completesAt);
    QFETCH(int, gaugeTick);
    QFETCH(int, gaugeValue);
    QFETCH(QString, entryText);
    ShowAndActivate();
    auto* pages = Child<QTabWidget>("PageControl");
    auto* combo = Child<QComboBox>("timerComboBox");
    const Kind stress = Controls(true);
    pages->setCurrentIndex(1);
    combo->setCurrentIndex(entry);
    Start(stress);
    QVERIFY(stress.timer->isActive());

    int logLinesWhileShown = -1;
    BoxWatcher watcher([&] { logLinesWhileShown = form->ReportLog().Count(); });
    for (int tick = 1; tick < completesAt; ++tick) {
        Tick(stress);
        if (tick == gaugeTick) {
            QCOMPARE(stress.gauge->progress(), gaugeValue);
        }
        if (tick == changeAfterTick) {
            combo->setCurrentIndex(0);
        }
    }
    QVERIFY(watcher.Seen().isEmpty());
    QVERIFY(stress.timer->isActive());
    QCOMPARE(ConsoleLines(stress.console), completesAt - 1);
    QCOMPARE(form->ReportLog().Count(), 0);

    Tick(stress);
    QCOMPARE(watcher.Seen(), QStringList{Box("Stress Test Completed")});
    QCOMPARE(logLinesWhileShown, 1);
    QVERIFY(!stress.timer->isActive());
    QCOMPARE(stress.gauge->progress(), 0);
    QCOMPARE(ConsoleLines(stress.console), 0);
    QVERIFY(AllStopRequested());
    QCOMPARE(LogLines(),
             std::vector<QByteArray>{At.toUtf8() + "     Stress Test (w/ multi-thread process) : " +
                                     entryText.toUtf8() + " test completed."});
    // What the user left stays as it was.
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Stress Test"));
    QCOMPARE(combo->currentText(), entryText);
}

void TestMainForm::failedRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("faultySlot");
    // A worker off the path fails the run in the engine the same way (tst_runengine).
    QTest::newRow("benchmark, worker 8") << false << 7;
    QTest::newRow("stress, worker 15") << true << 14;
}

// A worker whose block differs from the others' stands in for a processor that computes wrongly:
// the run ends at the first tick.
void TestMainForm::failedRun() {
    QFETCH(bool, stress);
    QFETCH(int, faultySlot);
    // The others publish the block's right checksum: a disagreement is settled by computing it.
    const std::uint64_t right = Workload::ComputeBlock(0);
    workers.prepare = [faultySlot, right](TFakeWorker& worker, int slot) {
        worker.Settle();
        worker.ring.Publish({0, slot == faultySlot ? right ^ 1 : right, -1});
    };
    const QString reason = QStringLiteral("computation error in worker %1").arg(faultySlot + 1);
    ShowAndActivate();
    const Kind kind = Controls(stress);
    Start(kind);

    BoxWatcher watcher;
    int ticks = 0;
    while (kind.timer->isActive() && ticks < TTestPlan::BenchmarkTicks) {
        Tick(kind);
        ++ticks;
    }
    QCOMPARE(ticks, 1);
    QCOMPARE(watcher.Seen(),
             QStringList{Box(stress ? "Stress Test Failed" : "Benchmark Test Failed",
                             QMessageBox::Critical)});
    QCOMPARE(kind.gauge->progress(), 0);
    QCOMPARE(ConsoleLines(kind.console), 0);
    QVERIFY(AllStopRequested());
    QCOMPARE(LogLines(), std::vector<QByteArray>{stress ? StressFailedLine(At, "20min", reason)
                                                        : BenchmarkFailedLine(At, reason)});
}

void TestMainForm::startDuringRun_data() {
    QTest::addColumn<bool>("firstIsStress");
    QTest::addColumn<bool>("secondIsStress");
    QTest::newRow("benchmark, then benchmark") << false << false;
    QTest::newRow("benchmark, then stress test") << false << true;
    QTest::newRow("stress test, then benchmark") << true << false;
    QTest::newRow("stress test, then stress test") << true << true;
}

// A start during a run ends that run without a result and starts afresh on new workers, whose
// timer then ticks a tick's length later.
void TestMainForm::startDuringRun() {
    QFETCH(bool, firstIsStress);
    QFETCH(bool, secondIsStress);
    ShowAndActivate();
    const Kind first = Controls(firstIsStress);
    const Kind second = Controls(secondIsStress);
    Start(first);
    for (int i = 0; i < 12; ++i) {
        Tick(first);
    }
    QVERIFY(first.gauge->progress() > 0);
    QCOMPARE(ConsoleLines(first.console), 12);
    const auto firstWorkers = workers.made;

    BoxWatcher watcher;
    QSignalSpy firstTicks(first.timer, &QTimer::timeout);
    QSignalSpy secondTicks(second.timer, &QTimer::timeout);
    Start(second);
    QCOMPARE(first.gauge->progress(), 0);
    QCOMPARE(ConsoleLines(first.console), 0);
    QVERIFY(second.timer->isActive());
    QCOMPARE(first.timer->isActive(), firstIsStress == secondIsStress);
    QCOMPARE(int(firstWorkers.size()), 15);
    for (const auto& worker : firstWorkers) {
        QVERIFY(worker->stopped);
    }
    QCOMPARE(int(workers.made.size()), 30);
    for (int slot = 0; slot < 15; ++slot) {
        QVERIFY(!workers.made[15u + unsigned(slot)]->StopRequested());
    }
    clock.now += TTestPlan::TickInterval;
    QTRY_COMPARE_WITH_TIMEOUT(ConsoleLines(second.console), 1, 3000);
    // One timer ticks: the first run's timer, where it is another, stays silent.
    QCOMPARE(secondTicks.count(), 1);
    QCOMPARE(firstTicks.count(), 1 - int(firstIsStress != secondIsStress));
    QCOMPARE(form->ReportLog().Count(), 0);
    QVERIFY(watcher.Seen().isEmpty());
}

void TestMainForm::refusedStart_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("refusedWorker");
    QTest::newRow("benchmark, the first worker") << false << 0;
    QTest::newRow("stress test, the last worker") << true << 14;
}

// The system refuses a thread: the error box, and nothing else happens: no worker runs, the
// timer is stopped and never ticks, no line is added.
void TestMainForm::refusedStart() {
    QFETCH(bool, stress);
    QFETCH(int, refusedWorker);
    ShowAndActivate();
    const Kind kind = Controls(stress);
    workers.refuseAt = refusedWorker;
    QSignalSpy ticks(kind.timer, &QTimer::timeout);
    BoxWatcher watcher;
    Start(kind);
    QCOMPARE(watcher.Seen(),
             QStringList{Box("Resource temporarily unavailable.", QMessageBox::Critical)});
    QVERIFY(!kind.timer->isActive());
    QCOMPARE(int(workers.made.size()), refusedWorker);
    QVERIFY(AllStopRequested());
    QTest::qWait(1500);
    QCOMPARE(ticks.count(), 0);
    QCOMPARE(ConsoleLines(kind.console), 0);
    QCOMPARE(form->ReportLog().Count(), 0);
}

void TestMainForm::firstActivation_data() {
    QTest::addColumn<QByteArray>("fileBytes"); // empty: no file
    QTest::addColumn<QByteArrayList>("logBefore");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("no report file") << QByteArray() << QByteArrayList{} << QStringList{};
    QTest::newRow("report file loaded")
        << QByteArray("first line\r\nsecond line\r\n") << QByteArrayList{}
        << QStringList{"first line", "second line"};
    QTest::newRow("log not empty: file left alone")
        << QByteArray("first line\r\n") << QByteArrayList{"already here"}
        << QStringList{"already here"};
}

void TestMainForm::firstActivation() {
    QFETCH(QByteArray, fileBytes);
    QFETCH(QByteArrayList, logBefore);
    QFETCH(QStringList, shown);
    if (!fileBytes.isEmpty()) {
        WriteFile(ReportFile(), fileBytes);
    }
    for (const QByteArray& line : logBefore) {
        form->ReportLog().AddLine(line);
    }
    auto* pages = Child<QTabWidget>("PageControl");
    auto* combo = Child<QComboBox>("timerComboBox");
    pages->setCurrentIndex(2);
    combo->setCurrentIndex(5);

    ShowAndActivate();
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Bench Test"));
    QCOMPARE(combo->currentText(), TTestPlan::Durations().front().Text);
    QVERIFY(!Child<QTimer>("StressTestTimer")->isActive());
    QCOMPARE(ListItems(Child<QListView>("ListBoxReport")), shown);
    QCOMPARE(QFile::exists(ReportFile()), !fileBytes.isEmpty());

    // Activation happens once per start: a later activation loads nothing again.
    WriteFile(ReportFile(), "late line\r\n");
    form->ReportLog().Clear();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    QCOMPARE(form->ReportLog().Count(), 0);
}

void TestMainForm::clearAndClose_data() {
    QTest::addColumn<bool>("clear");
    QTest::addColumn<bool>("blocked"); // a file where the report folder should be
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("fileBytes");
    const QByteArrayList two{"one", "two"};
    const QByteArrayList kept{"kept line"};
    QTest::newRow("clear") << true << false << two << QByteArray();
    QTest::newRow("close") << false << false << two << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("close with an empty log") << false << false << QByteArrayList{} << QByteArray();
    QTest::newRow("clear, cannot save") << true << true << kept << QByteArray();
    QTest::newRow("close, cannot save") << false << true << kept << QByteArray("kept line\r\n");
}

// Clearing saves the emptied log, closing saves the log. A save that fails says so in a box and
// the program goes on with the log as it is; the next attempt saves once the way is clear.
void TestMainForm::clearAndClose() {
    QFETCH(bool, clear);
    QFETCH(bool, blocked);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, fileBytes);
    ShowAndActivate();
    for (const QByteArray& line : lines) {
        form->ReportLog().AddLine(line);
    }
    const QString blocker = dataDir->path() + QStringLiteral("/morvel");
    if (blocked) {
        WriteFile(blocker, "in the way");
    }
    Child<QTabWidget>("PageControl")->setCurrentIndex(2);
    const auto act = [&] {
        if (clear) {
            QTest::mouseClick(Child<QPushButton>("SpClearButton"), Qt::LeftButton);
            return true;
        }
        return form->close();
    };
    BoxWatcher watcher;
    const QString box = Box("Cannot create file " + ReportFile() + ".", QMessageBox::Critical);
    for (int attempt = 1; blocked && attempt <= 2; ++attempt) {
        QVERIFY(act() == clear);
        QVERIFY(form->isVisible());
        QCOMPARE(watcher.Seen(), QStringList(attempt, box));
        QCOMPARE(form->ReportLog().Count(), clear ? 0 : lines.size());
    }
    if (blocked) {
        QVERIFY(QFile::remove(blocker));
    }
    QVERIFY(act());
    QCOMPARE(form->isVisible(), clear);
    QCOMPARE(watcher.Seen().size(), blocked ? 2 : 0);
    QCOMPARE(ListItems(Child<QListView>("ListBoxReport")).size(), clear ? 0 : lines.size());
    QCOMPARE(ReadAll(ReportFile()), fileBytes);
}

// A save while a run is active leaves that run's journal alone, though a journal of the same
// name, recorded at the start when its save failed, was waiting to be removed.
void TestMainForm::saveDuringARunKeepsItsJournal() {
    const QString journalFile = TRunJournal::PathFor(ReportFile());
    WriteFile(journalFile, "test=benchmark\nticks=37\nupdated=2024-03-05T14:07:09\n");
    const QString blocker = dataDir->path() + QStringLiteral("/morvel");
    WriteFile(blocker, "in the way");
    BoxWatcher watcher;
    ShowAndActivate();
    QTRY_COMPARE(watcher.Seen().size(), 1);
    QVERIFY(QFile::remove(blocker));
    Start(Controls(true));
    QVERIFY(ReadAll(journalFile).startsWith("test=stress\n"));
    Child<QTabWidget>("PageControl")->setCurrentIndex(2);
    QTest::mouseClick(Child<QPushButton>("SpClearButton"), Qt::LeftButton);
    QCOMPARE(ReadAll(ReportFile()), QByteArray());
    QVERIFY(ReadAll(journalFile).startsWith("test=stress\n"));
}

// A log unchanged since it was loaded is not written: the window closes even where its file can
// no longer be written (here a file-size limit every write passes), and the file stays as it was.
void TestMainForm::unchangedLogIsNotWritten() {
    WriteFile(ReportFile(), "kept line\r\n");
    ShowAndActivate();
    QCOMPARE(form->ReportLog().Count(), 1);
    rlimit was{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &was), 0);
    const rlimit tiny{1, was.rlim_max};
    const auto oldAction = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    BoxWatcher watcher;
    const bool closed = form->close();
    setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldAction);
    QVERIFY(closed);
    QVERIFY(watcher.Seen().isEmpty());
    QCOMPARE(ReadAll(ReportFile()), QByteArray("kept line\r\n"));
}

void TestMainForm::windowLooks() {
    // Activation puts these controls in place whatever was done to them before.
    const std::map<QString, QPoint> placed{{"Sp1Button", {317, 20}},
                                           {"Sp4Button", {317, 11}},
                                           {"SpClearButton", {758, 16}},
                                           {"timerComboBox", {7, 24}}};
    for (const auto& [name, at] : placed) {
        Child<QWidget>(qPrintable(name))->move(0, 0);
    }
    ShowAndActivate();
    for (const auto& [name, at] : placed) {
        QCOMPARE(Child<QWidget>(qPrintable(name))->pos(), at);
    }
    QCOMPARE(form->size(), QSize(924, 576));
    QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->windowTitle(), QStringLiteral("MORVEL - V 3.0"));
    auto* pages = Child<QTabWidget>("PageControl");
    QCOMPARE(pages->count(), 4);
    QCOMPARE(pages->tabText(0), QStringLiteral("Bench Test"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Stress Test"));
    QCOMPARE(pages->tabText(2), QStringLiteral("Reports"));
    // The duration box offers the engine's durations, in its order.
    auto* combo = Child<QComboBox>("timerComboBox");
    QCOMPARE(combo->count(), int(TTestPlan::Durations().size()));
    for (int i = 0; i < combo->count(); ++i) {
        QCOMPARE(combo->itemText(i), TTestPlan::Durations()[static_cast<std::size_t>(i)].Text);
    }

    // The banner lies 87 pixels from the left of the strip, at its top.
    auto* strip = Child<QWidget>("Image2");
    QCOMPARE(strip->geometry(), QRect(0, 576 - 75, 924, 75));
    const QImage banner(QStringLiteral(":/banner.jpg"));
    QVERIFY(!banner.isNull());
    const QImage shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const QPoint& at :
         {QPoint(0, 0), QPoint(749, 0), QPoint(0, 74), QPoint(749, 74), QPoint(375, 37)}) {
        QCOMPARE(QColor(shot.pixel(strip->geometry().topLeft() + QPoint(87, 0) + at)),
                 QColor(banner.pixel(at)));
    }
}

void TestMainForm::keyboard_data() {
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("button"); // whose tooltip names the keys; empty: a tab only
    QTest::addColumn<int>("tab");
    QTest::newRow("Ctrl+B: the benchmark") << QKeySequence("Ctrl+B") << "Sp1Button" << 0;
    QTest::newRow("Ctrl+T: the stress test") << QKeySequence("Ctrl+T") << "Sp4Button" << 1;
    QTest::newRow("Ctrl+Shift+L: clear reports")
        << QKeySequence("Ctrl+Shift+L") << "SpClearButton" << 2;
    QTest::newRow("Ctrl+3: the reports") << QKeySequence("Ctrl+3") << "" << 2;
    QTest::newRow("Ctrl+Shift+S: the self-test")
        << QKeySequence("Ctrl+Shift+S") << "MonitorSelfTestButton" << 3;
}

// Every action from the keyboard, from any tab, though no button takes the focus.
void TestMainForm::keyboard() {
    QFETCH(QKeySequence, keys);
    QFETCH(QString, button);
    QFETCH(int, tab);
    WriteFile(ReportFile(), "12/1/2026 9:14:02 AM     Benchmark Test Score : 4688\r\n");
    form = std::make_unique<TMainForm>(workers.Factory());
    Child<TSelfTestPanel>("MonitorSelfTest")->SetProgram(QStringLiteral("/bin/true"));
    ShowAndActivate();
    auto* pages = Child<QTabWidget>("PageControl");
    pages->setCurrentIndex(tab == 0 ? 1 : 0);
    QSignalSpy clicked(button.isEmpty() ? static_cast<QObject*>(pages)
                                        : Child<QPushButton>(qPrintable(button)),
                       button.isEmpty() ? SIGNAL(currentChanged(int)) : SIGNAL(clicked()));
    QTest::keySequence(form.get(), keys);
    QCOMPARE(pages->currentIndex(), tab);
    QCOMPARE(clicked.count(), 1);
    if (!button.isEmpty()) {
        QVERIFY(Child<QPushButton>(qPrintable(button))
                    ->toolTip()
                    .contains(keys.toString(QKeySequence::NativeText)));
    }
    const Kind bench = Controls(false);
    const Kind stress = Controls(true);
    QCOMPARE(bench.timer->isActive(), button == "Sp1Button");
    QCOMPARE(stress.timer->isActive(), button == "Sp4Button");
    QCOMPARE(form->ReportLog().Count(), button == "SpClearButton" ? 0 : 1);
}

// What assistive technology finds: every control of every tab named, the gauges as progress
// bars with their per cent.
void TestMainForm::accessibilityTreeNamesEveryControl() {
    ShowAndActivate();
    form->findChild<TGauge*>("BenchTestGauge")->setProgress(42);
    QMap<QString, QAccessible::Role> found;
    QStringList unnamed;
    const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        // A box's Name is its current choice: what it is for is its description.
        const QString name = node->text(
            node->role() == QAccessible::ComboBox ? QAccessible::Description : QAccessible::Name);
        switch (node->role()) {
        case QAccessible::Button:
        case QAccessible::ComboBox:
        case QAccessible::List:
        case QAccessible::ProgressBar:
        case QAccessible::EditableText:
        case QAccessible::PageTab:
        case QAccessible::Graphic:
            name.isEmpty() ? void(unnamed << node->object()->metaObject()->className())
                           : void(found.insert(name, node->role()));
            break;
        default:
            break;
        }
        for (int i = 0; i < node->childCount(); ++i) {
            walk(node->child(i));
        }
    };
    walk(QAccessible::queryAccessibleInterface(form.get()));
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    // The walk reaches every page, the ones not on show too; the names themselves are in
    // tst_layout's table of what the user sees.
    QCOMPARE(found.value("Report log"), QAccessible::List);
    QCOMPARE(found.value("Self-test"), QAccessible::Button);
    QAccessibleInterface* gauge =
        QAccessible::queryAccessibleInterface(form->findChild<TGauge*>("BenchTestGauge"));
    QCOMPARE(gauge->text(QAccessible::Value), QStringLiteral("42%"));
    QCOMPARE(gauge->valueInterface()->currentValue().toInt(), 42);
}

void TestMainForm::interruptedRunFromItsJournal_data() {
    QTest::addColumn<QByteArray>("journal");
    // fine; blocked: a file where the report folder should be; bad: the journal is not valid;
    // unloadable: the report file cannot be read; fixed: the journal cannot be removed (a
    // read-only state folder, as a user other than root)
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("line"); // empty: none
    const QByteArray updated = "updated=2024-03-05T14:07:09\n";
    const QByteArray benchmark = At.toUtf8() + "     Benchmark Test INTERRUPTED after 37 s";
    QTest::newRow("benchmark") << "test=benchmark\nticks=37\n" + updated << "fine" << benchmark;
    QTest::newRow("stress test, cannot save at first")
        << "test=stress\nduration=180min (3hrs)\nticks=7261\n" + updated << "blocked"
        << At.toUtf8() +
               "     Stress Test (w/ multi-thread process) : 180min (3hrs) test INTERRUPTED "
               "after 121 min.";
    QTest::newRow("not valid: set aside, nothing written")
        << "test=benchmark\nticks=999\n" + updated << "bad" << QByteArray();
    QTest::newRow("report file unreadable: kept for a later start")
        << "test=benchmark\nticks=37\n" + updated << "unloadable" << benchmark;
    QTest::newRow("journal cannot be removed: its line once")
        << "test=benchmark\nticks=37\n" + updated << "fixed" << benchmark;
}

// Journals left behind by runs the machine or the program did not survive: after the log is
// loaded their lines are added and saved, and the journals go once the lines are on disk.
void TestMainForm::interruptedRunFromItsJournal() {
    QFETCH(QByteArray, journal);
    QFETCH(QString, setup);
    QFETCH(QByteArray, line);
    if (setup == "fixed" && geteuid() == 0) {
        QSKIP("root removes files from a read-only folder: run as another user");
    }
    const QString journalFile = TRunJournal::PathFor(ReportFile());
    WriteFile(journalFile, journal);
    if (setup == "blocked") {
        WriteFile(dataDir->path() + "/morvel", "in the way");
    } else if (setup == "unloadable") {
        // Read by anyone, root too, it fails with an I/O error.
        QDir().mkpath(dataDir->path() + "/morvel");
        QVERIFY(QFile::link("/proc/self/mem", ReportFile()));
    } else {
        WriteFile(ReportFile(), "earlier\r\n");
    }
    if (setup == "fixed") {
        QVERIFY(QFile::setPermissions(QFileInfo(journalFile).absolutePath(),
                                      QFile::ReadOwner | QFile::ExeOwner));
    }
    BoxWatcher watcher;
    ShowAndActivate();
    std::vector<QByteArray> lines{"earlier"};
    if (setup == "blocked") {
        lines = {line};
        QCOMPARE(LogLines(), lines);
        QTRY_COMPARE(watcher.Seen().size(), 1);
        QVERIFY(watcher.Seen().front().contains("Cannot create file"));
        QVERIFY(QFile::exists(journalFile));
        QVERIFY(QFile::remove(dataDir->path() + "/morvel"));
        QVERIFY(form->close());
    } else if (setup == "bad") {
        QTRY_COMPARE(watcher.Seen().size(), 1);
        QVERIFY2(watcher.Seen().front().contains("is not valid (more ticks than the run has)") &&
                     watcher.Seen().front().contains(journalFile + ".bad"),
                 qPrintable(watcher.Seen().front()));
        QCOMPARE(ReadAll(journalFile + ".bad"), journal);
    } else if (setup == "unloadable") {
        QTRY_COMPARE(watcher.Seen().size(), 1);
        QVERIFY(watcher.Seen().front().contains("Cannot open file"));
        QCOMPARE(form->ReportLog().Count(), 0);
        // A run in the meantime keeps its own journal, and the one left behind whole.
        Start(Controls(false));
        QVERIFY(form->close());
        form = std::make_unique<TMainForm>(workers.Factory());
        form->SetFormatSettings(Locale("en_GB"));
        ShowAndActivate();
        QCOMPARE(watcher.Seen().size(), 1);
        lines = {line};
    } else if (setup == "fixed") {
        lines.push_back(line);
        QTRY_COMPARE(watcher.Seen().size(), 1);
        QVERIFY2(watcher.Seen().front().contains("Cannot remove file " + journalFile),
                 qPrintable(watcher.Seen().front()));
        QCOMPARE(ReadAll(ReportFile()), FileOf(lines));
        // The next start neither adds the line again nor says so again.
        form = std::make_unique<TMainForm>(workers.Factory());
        form->SetFormatSettings(Locale("en_GB"));
        ShowAndActivate();
        QVERIFY(form->close());
        QCOMPARE(watcher.Seen().size(), 1);
        QVERIFY(QFile::setPermissions(QFileInfo(journalFile).absolutePath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    } else {
        lines.push_back(line);
    }
    QCOMPARE(LogLines(), lines);
    QCOMPARE(QFile::exists(journalFile), setup == "fixed");
    QCOMPARE(ReadAll(ReportFile()), FileOf(lines));
}

// A run's result is not safe until its line is on disk: when the save fails, the run's journal
// keeps the line, and a start after a crash records it, once.
void TestMainForm::resultKeptInTheJournalUntilSaved() {
    ShowAndActivate();
    const Kind bench = Controls(false);
    Start(bench);
    const QString journalFile = TRunJournal::PathFor(ReportFile());
    QVERIFY(QFile::exists(journalFile));
    WriteFile(dataDir->path() + "/morvel", "in the way");
    BoxWatcher watcher;
    for (int tick = 0; tick < TTestPlan::BenchmarkTicks; ++tick) {
        Tick(bench);
    }
    QVERIFY(watcher.Seen().front().contains("Cannot create file"));
    const QByteArray result = At.toUtf8() + "     Benchmark Test Score : 4321";
    QCOMPARE(LogLines(), std::vector<QByteArray>{result});
    QVERIFY(ReadAll(journalFile).contains("result=" + result + "\n"));
    // The program dies; the folder is fixed; the next start records the result.
    form.reset();
    QVERIFY(QFile::remove(dataDir->path() + "/morvel"));
    form = std::make_unique<TMainForm>(workers.Factory());
    ShowAndActivate();
    QCOMPARE(ReadAll(ReportFile()), result + "\r\n");
    QVERIFY(!QFile::exists(journalFile));
}

// Permission bits do not stop root: as root, the cases that need them run again in this test
// program as the unprivileged user "nobody".
void TestMainForm::unprivilegedCases() {
    if (geteuid() != 0) {
        QSKIP("not root: those cases ran directly");
    }
    const QStringList cases{
        "interruptedRunFromItsJournal:journal cannot be removed: its line once"};
    const QByteArray failures = FailuresAsNobody(cases);
    QVERIFY2(failures.isEmpty(), failures.constData());
}

// One test at a time across processes: the window's run holds the lock against morvel-cli, and
// morvel-cli's run against the window.
void TestMainForm::runLockSharedWithMorvelCli() {
    ShowAndActivate();
    const Kind bench = Controls(false);
    Start(bench);
    QVERIFY(bench.timer->isActive());
    QProcess cli;
    cli.start(QStringLiteral(MORVEL_CLI_PATH), {"--workers", "1", "stress", "20"});
    QVERIFY(cli.waitForFinished(20000));
    QCOMPARE(cli.exitCode(), 5);
    QCOMPARE(cli.readAllStandardError(),
             QStringLiteral("morvel-cli: Another test is running (process %1).\n")
                 .arg(QCoreApplication::applicationPid())
                 .toUtf8());

    // Closing the window ends its run; now morvel-cli runs and the window starts nothing.
    QVERIFY(form->close());
    cli.start(QStringLiteral(MORVEL_CLI_PATH), {"--workers", "1", "stress", "20"});
    QVERIFY(cli.waitForStarted());
    const QByteArray pid = QByteArray::number(cli.processId());
    QTRY_VERIFY_WITH_TIMEOUT(ReadAll(TRunLock::DefaultPath()).startsWith(pid), 10000);
    form = std::make_unique<TMainForm>(workers.Factory());
    ShowAndActivate();
    const int made = int(workers.made.size());
    BoxWatcher watcher;
    Start(Controls(true));
    QCOMPARE(watcher.Seen(), QStringList{Box("Another test is running (process " + pid + ").",
                                             QMessageBox::Critical)});
    QVERIFY(!Controls(true).timer->isActive());
    QCOMPARE(int(workers.made.size()), made);
    QVERIFY(SignalChild(cli, SIGTERM));
    QVERIFY(cli.waitForFinished(10000));
}

// The result is on disk the moment the closing box shows: a program killed then keeps it.
void TestMainForm::resultSurvivesSigkill() {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MORVEL_TEST_CHILD", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"completedRunThenWait"});
    QByteArray out;
    const auto shown = [&out] {
        const qsizetype at = out.indexOf("box up: ");
        return at >= 0 && out.indexOf('\n', at) > at;
    };
    for (int i = 0; i < 300 && !shown(); ++i) {
        child.waitForReadyRead(100);
        out += child.readAllStandardOutput();
    }
    QVERIFY2(shown(), out.constData());
    out = out.mid(out.indexOf("box up: "));
    out.truncate(out.indexOf('\n'));
    child.kill(); // SIGKILL
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    const QString report = QString::fromLocal8Bit(out.mid(8).trimmed());
    QCOMPARE(ReadAll(report), At.toUtf8() + "     Benchmark Test Score : 4321\r\n");
    QDir(QFileInfo(report).absolutePath() + "/..").removeRecursively();
}

void TestMainForm::completedRunThenWait() {
    if (qEnvironmentVariableIsEmpty("MORVEL_TEST_CHILD")) {
        QSKIP("the child run of resultSurvivesSigkill");
    }
    dataDir->setAutoRemove(false); // the parent reads it after the kill
    ShowAndActivate();
    const Kind bench = Controls(false);
    Start(bench);
    BoxWatcher watcher([&] {
        std::printf("box up: %s\n", qPrintable(ReportFile()));
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::minutes(5)); // until killed
    });
    for (int tick = 0; tick < TTestPlan::BenchmarkTicks; ++tick) {
        Tick(bench);
    }
}

MORVEL_GUI_TEST_MAIN(TestMainForm)

#include "tst_mainform.moc"
