#include "BoxWatcher.h"
#include "MainUnit.h"
#include "TApplication.h"
#include "TGauge.h"
#include "TJpegImage.h"
#include "TReportLog.h"
#include "TVerifier.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

// The title of every box, from the test program's file name.
const QString Title = QStringLiteral("tst_mainform");

TFormatSettings DayMonthYear24() {
    TFormatSettings settings;
    settings.ShortDateFormat = QStringLiteral("dd/MM/yyyy");
    settings.TimeSeparator = QStringLiteral(":");
    settings.LeadingZeroHour = true;
    settings.TwelveHourClock = false;
    return settings;
}

TFormatSettings UnitedStates() {
    TFormatSettings settings;
    settings.ShortDateFormat = QStringLiteral("M/d/yyyy");
    settings.TimeSeparator = QStringLiteral(":");
    settings.LeadingZeroHour = false;
    settings.TwelveHourClock = true;
    settings.AmDesignator = QStringLiteral("AM");
    settings.PmDesignator = QStringLiteral("PM");
    return settings;
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

Q_DECLARE_METATYPE(TFormatSettings)

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void benchmarkRun_data();
    void benchmarkRun();
    void stressRun_data();
    void stressRun();
    void verifiedRun_data();
    void verifiedRun();
    void startDuringRun_data();
    void startDuringRun();
    void timersTick_data();
    void timersTick();
    void firstActivation_data();
    void firstActivation();
    void activationPlacements_data();
    void activationPlacements();
    void clearAndClose_data();
    void clearAndClose();
    void closeThatCannotSave();
    void clearThatCannotSave();
    void windowLooks();

private:
    template <class T> T* Child(const char* name) {
        auto* child = form->findChild<T*>(QString::fromLatin1(name));
        if (!child) {
            qFatal("no child %s", name);
        }
        return child;
    }
    void ShowAndActivate() {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_VERIFY(form->Activated());
    }
    QString ReportFile() const {
        return dataDir->path() + QStringLiteral("/morvel/MorvelReport.dat");
    }

    std::unique_ptr<QTemporaryDir> dataDir;
    std::unique_ptr<TMainForm> form;
};

void TestMainForm::init() {
    dataDir = std::make_unique<QTemporaryDir>();
    QVERIFY(dataDir->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir->path()));
    form = std::make_unique<TMainForm>();
    QCOMPARE(form->ReportLog().FileName(), ReportFile());
}

void TestMainForm::cleanup() {
    form.reset();
    dataDir.reset();
}

void TestMainForm::benchmarkRun_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<TFormatSettings>("format");
    QTest::addColumn<QString>("dateTimeText");

    QTest::newRow("day-month-year, 24-hour clock") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))
                                                   << DayMonthYear24() << "05/03/2024 14:07:09";
    QTest::newRow("United States, afternoon") << QDateTime(QDate(2026, 12, 7), QTime(15, 5, 9))
                                              << UnitedStates() << "12/7/2026 3:05:09 PM";
    QTest::newRow("midnight, milliseconds ignored")
        << QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0, 500)) << UnitedStates() << "12/7/2026";
}

