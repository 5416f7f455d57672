// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "MainUnit.h"

#include "Processors.h"
#include "TApplication.h"
#include "TGauge.h"
#include "TMonitor.h"
#include "TReportLog.h"
#include "TScreenPlacement.h"
#include "TSelfTestPanel.h"
#include "ui_MainUnit.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QTextOption>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

// The artwork is compiled into this library; referring to it keeps the linker from leaving it
// out of the program. (Outside any namespace, as the resource's initialiser is.)
static void InitResources() {
    Q_INIT_RESOURCE(morvel);
}

namespace {

// The faces the window asks for by name, with the metric-compatible ones that stand in for them.
void AddFontFallbacks() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(
        QStringLiteral("Times New Roman"),
        {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
}

// A console shows every line centred and wrapped at the view's width.
void SetUpConsole(QPlainTextEdit* console) {
    QTextOption option = console->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    console->document()->setDefaultTextOption(option);
}

// Adds a line at the end of a console and keeps it in view.
void AppendLine(QPlainTextEdit* console, const QString& line) {
    console->moveCursor(QTextCursor::End);
    console->appendPlainText(line);
    console->ensureCursorVisible();
}

QTimer* MakeTimer(QObject* parent, const QString& name) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(TTestPlan::TickInterval);
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

// The banner covers 750 x 75 device-independent pixels. Where a screen has a device pixel ratio
// above 1 it is the picture drawn at twice the size, so that it stays sharp there.
QPixmap Banner() {
    InitResources();
    const qreal ratio = qGuiApp->devicePixelRatio() > 1.0 ? 2.0 : 1.0;
    QImageReader reader(ratio > 1.0 ? QStringLiteral(":/banner@2x.jpg")
                                    : QStringLiteral(":/banner.jpg"));
    const QImage picture = reader.read();
    if (picture.isNull()) {
        throw std::runtime_error("Cannot read the banner picture: " +
                                 reader.errorString().toStdString());
    }
    QPixmap banner = QPixmap::fromImage(picture);
    banner.setDevicePixelRatio(ratio);
    return banner;
}

} // namespace

TMainForm::TMainForm(TWorkerTable::Factory workers, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MainForm>()),
      Run(workers ? workers : TWorkerTable::ThreadFactory(), TTestPlan::WorkerCount),
      standIn(std::move(workers)), machine(std::make_shared<TMachineObserver>()),
      journal(std::make_shared<TRunJournal>(TRunJournal::PathFor(TReportLog::ReportFileName()))) {
    Run.Observe(std::make_shared<TLockObserver>(std::make_shared<TRunLock>()));
    Run.Observe(machine);
    Run.Observe(std::make_shared<TJournalObserver>(journal));
    AddFontFallbacks();
    ui->setupUi(this);
    statusTexts[0] = ui->Label1->text();
    statusTexts[1] = ui->Label4->text();
    SetMachine(TSystemPaths{});
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(924, 576);

    SetUpConsole(ui->outPutMemo);
    SetUpConsole(ui->outputStressTest);
    for (const TTestPlan::TDuration& duration : TTestPlan::Durations()) {
        ui->timerComboBox->addItem(duration.Text);
    }
    ui->timerComboBox->view()->setAccessibleName(QStringLiteral("Stress test durations"));
    ui->timerComboBox->raise();
    ui->Image2->setPixmap(Banner());

    reportLog = new TReportLog(TReportLog::ReportFileName(), this);
    ui->ListBoxReport->setModel(reportLog);

    StressTestTimer = MakeTimer(this, QStringLiteral("StressTestTimer"));
    BenchmarkTimer = MakeTimer(this, QStringLiteral("BenchmarkTimer"));

    const auto wire = [this](auto* sender, auto signal, void (TMainForm::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { Dispatch([this, handler] { (this->*handler)(); }); });
    };
    wire(ui->Sp1Button, &QPushButton::clicked, &TMainForm::Sp1ButtonClick);
    wire(ui->Sp4Button, &QPushButton::clicked, &TMainForm::Sp4ButtonClick);
    wire(ui->SpClearButton, &QPushButton::clicked, &TMainForm::SpClearButtonClick);
    for (const TRunKind kind : {TRunKind::Benchmark, TRunKind::Stress}) {
        connect(Parts(kind).timer, &QTimer::timeout, this,
                [this, kind] { Dispatch([this, kind] { TimerFired(kind); }); });
    }

    // The keyboard reaches every action, though the buttons never take the focus: a shortcut
    // shows the button's tab and clicks it, as the mouse would (the tooltips name the keys).
    const struct {
        QKeyCombination Keys;
        int Tab = 0;
        QPushButton* Button = nullptr;
    } shortcuts[] = {
        {Qt::CTRL | Qt::Key_B, 0, ui->Sp1Button},
        {Qt::CTRL | Qt::Key_T, 1, ui->Sp4Button},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_L, 2, ui->SpClearButton},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_S, 3, ui->MonitorPanel->SelfTest()->Button()},
        {Qt::CTRL | Qt::Key_1, 0, nullptr},
        {Qt::CTRL | Qt::Key_2, 1, nullptr},
        {Qt::CTRL | Qt::Key_3, 2, nullptr},
        {Qt::CTRL | Qt::Key_4, 3, nullptr},
    };
    for (const auto& shortcut : shortcuts) {
        connect(new QShortcut(QKeySequence(shortcut.Keys), this), &QShortcut::activated, this,
                [this, tab = shortcut.Tab, button = shortcut.Button] {
                    ui->PageControl->setCurrentIndex(tab);
                    if (button != nullptr) {
                        button->click();
                    }
                });
    }

    // Centred on the primary screen, frame included; later the window stays where the user puts
    // it.
    CentreOnScreen(this);
}

