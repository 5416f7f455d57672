// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMonitor.h"

#include "RecordFile.h"
#include "TApplication.h"
#include "TSelfTestPanel.h"

#include <QAbstractItemView>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstddef>

TDecimatedLine::TDecimatedLine(int max) : maxPoints(std::max(max, 2)) {}

QPointF TDecimatedLine::Mean(const TBucket& bucket) {
    return {bucket.X / bucket.Count, bucket.Y / bucket.Count};
}

void TDecimatedLine::Clear() {
    stride = 1;
    buckets.clear();
    points.clear();
}

TDecimatedLine::TChange TDecimatedLine::Add(QPointF point) {
    if (!buckets.empty() && buckets.back().Count < stride) {
        TBucket& last = buckets.back();
        last.X += point.x();
        last.Y += point.y();
        ++last.Count;
        points.back() = Mean(last);
        return TChange::LastMoved;
    }
    buckets.push_back({point.x(), point.y(), 1});
    points.append(point);
    if (static_cast<int>(buckets.size()) <= maxPoints) {
        return TChange::Appended;
    }
    // Full: neighbours merge, and every point from now on stands for twice the ticks.
    std::vector<TBucket> merged;
    merged.reserve(buckets.size() / 2 + 1);
    for (std::size_t i = 0; i < buckets.size(); i += 2) {
        TBucket pair = buckets[i];
        if (i + 1 < buckets.size()) {
            pair.X += buckets[i + 1].X;
            pair.Y += buckets[i + 1].Y;
            pair.Count += buckets[i + 1].Count;
        }
        merged.push_back(pair);
    }
    buckets = std::move(merged);
    stride *= 2;
    points.clear();
    for (const TBucket& bucket : buckets) {
        points.append(Mean(bucket));
    }
    return TChange::Rebuilt;
}

namespace {

QString Figure(std::optional<double> value, int decimals) {
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("–");
}

} // namespace