void TestMainForm::benchmarkRun() {
    QFETCH(QDateTime, when);
    QFETCH(TFormatSettings, format);
    QFETCH(QString, dateTimeText);

    form->SetClock([when] { return when; });
    form->SetFormatSettings(format);
    ShowAndActivate();
    auto* console = Child<QPlainTextEdit>("outPutMemo");
    auto* gauge = Child<TGauge>("BenchTestGauge");
    auto* timer = Child<QTimer>("BenchmarkTimer");
    auto* list = Child<QListView>("ListBoxReport");

    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);

    QTest::mouseClick(Child<QPushButton>("Sp1Button"), Qt::LeftButton);
    QVERIFY(timer->isActive());
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        QVERIFY(form->Workers()[slot]);
        QVERIFY(!form->Workers()[slot]->StopRequested());
    }

    int mostLines = 0;
    connect(console->document(), &QTextDocument::contentsChanged, this,
            [&] { mostLines = std::max(mostLines, ConsoleLines(console)); });

    const std::map<int, int> gaugeAt{{1, 0}, {2, 1}, {89, 49}, {90, 50}, {179, 99}};
    const QRegularExpression sample(QStringLiteral("^(  \\d+){15}$"));
    int logLinesWhileShown = -1;
    BoxWatcher watcher([&] { logLinesWhileShown = form->ReportLog().Count(); });
    for (int tick = 1; tick < TMainForm::BenchmarkTicks; ++tick) {
        form->BenchmarkTimerTimer();
        QCOMPARE(ConsoleLines(console), tick);
        if (auto it = gaugeAt.find(tick); it != gaugeAt.end()) {
            QCOMPARE(gauge->progress(), it->second);
        }
    }
    QVERIFY(watcher.Boxes().empty());
    const QString lastLine = console->document()->lastBlock().text();
    QVERIFY2(sample.match(lastLine).hasMatch(), qPrintable(lastLine));
    // Let the workers count before the score is taken.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    form->BenchmarkTimerTimer();

    QCOMPARE(mostLines, 180);
    QCOMPARE(ConsoleLines(console), 0);
    QCOMPARE(gauge->progress(), 0);
    QVERIFY(!timer->isActive());
    QCOMPARE(form->CurrentTick(), 0);

    QCOMPARE(watcher.Boxes().size(), std::size_t{1});
    const auto& box = watcher.Boxes().front();
    QCOMPARE(box.text, QStringLiteral("Benchmark Test Completed"));
    QCOMPARE(box.title, Title);
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, 1);
    QCOMPARE(logLinesWhileShown, 1);

    // Every worker is told to stop; the score is the lowest count read as each one stopped, and
    // a worker can finish at most the division it was in after that.
    std::int64_t lowestFinal = -1;
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        const auto& worker = form->Workers()[slot];
        QVERIFY(worker->StopRequested());
        QTRY_VERIFY(worker->Finished());
        lowestFinal = slot == 0 ? worker->Score() : std::min(lowestFinal, worker->Score());
    }
    const std::int64_t score = form->LastBenchmarkScore();
    QVERIFY(score > 0);
    QVERIFY2(lowestFinal == score || lowestFinal == score + 1,
             qPrintable(QStringLiteral("%1 vs %2").arg(lowestFinal).arg(score)));

    const QByteArray expected =
        dateTimeText.toUtf8() + "     Benchmark Test Score : " + QByteArray::number(score);
    QCOMPARE(form->ReportLog().Count(), 1);
    QCOMPARE(form->ReportLog().Lines().front(), expected);
    QCOMPARE(ListItems(list), QStringList{QString::fromUtf8(expected)});
    QVERIFY(!QFile::exists(ReportFile())); // not saved at completion
}

void TestMainForm::stressRun_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("changeAfterTick");
    QTest::addColumn<int>("changeTo");
    QTest::addColumn<int>("completesAt");
    QTest::addColumn<int>("gaugeTick");
    QTest::addColumn<int>("gaugeValue");
    QTest::addColumn<QString>("entryText");

    QTest::newRow("20min reaches 1% at tick 12") << 0 << -1 << 0 << 1200 << 12 << 1 << "20min";
    QTest::newRow("60min (1hrs)") << 2 << -1 << 0 << 3600 << 3599 << 99 << "60min (1hrs)";
    QTest::newRow("40min changed to 20min after tick 1500")
        << 1 << 1500 << 0 << 1501 << 1500 << 62 << "20min";
}

