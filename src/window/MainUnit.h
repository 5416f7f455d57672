#pragma once

#include "TFormatSettings.h"
#include "TVerifier.h"
#include "TWorkerTable.h"

#include <QDateTime>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPlainTextEdit;
class QTimer;
class TGauge;
class TReportLog;

namespace Ui {
class MainForm;
}

// The program's window: the benchmark, the stress test and the report log on three tabs, with
// the run state beside it.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int BenchmarkTicks = 180;
    static constexpr int StressTicksPerEntry = 1200; // twenty minutes of one-second ticks
    static constexpr int TickInterval = 1000;        // milliseconds

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The clock a completing run reads its date and time from (the local clock unless set).
    void SetClock(std::function<QDateTime()> clock);
    // How dates and times are written (the user's locale, read at start-up, unless set).
    void SetFormatSettings(const TFormatSettings& settings);
    // The start value of each worker of the next runs (TWorkerTable::StartCandidate unless set).
    // Tests start a worker off the known path to stand in for a processor that computes wrongly.
    void SetStartValues(const TWorkerTable::StartValues& values);

    TReportLog& ReportLog() noexcept { return *reportLog; }
    int CurrentTick() const noexcept { return TickCount; }
    std::int64_t LastBenchmarkScore() const noexcept { return BenchmarkScore; }
    const TWorkerTable& Workers() const noexcept { return WorkerTable; }
    // True once the activation steps have run.
    bool Activated() const noexcept { return activated; }

    // The length of a stress run for an entry of the duration box, in ticks.
    static int StressTicks(int entryIndex) noexcept {
        return (entryIndex + 1) * StressTicksPerEntry;
    }

public slots:
    void Sp1ButtonClick();
    void Sp4ButtonClick();
    void BenchmarkTimerTimer();
    void StressTestTimerTimer();
    void SpClearButtonClick();
    void FormActivate();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class TRunKind { Benchmark, Stress };
    // The timer, console and gauge of one kind of run.
    struct TRunParts {
        QTimer* timer;
        QPlainTextEdit* console;
        TGauge* gauge;
    };
    TRunParts Parts(TRunKind kind) const;
    // The first steps of a tick: sample line, count, gauge, then the check of the workers
    // against the known answer, which ends a failing run at once. True when the run completes.
    bool Tick(TRunKind kind, int length);
    // Starts the workers of a run whose timer is already enabled.
    void StartWorkers(TRunKind kind);
    // The common end of a run once its workers are stopped: counter, timer, the result line
    // (made from the date-time text read now) in the log, gauge and console.
    void EndRun(TRunKind kind, const std::function<QByteArray(const QString& when)>& resultLine);

    // Saves the report log; an error is shown and the window stays open.
    void FormClose(QCloseEvent* event);
    // Ends a run that is still going, without a result: timer, workers, gauge, console.
    void EndActiveRun();
    void LayOutPages();
    void ShowMessage(const QString& text);

    std::unique_ptr<Ui::MainForm> ui;
    TReportLog* reportLog = nullptr;
    QTimer* BenchmarkTimer = nullptr;
    QTimer* StressTestTimer = nullptr;
    // The run state: the workers of the active run, the ticks it has counted, the last score.
    TWorkerTable WorkerTable;
    TWorkerTable::StartValues startValues = TWorkerTable::AllStartCandidate();
    TVerifier Verifier;
    int TickCount = 0;
    std::int64_t BenchmarkScore = 0;
    std::function<QDateTime()> clock;
    TFormatSettings formatSettings;
    bool activated = false;
    bool shown = false;
};