TMonitor::TMonitor(QWidget* parent)
    : QWidget(parent), reader(std::make_unique<TProcessorReader>()) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    chartArea = new QWidget(this);
    chartArea->setObjectName(QStringLiteral("MonitorCharts"));
    charts = new QGridLayout(chartArea);
    charts->setContentsMargins(0, 0, 0, 0);
    charts->setSpacing(0);
    layout->addWidget(chartArea, 3);
    rate = &AddChart(QStringLiteral("MonitorChartRate"), QStringLiteral("Worker rate (M/s)"),
                     {QStringLiteral("slowest"), QStringLiteral("fastest")}, 0, 0);
    frequency = &AddChart(QStringLiteral("MonitorChartFrequency"), QStringLiteral("Clock (MHz)"),
                          {QStringLiteral("mean"), QStringLiteral("highest")}, 0, 1);
    temperature = &AddChart(QStringLiteral("MonitorChartTemperature"),
                            QStringLiteral("Hottest sensor (°C)"), {QStringLiteral("°C")}, 1, 0);
    power = &AddChart(QStringLiteral("MonitorChartPower"), QStringLiteral("Package power (W)"),
                      {QStringLiteral("W")}, 1, 1);

    auto* side = new QVBoxLayout();
    side->setSpacing(4);
    layout->addLayout(side, 1);
    processors = new QTableWidget(0, 4, this);
    processors->setObjectName(QStringLiteral("MonitorProcessors"));
    processors->setAccessibleName(QStringLiteral("Processors"));
    processors->setHorizontalHeaderLabels({QStringLiteral("CPU"), QStringLiteral("MHz"),
                                           QStringLiteral("°C"), QStringLiteral("Use")});
    processors->verticalHeader()->hide();
    processors->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    processors->verticalHeader()->setDefaultSectionSize(16);
    processors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    processors->setSelectionMode(QAbstractItemView::NoSelection);
    side->addWidget(processors, 2);
    check = new QLabel(this);
    check->setObjectName(QStringLiteral("MonitorCheck"));
    check->setWordWrap(true);
    check->setMinimumHeight(64);
    check->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    side->addWidget(check);
    auto* buttons = new QHBoxLayout();
    side->addLayout(buttons);
    const auto button = [this, buttons](const QString& name, const QString& text,
                                        const QString& tip, void (TMonitor::*clicked)()) {
        auto* control = new QPushButton(text, this);
        control->setObjectName(name);
        control->setToolTip(tip);
        connect(control, &QPushButton::clicked, this,
                [this, clicked] { Dispatch([this, clicked] { (this->*clicked)(); }); });
        buttons->addWidget(control);
    };
    button(QStringLiteral("MonitorOpenButton"), QStringLiteral("Open record..."),
           QStringLiteral("Draw a run from a record file (morvel-cli --record)"),
           &TMonitor::OpenClicked);
    button(QStringLiteral("MonitorSaveButton"), QStringLiteral("Save PNG..."),
           QStringLiteral("Save the charts as a picture"), &TMonitor::SaveClicked);

    // The stress test's load; the benchmark's is always the usual one, so that scores compare.
    auto* load = new QFormLayout();
    load->setContentsMargins(0, 0, 0, 0);
    load->setSpacing(2);
    side->addLayout(load);
    const auto choice = [this, load](const QString& name, const QString& label,
                                     const QString& purpose, const QString& list) {
        auto* box = new QComboBox(this);
        box->setObjectName(name);
        box->setAccessibleDescription(purpose);
        box->view()->setAccessibleName(list);
        box->setToolTip(purpose + QStringLiteral(" (the benchmark always runs the usual load)"));
        load->addRow(label, box);
        return box;
    };
    workload = choice(QStringLiteral("MonitorWorkload"), QStringLiteral("&Workload:"),
                      QStringLiteral("Stress test workload"), QStringLiteral("Workloads"));
    for (const TWorkloadKind kind : Workloads::All()) {
        workload->addItem(QString::fromLatin1(TWorkload::Name(kind)));
    }
    workers = choice(QStringLiteral("MonitorWorkers"), QStringLiteral("W&orkers:"),
                     QStringLiteral("Stress test workers"), QStringLiteral("Worker counts"));
    workers->addItem(QString::number(TTestPlan::WorkerCount), false);
    workers->addItem(QStringLiteral("one per processor"), true);

    selfTest = new TSelfTestPanel(this);
    selfTest->setObjectName(QStringLiteral("MonitorSelfTest"));
    side->addWidget(selfTest);
    ShowCheck(TRunRecord{});
}

TWorkloadKind TMonitor::Workload() const {
    const auto all = Workloads::All();
    const auto index = static_cast<std::size_t>(std::max(workload->currentIndex(), 0));
    return index < all.size() ? all[index] : Workloads::Default();
}

bool TMonitor::WorkerPerProcessor() const {
    return workers->currentData().toBool();
}

void TMonitor::Stop() {
    workload->setEnabled(true);
    workers->setEnabled(true);
}

TMonitor::~TMonitor() = default;

TMonitor::TChart& TMonitor::AddChart(const QString& name, const QString& title,
                                     const QStringList& names, int row, int column) {
    auto* chart = new QChart();
    chart->setTitle(title);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    QFont small = font();
    small.setPixelSize(10);
    chart->setTitleFont(small);
    auto part = std::make_unique<TChart>();
    part->Chart = chart;
    part->Title = title;
    part->X = new QValueAxis(chart);
    part->Y = new QValueAxis(chart);
    for (QValueAxis* axis : {part->X, part->Y}) {
        axis->setLabelsFont(small);
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setRange(0, 1);
    }
    part->X->setTitleText(QStringLiteral("min"));
    part->X->setTitleFont(small);
    chart->addAxis(part->X, Qt::AlignBottom);
    chart->addAxis(part->Y, Qt::AlignLeft);
    for (const QString& lineName : names) {
        auto line =
            std::make_unique<TLine>(TLine{new QLineSeries(chart), TDecimatedLine(MaxPoints)});
        line->Series->setName(lineName);
        chart->addSeries(line->Series);
        line->Series->attachAxis(part->X);
        line->Series->attachAxis(part->Y);
        part->Lines.push_back(line.get());
        lines.push_back(std::move(line));
    }
    chart->legend()->setVisible(names.size() > 1);
    chart->legend()->setFont(small);
    chart->legend()->setAlignment(Qt::AlignTop);
    auto* view = new QChartView(chart, this);
    view->setObjectName(name);
    view->setFocusPolicy(Qt::NoFocus);
    view->viewport()->setFocusPolicy(Qt::NoFocus); // nothing for the keyboard to do there
    view->setAccessibleName(title);
    view->setRenderHint(QPainter::Antialiasing);
    charts->addWidget(view, row, column);
    chartParts.push_back(std::move(part));
    return *chartParts.back();
}