void TestMainForm::stressRun() {
    QFETCH(int, entry);
    QFETCH(int, changeAfterTick);
    QFETCH(int, changeTo);
    QFETCH(int, completesAt);
    QFETCH(int, gaugeTick);
    QFETCH(int, gaugeValue);
    QFETCH(QString, entryText);

    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    form->SetClock([when] { return when; });
    form->SetFormatSettings(DayMonthYear24());
    ShowAndActivate();
    auto* pages = Child<QTabWidget>("PageControl");
    auto* combo = Child<QComboBox>("timerComboBox");
    auto* console = Child<QPlainTextEdit>("outputStressTest");
    auto* gauge = Child<TGauge>("testGauge");
    auto* timer = Child<QTimer>("StressTestTimer");

    pages->setCurrentIndex(1);
    combo->setCurrentIndex(entry);
    QTest::mouseClick(Child<QPushButton>("Sp4Button"), Qt::LeftButton);
    QVERIFY(timer->isActive());

    int logLinesWhileShown = -1;
    BoxWatcher watcher([&] { logLinesWhileShown = form->ReportLog().Count(); });
    for (int tick = 1; tick < completesAt; ++tick) {
        form->StressTestTimerTimer();
        if (tick == gaugeTick) {
            QCOMPARE(gauge->progress(), gaugeValue);
        }
        if (tick == changeAfterTick) {
            combo->setCurrentIndex(changeTo);
        }
    }
    QVERIFY(watcher.Boxes().empty());
    QVERIFY(timer->isActive());
    QCOMPARE(ConsoleLines(console), completesAt - 1);
    QCOMPARE(form->ReportLog().Count(), 0);
    form->StressTestTimerTimer();

    QCOMPARE(watcher.Boxes().size(), std::size_t{1});
    QCOMPARE(watcher.Boxes().front().text, QStringLiteral("Stress Test Completed"));
    QCOMPARE(watcher.Boxes().front().title, Title);
    QCOMPARE(watcher.Boxes().front().icon, QMessageBox::NoIcon);
    QCOMPARE(logLinesWhileShown, 1);
    QVERIFY(!timer->isActive());
    QCOMPARE(gauge->progress(), 0);
    QCOMPARE(ConsoleLines(console), 0);
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        QVERIFY(form->Workers()[slot]->StopRequested());
    }
    QCOMPARE(
        form->ReportLog().Lines(),
        std::vector<QByteArray>{"05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : " +
                                entryText.toUtf8() + " test completed."});
    // What the user left stays as it was.
    QCOMPARE(pages->tabText(pages->currentIndex()), QStringLiteral("Stress Test"));
    QCOMPARE(combo->currentText(), entryText);
}

void TestMainForm::verifiedRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("faultySlot"); // -1: every worker on the real start value
    QTest::addColumn<QString>("line");   // after the date-time text
    QTest::addColumn<QString>("boxText");

    QTest::newRow("healthy benchmark") << false << -1 << "     Benchmark Test Score : "
                                       << "Benchmark Test Completed";
    QTest::newRow("benchmark, worker 7 off the path")
        << false << 7 << "     Benchmark Test FAILED : computation error in worker 7"
        << "Benchmark Test Failed";
    QTest::newRow("stress, worker 0 off the path")
        << true << 0
        << "     Stress Test (w/ multi-thread process) : 20min test FAILED: computation error in "
           "worker 0."
        << "Stress Test Failed";
    QTest::newRow("stress, worker 14 off the path")
        << true << 14
        << "     Stress Test (w/ multi-thread process) : 20min test FAILED: computation error in "
           "worker 14."
        << "Stress Test Failed";
}

