// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TProcessorReader.h"
#include "TRunRecord.h"

#include <QList>
#include <QPointF>
#include <QWidget>

#include <memory>
#include <vector>

class QChart;
class QComboBox;
class QLabel;
class QLineSeries;
class QTableWidget;
class QValueAxis;
class TSelfTestPanel;

// A chart's line that keeps at most `maxPoints` points however long the run: every point is the
// mean of `stride` ticks in a row (the last one of the ticks so far), and when the line is full,
// neighbours merge in pairs and the stride doubles.
class TDecimatedLine {
public:
    explicit TDecimatedLine(int maxPoints);

    enum class TChange { Appended, LastMoved, Rebuilt };
    TChange Add(QPointF point);
    const QList<QPointF>& Points() const noexcept { return points; }
    void Clear();

private:
    struct TBucket {
        double X = 0;
        double Y = 0;
        int Count = 0;
    };
    static QPointF Mean(const TBucket& bucket);
    int maxPoints;
    int stride = 1;
    std::vector<TBucket> buckets;
    QList<QPointF> points; // the buckets' means
};

// The Monitor tab: the active run over its time (the slowest and fastest worker's rate, the
// processors' frequency, the hottest temperature and the packages' power), every processor's
// frequency, temperature and use, and what the block check has compared. Fed at every tick with
// the run's record; reads nothing else but the processors. Beside them: the load the stress test
// runs with, and the self-test.
class TMonitor : public QWidget {
    Q_OBJECT
public:
    // Points a line keeps at most.
    static constexpr int MaxPoints = 600;

    explicit TMonitor(QWidget* parent = nullptr);
    ~TMonitor() override;

    // The machine whose processors the table shows.
    void SetMachine(const TSystemPaths& paths);
    // A run started: its lines begin anew, and the load stays as it is until it ends.
    void Start(const TRunRecord& record);
    // The run ended (or never started): the load may be chosen again.
    void Stop();
    // The stress test's load as chosen: the workload, and one worker on each processor rather
    // than the usual number.
    TWorkloadKind Workload() const;
    bool WorkerPerProcessor() const;
    TSelfTestPanel* SelfTest() const noexcept { return selfTest; }
    // A tick of the active run ended with `record`. While a record file is shown, the live
    // run's ticks wait for its next start.
    void Tick(const TRunRecord& record);
    // Draws the last run of a record file (morvel-cli's --record) the same way; returns what is
    // wrong with the file, empty when it was drawn whole.
    QString OpenRecord(const QString& path);
    // Writes the charts to a PNG file; false when it cannot be written.
    bool SavePicture(const QString& path) const;

private:
    struct TLine {
        QLineSeries* Series = nullptr;
        TDecimatedLine Points;
    };
    struct TChart {
        QValueAxis* X = nullptr;
        QValueAxis* Y = nullptr;
        std::vector<TLine*> Lines;
        double Top = 0;
        QChart* Chart = nullptr;
        QString Title;
        bool Unread = false; // ticks came, with no reading for it
    };
    TChart& AddChart(const QString& name, const QString& title, const QStringList& lines, int row,
                     int column);
    void Clear();
    void Add(TChart& chart, std::size_t line, double minutes, std::optional<double> value);
    void AddPoints(const TRunRecord& record);
    void OpenClicked();
    void SaveClicked();
    void ShowProcessors();
    void ShowCheck(const TRunRecord& record);

    QWidget* chartArea = nullptr;
    class QGridLayout* charts = nullptr;
    std::vector<std::unique_ptr<TLine>> lines;
    std::vector<std::unique_ptr<TChart>> chartParts;
    TChart* rate = nullptr;
    TChart* frequency = nullptr;
    TChart* temperature = nullptr;
    TChart* power = nullptr;
    QTableWidget* processors = nullptr;
    QLabel* check = nullptr;
    QComboBox* workload = nullptr;
    QComboBox* workers = nullptr;
    TSelfTestPanel* selfTest = nullptr;
    std::unique_ptr<TProcessorReader> reader;
    std::int64_t lastChecked = 0;
    QString lastComparison;
    QString recordShown; // the record file on the charts, if any
};