void TMonitor::SetMachine(const TSystemPaths& paths) {
    reader = std::make_unique<TProcessorReader>(paths);
}

void TMonitor::Clear() {
    recordShown.clear();
    for (const auto& chart : chartParts) {
        for (TLine* line : chart->Lines) {
            line->Points.Clear();
            line->Series->clear();
        }
        chart->Top = 0;
        chart->Unread = false;
        chart->Chart->setTitle(chart->Title);
        chart->X->setRange(0, 1);
        chart->Y->setRange(0, 1);
    }
    lastChecked = 0;
    lastComparison.clear();
}

void TMonitor::Start(const TRunRecord& record) {
    workload->setEnabled(false);
    workers->setEnabled(false);
    Clear();
    reader->Read(); // the use is counted from here
    ShowCheck(record);
}

void TMonitor::Add(TChart& chart, std::size_t index, double minutes, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) {
        return;
    }
    TLine& line = *chart.Lines[index];
    switch (line.Points.Add({minutes, *value})) {
    case TDecimatedLine::TChange::Appended:
        line.Series->append(line.Points.Points().back());
        break;
    case TDecimatedLine::TChange::LastMoved:
        line.Series->replace(line.Series->count() - 1, line.Points.Points().back());
        break;
    case TDecimatedLine::TChange::Rebuilt:
        line.Series->replace(line.Points.Points());
        break;
    }
    if (minutes > chart.X->max()) {
        chart.X->setRange(0, minutes);
        chart.X->applyNiceNumbers();
    }
    if (*value > chart.Top) {
        chart.Top = *value;
        chart.Y->setRange(0, *value * 1.05);
        chart.Y->applyNiceNumbers();
    }
}

void TMonitor::AddPoints(const TRunRecord& record) {
    const double minutes = record.Seconds / 60.0;
    Add(*rate, 0, minutes, static_cast<double>(record.SlowestRate) / 1e6);
    Add(*rate, 1, minutes, static_cast<double>(record.FastestRate) / 1e6);
    Add(*frequency, 0, minutes, record.LastSensors.MeanMHz);
    Add(*frequency, 1, minutes, record.LastSensors.MaxMHz);
    Add(*temperature, 0, minutes, record.LastSensors.TemperatureC);
    Add(*power, 0, minutes, record.LastSensors.PackageWatts);
    // A machine or record without the figure says so, rather than showing an empty chart.
    for (const auto& chart : chartParts) {
        const bool unread =
            std::all_of(chart->Lines.begin(), chart->Lines.end(),
                        [](const TLine* line) { return line->Points.Points().isEmpty(); });
        if (unread != chart->Unread) {
            chart->Unread = unread;
            chart->Chart->setTitle(unread ? chart->Title + QStringLiteral(": not read")
                                          : chart->Title);
        }
    }
}