// Every tick checks the workers against the known answer of the workload. A worker started
// below the prime every healthy worker settles on stands in for a processor that computes
// wrongly; the healthy run is a whole benchmark with the workers given time between ticks.
void TestMainForm::verifiedRun() {
    QFETCH(bool, stress);
    QFETCH(int, faultySlot);
    QFETCH(QString, line);
    QFETCH(QString, boxText);

    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    form->SetClock([when] { return when; });
    form->SetFormatSettings(DayMonthYear24());
    TWorkerTable::StartValues values = TWorkerTable::AllStartCandidate();
    if (faultySlot >= 0) {
        values[static_cast<std::size_t>(faultySlot)] = TVerifier::KnownPrime - 2;
    }
    form->SetStartValues(values);
    ShowAndActivate();
    auto* console = Child<QPlainTextEdit>(stress ? "outputStressTest" : "outPutMemo");
    auto* gauge = Child<TGauge>(stress ? "testGauge" : "BenchTestGauge");
    auto* timer = Child<QTimer>(stress ? "StressTestTimer" : "BenchmarkTimer");

    QTest::mouseClick(Child<QPushButton>(stress ? "Sp4Button" : "Sp1Button"), Qt::LeftButton);
    // Wait until every worker is past the composites, however busy the machine is (without
    // letting the real timer tick). The first tick then notes the counts and the second judges.
    const auto settled = [&] {
        for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
            if (form->Workers()[slot]->DivisionCount() <= TVerifier::SettledCount) {
                return false;
            }
        }
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!settled() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QVERIFY(settled());

    BoxWatcher watcher;
    int ticks = 0;
    while (timer->isActive() && ticks < TMainForm::BenchmarkTicks) {
        stress ? form->StressTestTimerTimer() : form->BenchmarkTimerTimer();
        ++ticks;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    QCOMPARE(ticks, faultySlot < 0 ? TMainForm::BenchmarkTicks : 2);

    QCOMPARE(watcher.Boxes().size(), std::size_t{1});
    QCOMPARE(watcher.Boxes().front().text, boxText);
    QCOMPARE(watcher.Boxes().front().title, Title);
    QCOMPARE(watcher.Boxes().front().icon,
             faultySlot < 0 ? QMessageBox::NoIcon : QMessageBox::Critical);
    QVERIFY(!timer->isActive());
    QCOMPARE(form->CurrentTick(), 0);
    QCOMPARE(gauge->progress(), 0);
    QCOMPARE(ConsoleLines(console), 0);
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        QVERIFY(form->Workers()[slot]->StopRequested());
    }
    QCOMPARE(form->ReportLog().Count(), 1);
    const QString added = QString::fromUtf8(form->ReportLog().Lines().front());
    QVERIFY2(added.startsWith("05/03/2024 14:07:09" + line), qPrintable(added));
    if (faultySlot >= 0) {
        QCOMPARE(added, "05/03/2024 14:07:09" + line);
    }
}

void TestMainForm::startDuringRun_data() {
    QTest::addColumn<bool>("firstIsBenchmark");
    QTest::addColumn<bool>("secondIsBenchmark");
    QTest::newRow("benchmark, then benchmark") << true << true;
    QTest::newRow("benchmark, then stress test") << true << false;
    QTest::newRow("stress test, then benchmark") << false << true;
    QTest::newRow("stress test, then stress test") << false << false;
}

void TestMainForm::startDuringRun() {
    QFETCH(bool, firstIsBenchmark);
    QFETCH(bool, secondIsBenchmark);

    ShowAndActivate();
    auto* pages = Child<QTabWidget>("PageControl");
    struct Kind {
        int tab;
        QPushButton* button;
        QTimer* timer;
        QPlainTextEdit* console;
        TGauge* gauge;
    };
    const Kind bench{0, Child<QPushButton>("Sp1Button"), Child<QTimer>("BenchmarkTimer"),
                     Child<QPlainTextEdit>("outPutMemo"), Child<TGauge>("BenchTestGauge")};
    const Kind stress{1, Child<QPushButton>("Sp4Button"), Child<QTimer>("StressTestTimer"),
                      Child<QPlainTextEdit>("outputStressTest"), Child<TGauge>("testGauge")};
    const Kind& first = firstIsBenchmark ? bench : stress;
    const Kind& second = secondIsBenchmark ? bench : stress;
    const auto tick = [&](const Kind& kind) {
        if (&kind == &bench) {
            form->BenchmarkTimerTimer();
        } else {
            form->StressTestTimerTimer();
        }
    };

    pages->setCurrentIndex(first.tab);
    QTest::mouseClick(first.button, Qt::LeftButton);
    for (int i = 0; i < 12; ++i) {
        tick(first);
    }
    QVERIFY(first.gauge->progress() > 0);
    QCOMPARE(ConsoleLines(first.console), 12);
    std::vector<std::shared_ptr<SThread>> firstWorkers;
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        firstWorkers.push_back(form->Workers()[slot]);
    }

    BoxWatcher watcher;
    pages->setCurrentIndex(second.tab);
    QTest::mouseClick(second.button, Qt::LeftButton);

    QCOMPARE(first.gauge->progress(), 0);
    QCOMPARE(ConsoleLines(first.console), 0);
    QVERIFY(second.timer->isActive());
    if (&first != &second) {
        QVERIFY(!first.timer->isActive());
    }
    QCOMPARE(form->CurrentTick(), 0);
    QCOMPARE(form->ReportLog().Count(), 0);
    QVERIFY(watcher.Boxes().empty());
    for (int slot = 0; slot < TWorkerTable::WorkerCount; ++slot) {
        QVERIFY(firstWorkers[static_cast<std::size_t>(slot)]->StopRequested());
        QVERIFY(form->Workers()[slot] != firstWorkers[static_cast<std::size_t>(slot)]);
        QVERIFY(!form->Workers()[slot]->StopRequested());
    }
    tick(second);
    QCOMPARE(form->CurrentTick(), 1);
    QCOMPARE(ConsoleLines(second.console), 1);
}

