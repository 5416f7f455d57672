// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ResultWriter.h"

#include "JsonReport.h"
#include "PrometheusReport.h"
#include "RunSummary.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace {

QByteArray Figure(const std::optional<double>& value) {
    return value ? QByteArray::number(std::llround(*value)) : QByteArray("-");
}

} // namespace

TConsoleWriter::TConsoleWriter(TConsole streams) : console(std::move(streams)) {}

void TConsoleWriter::Print(const QByteArray& text) {
    const DurableFile::TResult done = console.Out(text.toStdString());
    if (!done) {
        console.Error("write error: " + done.Reason.toStdString());
        written = false;
    }
}

void TConsoleWriter::Say(const QByteArrayList& lines) const {
    for (const QByteArray& line : lines) {
        console.Error(line.toStdString());
    }
}

void TConsoleWriter::Interrupted(const QByteArray& text) {
    // The result, the record's last line and the metrics say it too, so that no earlier result
    // passes for this one.
    Say({text});
}

void TConsoleWriter::Refused(const TRefusal& refusal) {
    Say({refusal.Message.toUtf8()});
}

TTextWriter::TTextWriter(TConsole streams, bool quietly)
    : TConsoleWriter(std::move(streams)), quiet(quietly) {}

void TTextWriter::Ended(const TRunRecord& record) {
    if (record.Outcome != TRunRecord::TOutcome::Interrupted) {
        Print(record.ResultLine() + '\n');
    }
    // After the result, beside it: what the machine did to the run.
    Say(record.Notes());
    if (!quiet && record.Test == TTestKind::Stress) {
        Say(RunSummary::Lines(record));
    }
}

void TTextWriter::CycleEnded(const TCycleRun::TResult& result) {
    if (result.Signal == 0) {
        Print(CycleTable(result));
    }
    if (!quiet) {
        Say(RunSummary::Lines(result.Sensors, result.Check, result.Warnings));
    }
}

QByteArray TTextWriter::CycleTable(const TCycleRun::TResult& result) {
    QByteArray text = "  CPU  seconds  blocks checked  errors  max MHz  max C\n";
    for (const TCycleRun::TRow& row : result.Rows) {
        char line[128];
        std::snprintf(line, sizeof line, "%5d  %7.0f  %14lld  %6d  %7s  %5s\n", row.Cpu,
                      row.Seconds, static_cast<long long>(row.BlocksChecked), row.Errors,
                      Figure(row.MaxMHz).constData(), Figure(row.MaxTemperatureC).constData());
        text += line;
    }
    for (const TCycleRun::TRow& row : result.Rows) {
        if (row.FirstError && row.FirstError->Kind == TRunFailure::TKind::Hardware) {
            text += "CPU " + QByteArray::number(row.Cpu) + ": " +
                    row.FirstError->Text(true).toUtf8() + '\n';
        } else if (row.FirstError) {
            text += "CPU " + QByteArray::number(row.Cpu) + ": computation error in block " +
                    QByteArray::number(qint64(row.FirstError->Block.value_or(-1))) + '\n';
        }
    }
    if (result.HardwareErrors && !result.HardwareErrors->Warning().isEmpty()) {
        text += result.HardwareErrors->Warning() + '\n';
    }
    return text;
}

void TJsonWriter::Ended(const TRunRecord& record) {
    // The JSON result carries the notes and the summary's figures.
    Print(JsonReport::Result(record) + '\n');
}

void TJsonWriter::CycleEnded(const TCycleRun::TResult& result) {
    Print(JsonReport::Cycle(result) + '\n');
}

void TJsonWriter::Refused(const TRefusal& refusal) {
    TConsoleWriter::Refused(refusal);
    Print((refusal.Planned ? JsonReport::NotStarted(*refusal.Planned, refusal.Why, refusal.Message)
                           : JsonReport::Compact(JsonReport::NotStartedObject(
                                 QStringLiteral("cycle"), refusal.Why, refusal.Message))) +
          '\n');
}

TRecordWriter::TRecordWriter(DurableFile::TAppender& record,
                             std::function<void(const std::string&)> say)
    : file(record), error(std::move(say)) {}

void TRecordWriter::Append(const QByteArray& line) {
    // A write error is kept in the file's Error() and the run goes on.
    if (file.IsOpen()) {
        file.Append(line);
    }
}

void TRecordWriter::Close() {
    if (!file.Close()) {
        error(file.Status().Message().toStdString());
    }
}

void TRecordWriter::Started(const TRunRecord& record) {
    warningsWritten = 0;
    Append(JsonReport::Header(record));
}

void TRecordWriter::Ticked(const TRunRecord& record) {
    Append(JsonReport::Tick(record, warningsWritten));
    warningsWritten = record.Warnings.size();
}

void TRecordWriter::Ended(const TRunRecord& record) {
    // However it ended, the record's last line says how.
    Append(JsonReport::Result(record));
    Close();
}

void TRecordWriter::CycleEnded(const TCycleRun::TResult& result) {
    Append(JsonReport::Cycle(result));
    Close();
}

void TRecordWriter::Refused(const TRefusal&) {
    file.Discard(); // a run that never started leaves no empty record
}

TMetricsWriter::TMetricsWriter(QString metricsPath, std::function<void(const std::string&)> say)
    : path(std::move(metricsPath)), error(std::move(say)) {}

void TMetricsWriter::Replace(const QByteArray& metrics) {
    const DurableFile::TResult done = DurableFile::Replace(path, metrics, 0644);
    if (!done) {
        error(done.Message().toStdString() + "; the metrics follow on standard error\n" +
              metrics.trimmed().toStdString());
        written = false;
    }
}

void TMetricsWriter::Ended(const TRunRecord& record) {
    Replace(PrometheusReport::Metrics(record));
}

void TMetricsWriter::CycleEnded(const TCycleRun::TResult& result) {
    Replace(PrometheusReport::Cycle(result));
}

void TResultWriters::Add(std::unique_ptr<TResultWriter> writer) {
    writers.push_back(std::move(writer));
}

void TResultWriters::Started(const TRunRecord& record) {
    for (const auto& writer : writers) {
        writer->Started(record);
    }
}

void TResultWriters::Ticked(const TRunRecord& record) {
    for (const auto& writer : writers) {
        writer->Ticked(record);
    }
}

void TResultWriters::Interrupted(const QByteArray& text) {
    for (const auto& writer : writers) {
        writer->Interrupted(text);
    }
}

void TResultWriters::Ended(const TRunRecord& record) {
    for (const auto& writer : writers) {
        writer->Ended(record);
    }
}

void TResultWriters::CycleEnded(const TCycleRun::TResult& result) {
    for (const auto& writer : writers) {
        writer->CycleEnded(result);
    }
}

void TResultWriters::Refused(const TRefusal& refusal) {
    for (const auto& writer : writers) {
        writer->Refused(refusal);
    }
}

bool TResultWriters::Written() const {
    bool all = true;
    for (const auto& writer : writers) {
        all = writer->Written() && all;
    }
    return all;
}