void TMonitor::Tick(const TRunRecord& record) {
    if (!recordShown.isEmpty()) {
        return;
    }
    AddPoints(record);
    ShowProcessors();
    if (record.Check.Checked > lastChecked) {
        lastChecked = record.Check.Checked;
        lastComparison = QStringLiteral("at %1 (tick %2)")
                             .arg(record.TickTime.toString(QStringLiteral("HH:mm:ss")))
                             .arg(record.TicksRun);
    }
    ShowCheck(record);
}

void TMonitor::ShowProcessors() {
    const std::vector<TProcessorState> states = reader->Read();
    processors->setRowCount(static_cast<int>(states.size()));
    int row = 0;
    for (const TProcessorState& state : states) {
        const QString cells[] = {
            QString::number(state.Cpu), Figure(state.MHz, 0), Figure(state.TemperatureC, 0),
            state.Use ? QStringLiteral("%1%").arg(*state.Use * 100, 0, 'f', 0) : Figure({}, 0)};
        for (int column = 0; column < 4; ++column) {
            QTableWidgetItem* item = processors->item(row, column);
            if (item == nullptr) {
                item = new QTableWidgetItem();
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                processors->setItem(row, column, item);
            }
            item->setText(cells[column]);
        }
        ++row;
    }
}

QString TMonitor::OpenRecord(const QString& path) {
    // Not a FIFO or a device, which could keep the window waiting.
    if (!QFileInfo(path).isFile()) {
        return QStringLiteral("%1 is not a file").arg(path);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1 cannot be opened: %2").arg(path, file.errorString());
    }
    Clear();
    recordShown = QFileInfo(path).fileName();
    processors->setRowCount(0); // another machine's, or another time's
    TRunRecord last;
    int runs = 0;
    const QString error = ReadRecordFile(file, [&](const TRecordLine& line) {
        switch (line.Kind) {
        case TRecordLine::TKind::Start:
            Clear(); // the file's last run is drawn
            recordShown = QFileInfo(path).fileName();
            last = {};
            ++runs;
            break;
        case TRecordLine::TKind::Tick:
            AddPoints(line.Record);
            last.TicksRun = line.Record.TicksRun;
            break;
        case TRecordLine::TKind::Result:
            last.Check = line.Record.Check;
            break;
        }
    });
    ShowCheck(last);
    check->setText(QStringLiteral("Record %1: %2 ticks\n").arg(recordShown).arg(last.TicksRun) +
                   check->text() + (error.isEmpty() ? QString() : QStringLiteral("\n") + error));
    if (runs == 0 && error.isEmpty()) {
        return QStringLiteral("%1 holds no run").arg(path);
    }
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, error);
}

bool TMonitor::SavePicture(const QString& path) const {
    return chartArea->grab().save(path, "PNG");
}

void TMonitor::OpenClicked() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open a record"), QString(),
        QStringLiteral("Records (*.jsonl *.ndjson *.json *.log);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    const QString error = OpenRecord(path);
    if (!error.isEmpty()) {
        ShowErrorBox(error);
    }
}

void TMonitor::SaveClicked() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the charts"),
                                                      QStringLiteral("morvel-monitor.png"),
                                                      QStringLiteral("PNG pictures (*.png)"));
    if (!path.isEmpty() && !SavePicture(path)) {
        ShowErrorBox(QStringLiteral("The charts could not be saved as %1").arg(path));
    }
}

void TMonitor::ShowCheck(const TRunRecord& record) {
    const TCheckSummary& summary = record.Check;
    const std::int64_t done = summary.Blocks + summary.Missed;
    QString text = summary.Checked == 0
                       ? QStringLiteral("Block check: no block compared yet")
                       : QStringLiteral("Block check: %1 of %2 blocks compared (%3%)")
                             .arg(summary.Checked)
                             .arg(done)
                             .arg(summary.CheckedShare() * 100, 0, 'f', 1);
    if (summary.Computed > 0) {
        text += QStringLiteral(", %1 computed").arg(summary.Computed);
    }
    if (!lastComparison.isEmpty()) {
        text += QStringLiteral("\nLast comparison ") + lastComparison;
    }
    check->setText(text);
}
