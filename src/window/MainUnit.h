// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "RunObservers.h"
#include "TFormatSettings.h"
#include "TRunEngine.h"
#include "TTickLoop.h"

#include <QDateTime>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QTimer;
class TGauge;
class TReportLog;

namespace Ui {
class MainForm;
}

// The program's window: the benchmark, the stress test, the report log and the monitor of the
// active run on four tabs, with the run state beside it.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    // The runs start their workers through `workers`: the real workers of the run's workload
    // unless a stand-in is handed in, which then stands in for every workload.
    explicit TMainForm(TWorkerTable::Factory workers = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The clock a run reads its date and time from (the local clock unless set).
    void SetClock(std::function<QDateTime()> clock);
    // The machine whose processors, sensors and error counters the runs read and the Monitor
    // tab shows (this one's unless set).
    void SetMachine(const TSystemPaths& paths);
    // How dates and times are written (the user's locale, read at start-up, unless set).
    void SetFormatSettings(const TFormatSettings& settings);
    // The clock of the runs' ticks (the steady clock unless set): their timers wait for it.
    void SetSteadyClock(TRunEngine::SteadyClock clock);
    // Held while a run is active, so that the machine does not sleep in the middle of it (none
    // unless set; set once, before the first run).
    void SetSleepInhibitor(std::shared_ptr<TSleepInhibitor> inhibitor);

    TReportLog& ReportLog() noexcept { return *reportLog; }

    // A stop signal (StopSignals.h) ends the program without losing a line: the run
    // ends, the log is saved and the program exits with 0. When that save fails, or a box about
    // a failed save is open, the log goes to an emergency copy whose path is written to standard
    // error, and the program exits with 1.
    void StopSignal(int signal);

public slots:
    void Sp1ButtonClick();
    void Sp4ButtonClick();
    void SpClearButtonClick();
    void FormActivate();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class TRunKind { Benchmark, Stress };
    // The timer, console, gauge and status line of one kind of run.
    struct TRunParts {
        QTimer* timer;
        QPlainTextEdit* console;
        TGauge* gauge;
        QLabel* status;
    };
    TRunParts Parts(TRunKind kind) const;
    // Before each tick of either run: the sample line, and a stress run's length from the box.
    void BeforeTick(TRunKind kind);
    // After the engine counted, checked and maybe completed the tick: the gauge shows the
    // progress. A run that ended (completed or failed) is wound up here, with its closing box.
    void Ticked(TRunKind kind, TRunEngine::TTickResult result);
    // A run's timer went off: the ticks that are due, and the timer set for the next.
    void TimerFired(TRunKind kind);
    // Sets a run's active timer to go off at the engine's next tick.
    void ArmTimer(TRunKind kind);
    // Starts the workers of a run whose timer is already enabled.
    void StartWorkers(TRunKind kind);
    // Sets the engine's workload and workers for a run: the benchmark's are always the usual
    // ones, so that its scores compare; the stress test's are those chosen on the Monitor tab.
    void SetLoad(TRunKind kind);
    // The end of a run the engine has ended: timer, the result line in the log, gauge, console.
    void EndRun(TRunKind kind);

    // Saves the report log; an error is shown and the window stays open.
    void FormClose(QCloseEvent* event);
    // Saves the report log now; a failure is shown in the error box and the lines stay in the
    // log for the next save. True when saved.
    bool SaveReportLog();
    // What follows every successful save.
    void Saved();
    // Shows the error box for a save that failed.
    void ReportSaveFailure(std::exception_ptr error);
    // Run journals left behind mean the machine or the program died before their lines were on
    // disk: each line goes into the log (unless the log holds it already: a journal that could
    // not be removed), and the journals go once the log holding them is saved. A journal that
    // is not valid is set aside, with a message, and nothing of it is written.
    void RecordInterruptedRuns();
    // Removes the journals whose lines are on disk; tells of those that cannot be removed
    // unless `quiet` (their lines were on disk before this start, and it was told then).
    void RemoveRecordedJournals(bool quiet);
    // True when the log holds this line.
    bool LogHolds(const QByteArray& line) const;
    // Ends a run that is still going, without a result: timer, workers, gauge, console.
    void EndActiveRun();
    void LayOutPages();
    void ShowMessage(const QString& text);

    std::unique_ptr<Ui::MainForm> ui;
    TReportLog* reportLog = nullptr;
    QTimer* BenchmarkTimer = nullptr;
    QTimer* StressTestTimer = nullptr;
    // The run state: the workers of the active run, the ticks it has counted, the last score.
    TRunEngine Run;
    // The status lines' own texts, shown till a run has a warning of the machine's: benchmark,
    // stress.
    QString statusTexts[2];
    TWorkerTable::Factory standIn; // the workers of every run, when handed in
    TSystemPaths machinePaths;     // the machine the window reads
    TTickLoop loop{Run};
    std::shared_ptr<TMachineObserver> machine;
    std::shared_ptr<TRunJournal> journal;
    // Journals from earlier starts whose lines are in the log, to go after the next save.
    QStringList recordedJournals;
    // The last run's journal holds its result line, which is not yet on disk.
    bool resultPending = false;
    // A box telling of a failed save is open.
    bool saveFailureShown = false;
    bool activated = false;
    bool shown = false;
};