void TestMainForm::timersTick_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("console");
    QTest::newRow("benchmark") << "Sp1Button" << 0 << "outPutMemo";
    QTest::newRow("stress test") << "Sp4Button" << 1 << "outputStressTest";
}

void TestMainForm::timersTick() {
    QFETCH(QString, button);
    QFETCH(int, tab);
    QFETCH(QString, console);

    ShowAndActivate();
    Child<QTabWidget>("PageControl")->setCurrentIndex(tab);
    QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton);
    auto* lines = form->findChild<QPlainTextEdit*>(console);
    QCOMPARE(ConsoleLines(lines), 0);
    // The first tick comes about a second after the start.
    QTRY_COMPARE_WITH_TIMEOUT(ConsoleLines(lines), 1, 3000);
    QCOMPARE(form->CurrentTick(), 1);
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
    QCOMPARE(combo->currentText(), QStringLiteral("20min"));
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

void TestMainForm::activationPlacements_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("Sp1Button") << "Sp1Button" << QPoint(317, 20);
    QTest::newRow("Sp4Button") << "Sp4Button" << QPoint(317, 11);
    QTest::newRow("SpClearButton") << "SpClearButton" << QPoint(758, 16);
    QTest::newRow("timerComboBox") << "timerComboBox" << QPoint(7, 24);
}

void TestMainForm::activationPlacements() {
    QFETCH(QString, control);
    QFETCH(QPoint, position);

    auto* widget = form->findChild<QWidget*>(control);
    QVERIFY(widget);
    widget->move(0, 0);
    ShowAndActivate();
    QCOMPARE(widget->pos(), position);
    QCOMPARE(form->size(), QSize(924, 576));
    QVERIFY(form->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(form->minimumSize(), form->maximumSize());
}

void TestMainForm::clearAndClose_data() {
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QByteArray>("fileBytes");

    QTest::newRow("clear reports") << QByteArrayList{"one", "two"} << true << QByteArray();
    QTest::newRow("close with two lines")
        << QByteArrayList{"one", "two"} << false << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("close with an empty log") << QByteArrayList{} << false << QByteArray();
}

void TestMainForm::clearAndClose() {
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, clear);
    QFETCH(QByteArray, fileBytes);

    ShowAndActivate();
    for (const QByteArray& line : lines) {
        form->ReportLog().AddLine(line);
    }
    BoxWatcher watcher;
    if (clear) {
        Child<QTabWidget>("PageControl")->setCurrentIndex(2);
        QTest::mouseClick(Child<QPushButton>("SpClearButton"), Qt::LeftButton);
        QVERIFY(ListItems(Child<QListView>("ListBoxReport")).isEmpty());
        QVERIFY(form->isVisible());
    } else {
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
    }
    QVERIFY(watcher.Boxes().empty());
    QCOMPARE(ReadAll(ReportFile()), fileBytes);
}

