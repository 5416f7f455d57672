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
    // A stop signal ended the run or cycle early: what it was and how long it ran, before its
    // end.
    virtual void Interrupted(const QByteArray&) {}
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

// What a person or a script reads: the result on standard output, the interruption and a refusal
// on standard error whatever else was asked for.
class TConsoleWriter : public TResultWriter {
public:
    explicit TConsoleWriter(TConsole streams);
    void Interrupted(const QByteArray& text) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override { return written; }

protected:
    // All of `text` on standard output, or the write error on standard error.
    void Print(const QByteArray& text);
    void Say(const QByteArrayList& lines) const;

private:
    TConsole console;
    bool written = true;
};

// The result line (or the cycle's table) on standard output; the notes beside the result and,
// unless `quiet`, a stress run's or cycle's summary on standard error.
class TTextWriter : public TConsoleWriter {
public:
    TTextWriter(TConsole streams, bool quietly);
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;

    // The cycle's table, one row per processor, and after it the first error of each that erred
    // and the hardware's warning of corrected errors.
    static QByteArray CycleTable(const TCycleRun::TResult& result);

private:
    bool quiet;
};

// One JSON object on standard output, a refused test's too.
class TJsonWriter : public TConsoleWriter {
public:
    using TConsoleWriter::TConsoleWriter;
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
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
    bool Written() const override { return file.Status().Ok(); }

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
    void Interrupted(const QByteArray& text) override;
    void Ended(const TRunRecord& record) override;
    void CycleEnded(const TCycleRun::TResult& result) override;
    void Refused(const TRefusal& refusal) override;
    bool Written() const override;

private:
    std::vector<std::unique_ptr<TResultWriter>> writers;
};