TMainForm::~TMainForm() {
    // Workers still running are told to stop; nothing waits for them.
    Run.Stop();
}

void TMainForm::SetClock(std::function<QDateTime()> newClock) {
    Run.SetClock(std::move(newClock));
}

void TMainForm::SetSteadyClock(TRunEngine::SteadyClock clock) {
    Run.SetSteadyClock(std::move(clock));
}

void TMainForm::SetSleepInhibitor(std::shared_ptr<TSleepInhibitor> inhibitor) {
    Run.Observe(std::make_shared<TInhibitorObserver>(std::move(inhibitor)));
}

void TMainForm::SetMachine(const TSystemPaths& paths) {
    machinePaths = paths;
    machine->SetPaths(paths);
    ui->MonitorPanel->SetMachine(paths);
}

void TMainForm::SetFormatSettings(const TFormatSettings& settings) {
    Run.SetFormatSettings(settings);
}

TMainForm::TRunParts TMainForm::Parts(TRunKind kind) const {
    if (kind == TRunKind::Benchmark) {
        return {BenchmarkTimer, ui->outPutMemo, ui->BenchTestGauge, ui->Label1};
    }
    return {StressTestTimer, ui->outputStressTest, ui->testGauge, ui->Label4};
}

void TMainForm::EndActiveRun() {
    for (const TRunKind kind : {TRunKind::Benchmark, TRunKind::Stress}) {
        const TRunParts run = Parts(kind);
        if (run.timer->isActive()) {
            run.timer->stop();
            Run.Stop();
            run.gauge->setProgress(0);
            run.console->clear();
        }
    }
    ui->MonitorPanel->Stop();
}

void TMainForm::Sp1ButtonClick() {
    EndActiveRun();
    BenchmarkTimer->start();
    ui->BenchTestGauge->setProgress(0);
    StartWorkers(TRunKind::Benchmark);
}

void TMainForm::Sp4ButtonClick() {
    EndActiveRun();
    StressTestTimer->start();
    ui->testGauge->setProgress(0);
    StartWorkers(TRunKind::Stress);
}

void TMainForm::StartWorkers(TRunKind kind) {
    try {
        SetLoad(kind);
        // The tick count and the last score are set to 0, then the workers start.
        Run.Start(kind == TRunKind::Benchmark ? TTestKind::Benchmark : TTestKind::Stress,
                  ui->timerComboBox->currentIndex());
        ui->MonitorPanel->Start(Run.Record());
        Parts(kind).status->setText(statusTexts[kind == TRunKind::Benchmark ? 0 : 1]);
        // Timed from the run's start, so that it does not go off just before the first tick.
        ArmTimer(kind);
    } catch (...) {
        // The system would not start every worker: a run without its workers must not tick.
        // The error itself is shown like any other.
        Parts(kind).timer->stop();
        throw;
    }
}

void TMainForm::SetLoad(TRunKind kind) {
    TWorkload workload;
    int count = TTestPlan::WorkerCount;
    std::vector<int> cpus; // one worker pinned on each, as morvel-cli's --workers all
    if (kind == TRunKind::Stress) {
        if (ui->MonitorPanel->WorkerPerProcessor()) {
            cpus = UsableCpuList();
            count = TRunEngine::PerCpuWorkers(cpus);
        }
        workload = TWorkload::For(ui->MonitorPanel->Workload(), std::nullopt, std::nullopt, count,
                                  TMemoryInfo::Read(machinePaths));
    }
    Run.SetWorkload(workload);
    Run.SetWorkersPinned(!cpus.empty());
    Run.SetWorkers(standIn ? standIn : workload.Factory(cpus), count);
}