void TestMainForm::closeThatCannotSave() {
    ShowAndActivate();
    form->ReportLog().AddLine("kept line");
    // A file where the folder should be: the folder cannot be made, nor the report written.
    WriteFile(dataDir->path() + QStringLiteral("/morvel"), "in the way");

    BoxWatcher watcher;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(watcher.Boxes().size(), static_cast<std::size_t>(attempt));
        const auto& box = watcher.Boxes().back();
        QCOMPARE(box.text, QStringLiteral("Cannot create file ") + ReportFile() + QLatin1Char('.'));
        QCOMPARE(box.title, Title);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(form->ReportLog().Lines(), std::vector<QByteArray>{"kept line"});
    }

    QVERIFY(QFile::remove(dataDir->path() + QStringLiteral("/morvel")));
    QVERIFY(form->close());
    QCOMPARE(ReadAll(ReportFile()), QByteArray("kept line\r\n"));
}

void TestMainForm::clearThatCannotSave() {
    ShowAndActivate();
    form->ReportLog().AddLine("a line");
    WriteFile(dataDir->path() + QStringLiteral("/morvel"), "in the way");
    Child<QTabWidget>("PageControl")->setCurrentIndex(2);
    auto* button = Child<QPushButton>("SpClearButton");

    BoxWatcher watcher;
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(watcher.Boxes().size(), std::size_t{1});
    QCOMPARE(watcher.Boxes().front().text,
             QStringLiteral("Cannot create file ") + ReportFile() + QLatin1Char('.'));
    QCOMPARE(watcher.Boxes().front().icon, QMessageBox::Critical);
    QCOMPARE(watcher.Boxes().front().title, Title);
    QCOMPARE(form->ReportLog().Count(), 0);

    // The program goes on: the next click saves once the way is clear.
    QVERIFY(QFile::remove(dataDir->path() + QStringLiteral("/morvel")));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(watcher.Boxes().size(), std::size_t{1});
    QCOMPARE(ReadAll(ReportFile()), QByteArray());
}

void TestMainForm::windowLooks() {
    ShowAndActivate();
    QCOMPARE(form->windowTitle(), QStringLiteral("MORVEL - V 3.0"));
    auto* pages = Child<QTabWidget>("PageControl");
    QCOMPARE(pages->count(), 3);
    QCOMPARE(pages->tabText(0), QStringLiteral("Bench Test"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Stress Test"));
    QCOMPARE(pages->tabText(2), QStringLiteral("Reports"));
    QCOMPARE(Child<QComboBox>("timerComboBox")->count(), 12);

    // The banner lies 87 pixels from the left of the strip, at its top.
    auto* strip = Child<QWidget>("Image2");
    QCOMPARE(strip->geometry(), QRect(0, 576 - 75, 924, 75));
    QFile file(QStringLiteral(":/banner.jpg"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    TJpegImage banner;
    banner.LoadFromData(file.readAll());
    const QImage shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const QPoint& at :
         {QPoint(0, 0), QPoint(749, 0), QPoint(0, 74), QPoint(749, 74), QPoint(375, 37)}) {
        QCOMPARE(QColor(shot.pixel(strip->geometry().topLeft() + QPoint(87, 0) + at)),
                 QColor(banner.Image().pixel(at)));
    }

    const QByteArray snapshot = qgetenv("MORVEL_SNAPSHOT");
    if (!snapshot.isEmpty()) {
        // Pictures of the three pages for a person to look at, half way through runs.
        form->ReportLog().AddLine("05/03/2024 14:07:09     Benchmark Test Score : 4321");
        for (int tab = 0; tab < 3; ++tab) {
            pages->setCurrentIndex(tab);
            if (tab == 0) {
                form->Sp1ButtonClick();
                for (int tick = 0; tick < 90; ++tick) {
                    form->BenchmarkTimerTimer();
                }
            } else if (tab == 1) {
                form->Sp4ButtonClick();
                for (int tick = 0; tick < 600; ++tick) {
                    form->StressTestTimerTimer();
                }
            }
            form->grab().save(QString::fromLocal8Bit(snapshot) + QString::number(tab) + ".png");
        }
    }
}

int main(int argc, char** argv) {
    // Before anything asks for the user's data folder.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    TApplication application(argc, argv);
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainform.moc"
