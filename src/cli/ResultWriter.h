// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "DurableFile.h"
#include "TCycleRun.h"
#include "TRunRecord.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where morvel-cli's results go. Every event of a test is handed to each writer the command
// line chose: the text a person reads, the JSON result, the live record, the metrics file.
class TResultWriter {
public:
    // A test that did not start: the run it would have been (none for a cycle) and why.
    struct TRefusal {
        std::optional<TRunRecord> Planned;
        TRunRecord::TNotStarted Why = TRunRecord::TNotStarted::Refused;
        QString Message;
    };

    virtual ~TResultWriter() = default;
    // A run's first moment and each of its ticks.
    virtual void Started(const TRunRecord&) {}
    virtual void Ticked(const TRunRecord&) {}
    // The end of a run: completed, failed or interrupted by a stop signal.
    virtual void Ended(const TRunRecord&) {}
    // The end of a cycle: every turn run, or stopped by a signal.
    virtual void CycleEnded(const TCycleRun::TResult&) {}
    virtual void Refused(const TRefusal&) {}
    // Whether all that was written reached its place; the writer said on standard error why
    // not.
    virtual bool Written() const { return true; }
};

// Standard output (all of a text, or why not) and standard error (a line without the program's
// name).
struct TConsole {
    std::function<DurableFile::TResult(const std::string&)> Out;
    std::function<void(const std::string&)> Error;
};

// The result line (or the cycle's table) on standard output; the interruption, the notes beside
// the result and, unless `quiet`, a stress run's or cycle's summary on standard error.
class TTextWriter : public TResultWriter {
public:
    TTextWriter(TConsole streams, bool quietly);
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override { return written; }

    // The cycle's table, one row per processor, and after it the first error of each that erred
    // and the hardware's warning of corrected errors.
    static QByteArray CycleTable(const TCycleRun::TResult& result);

private:
    void Print(const QByteArray& text);
    void Say(const QByteArrayList& lines) const;

    TConsole console;
    bool quiet;
    bool written = true;
};

// One JSON object on standard output; the interruption on standard error besides.
class TJsonWriter : public TResultWriter {
public:
    explicit TJsonWriter(TConsole streams);
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override { return written; }

private:
    void Print(const QByteArray& object);

    TConsole console;
    bool written = true;
};

// The live record, appended to an open file: the run's first line, a line per tick with the
// warnings new since the line before, and the result; a cycle's result alone. A test that did
// not start leaves no file it made.
class TRecordWriter : public TResultWriter {
public:
    TRecordWriter(DurableFile::TAppender& record, std::function<void(const std::string&)> say);
    void Started(const TRunRecord& record) override;
    void Ticked(const TRunRecord& record) override;
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override { return file.Error().Ok(); }

private:
    void Append(const QByteArray& line);
    void Close();

    DurableFile::TAppender& file;
    std::function<void(const std::string&)> error;
    std::size_t warningsWritten = 0;
};

// The metrics file, replaced at the end of a test; when it cannot be, the metrics follow the
// reason on standard error.
class TMetricsWriter : public TResultWriter {
public:
    TMetricsWriter(QString metricsPath, std::function<void(const std::string&)> say);
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    bool Written() const override { return written; }

private:
    void Replace(const QByteArray& metrics);

    QString path;
    std::function<void(const std::string&)> error;
    bool written = true;
};

// Each event to every writer, in their order.
class TResultWriters : public TResultWriter {
public:
    void Add(std::unique_ptr<TResultWriter> writer);
    void Started(const TRunRecord& record) override;
    void Ticked(const TRunRecord& record) override;
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override;

private:
    std::vector<std::unique_ptr<TResultWriter>> writers;
};