void TMainForm::BeforeTick(TRunKind kind) {
    AppendLine(Parts(kind).console, QString::fromStdString(Run.SampleLine()));
    if (kind == TRunKind::Stress) {
        // The length follows the duration box, read afresh at every tick.
        Run.SetDurationIndex(ui->timerComboBox->currentIndex());
    }
}

void TMainForm::Ticked(TRunKind kind, TRunEngine::TTickResult result) {
    const TRunParts run = Parts(kind);
    run.gauge->setProgress(Run.Progress());
    ui->MonitorPanel->Tick(Run.Record());
    // The latest warning of the machine's stays in the status line till the next run starts.
    if (!Run.Record().Warnings.empty()) {
        run.status->setText(QStringLiteral("Warning: ") + Run.Record().Warnings.back().Text);
    }
    if (result == TRunEngine::TTickResult::Running) {
        return;
    }
    EndRun(kind);
    const bool benchmark = kind == TRunKind::Benchmark;
    if (result == TRunEngine::TTickResult::Failed) {
        ShowStopBox(benchmark ? QStringLiteral("Benchmark Test Failed")
                              : QStringLiteral("Stress Test Failed"));
    } else {
        ShowMessage(benchmark ? QStringLiteral("Benchmark Test Completed")
                              : QStringLiteral("Stress Test Completed"));
    }
}

void TMainForm::EndRun(TRunKind kind) {
    const TRunParts run = Parts(kind);
    run.timer->stop();
    // The result is on disk before anything else can happen to the machine or the program;
    // until then the run's journal holds it.
    reportLog->AddLine(Run.Record().ResultLine());
    resultPending = true;
    SaveReportLog();
    run.gauge->setProgress(0);
    run.console->clear();
    ui->MonitorPanel->Stop();
}

bool TMainForm::SaveReportLog() {
    try {
        reportLog->SaveChanges();
    } catch (...) {
        ReportSaveFailure(std::current_exception());
        return false;
    }
    Saved();
    return true;
}

void TMainForm::ReportSaveFailure(std::exception_ptr error) {
    const bool wasShown = saveFailureShown;
    saveFailureShown = true;
    ReportException(std::move(error));
    saveFailureShown = wasShown;
}

void TMainForm::StopSignal(int signal) {
    Run.Stop(signal);
    if (!activated) {
        // The log was never loaded: nothing of this session to keep, and no save may write an
        // empty log over the file.
        QCoreApplication::exit(0);
        return;
    }
    QString failure;
    if (saveFailureShown) {
        failure = QStringLiteral("a save had failed");
    } else {
        try {
            reportLog->SaveChanges();
            Saved();
            QCoreApplication::exit(0);
            return;
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
    }
    const QByteArray text = reportLog->KeepUnsaved(failure, QDateTime::currentDateTime());
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
    // Out at once: a box may be open in a nested event loop, and workers may still run.
    std::_Exit(1);
}

void TMainForm::Saved() {
    // Once another run has started, the journal is that run's own.
    if (resultPending && !Run.Active()) {
        journal->Remove();
    }
    resultPending = false;
    RemoveRecordedJournals(false);
}

void TMainForm::RemoveRecordedJournals(bool quiet) {
    QStringList failures;
    for (const QString& file : std::exchange(recordedJournals, {})) {
        if (file == journal->Path() && journal->Owned()) {
            continue; // a run of this window's has written it since
        }
        QString error;
        if (!TRunJournal::RemoveFile(file, &error) && !quiet) {
            failures.append(error);
        }
    }
    for (const QString& failure : failures) {
        ShowErrorBox(failure +
                     QStringLiteral(". Its run is in the report, and will not be added again."));
    }
}

bool TMainForm::LogHolds(const QByteArray& line) const {
    for (int index = reportLog->Count() - 1; index >= 0; --index) {
        if (reportLog->Line(index) == line) {
            return true;
        }
    }
    return false;
}

void TMainForm::RecordInterruptedRuns() {
    if (!journal->Lock()) {
        return; // another live process's window: the runs are its own
    }
    bool added = false;
    QStringList problems;
    for (const QString& file : journal->Waiting()) {
        const TRunJournal::TContents contents = TRunJournal::Examine(file);
        if (contents.State == TRunJournal::TContents::TState::Bad) {
            QString error;
            const QString aside = TRunJournal::SetAside(file, &error);
            problems.append(
                aside.isEmpty()
                    ? QStringLiteral("The run journal %1 is not valid (%2) and nothing of it was "
                                     "recorded; it could not be set aside: %3")
                          .arg(file, contents.Problem, error)
                    : QStringLiteral("The run journal %1 is not valid (%2) and nothing of it was "
                                     "recorded; it is kept as %3")
                          .arg(file, contents.Problem, aside));
        } else if (contents.State == TRunJournal::TContents::TState::Valid) {
            const QByteArray line = TRunJournal::Line(contents.Entry, Run.FormatSettings());
            if (!LogHolds(line)) {
                reportLog->AddLine(line);
                added = true;
            }
            recordedJournals.append(file);
        }
    }
    for (const QString& problem : problems) {
        ShowErrorBox(problem);
    }
    if (added) {
        SaveReportLog();
    } else {
        // Their lines were on disk before this start.
        RemoveRecordedJournals(true);
    }
}

void TMainForm::TimerFired(TRunKind kind) {
    // The loop fires the tick whose time has passed with the program running: after a stop
    // (SIGSTOP, a suspended machine) the missed ticks are not made up, the run lasts longer.
    loop.Wake({[this, kind] { BeforeTick(kind); },
               [this, kind](TTickLoop::TResult result) { Ticked(kind, result); }});
    ArmTimer(kind);
}

void TMainForm::ArmTimer(TRunKind kind) {
    // The next tick at its deadline, not a timer interval after this one's work.
    QTimer* timer = Parts(kind).timer;
    if (timer->isActive() && Run.Active()) {
        timer->start(loop.Wait());
    }
}

void TMainForm::SpClearButtonClick() {
    reportLog->Clear();
    SaveReportLog();
}

void TMainForm::LayOutPages() {
    // The pages fill the tab control's pane but for a margin of 2 at the sides and the bottom,
    // which makes them 916 x 473. Only the page on show is laid out by the tab control; every
    // page gets its size here, so that the sizes read below are those of the finished window on
    // every page.
    QWidget* pane = ui->PageControl->currentWidget()->parentWidget();
    pane->setContentsMargins(2, 0, 2, 2);
    for (int index = 0; index < ui->PageControl->count(); ++index) {
        QWidget* page = ui->PageControl->widget(index);
        page->setGeometry(pane->contentsRect());
        page->layout()->activate();
    }
}

void TMainForm::FormActivate() {
    LayOutPages();
    ui->PageControl->setCurrentIndex(0);
    ui->Sp1Button->move((ui->Panel1->width() - ui->Sp1Button->width()) / 2,
                        (ui->Panel1->height() - ui->Label1->height() - ui->Sp1Button->height()) /
                            2);
    ui->Sp4Button->move((ui->Panel4->width() - ui->Sp4Button->width()) / 2,
                        (ui->Panel4->height() - ui->Label4->height() - ui->Sp4Button->height() -
                         ui->Label5->height()) /
                            2);
    ui->timerComboBox->move(7, ui->Label5->height() + 5);
    ui->SpClearButton->move(ui->Panel6->width() - ui->SpClearButton->width() - 5,
                            (ui->Panel6->height() - ui->SpClearButton->height()) / 2);
    StressTestTimer->stop();
    ui->timerComboBox->setCurrentIndex(0);
    if (reportLog->Count() == 0 && reportLog->FileExists()) {
        // A log that cannot be loaded records no journal: they wait for a start that can.
        reportLog->Load();
    }
    RecordInterruptedRuns();
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !activated) {
        activated = true;
        Dispatch([this] { FormActivate(); });
    }
    return QWidget::event(event);
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown) {
        shown = true;
        // Where the window is shown without being activated, the activation steps run right
        // after the first show all the same.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!activated) {
                    activated = true;
                    Dispatch([this] { FormActivate(); });
                }
            },
            Qt::QueuedConnection);
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose(event);
}

void TMainForm::FormClose(QCloseEvent* event) {
    if (!activated) {
        // The log was never loaded: saving it would write an empty log over the file.
        event->accept();
        return;
    }
    if (!SaveReportLog()) {
        // The log could not be kept: the window stays open with the log intact.
        event->ignore();
        return;
    }
    // The run ends with the window: its lock and journal go, and so does a self-test.
    EndActiveRun();
    ui->MonitorPanel->SelfTest()->Cancel();
    event->accept();
}

void TMainForm::ShowMessage(const QString& text) {
    // Centred on the screen, wherever the user has moved the window.
    TCentredMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}
