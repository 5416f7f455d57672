// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// morvel-cli: the benchmark and the stress test without a window, for servers and scripts.

#include "Processors.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TOutputFiles.h"

#include <cerrno>
#include <csignal>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

// Exit statuses besides 0 (completed) and 1 (computation error found).
constexpr int BadArguments = 2;
constexpr int CannotStart = 3;
constexpr int WriteError = 4;
constexpr int AnotherRun = 5;

void Error(const std::string& text) {
    std::cerr << "morvel-cli: " << text << '\n' << std::flush;
}

// Writes all of `bytes` to standard output; false, with errno set, when it cannot.
bool WriteOut(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// What the program prints on standard output; a failed write is reported and exits with 4
// rather than claim a result nobody received.
int Print(const std::string& bytes, int status) {
    if (!WriteOut(bytes)) {
        Error(std::string("write error: ") + std::generic_category().message(errno));
        return WriteError;
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    // Before anything else, and before any thread starts so that every thread inherits it: a
    // stop signal waits for the main thread to take it. A write past a file-size limit or to a
    // closed pipe fails with an error instead of ending the program.
    TCliRun::BlockStopSignals();
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const TCliArguments options = TCliArguments::Parse(arguments, UsableProcessors());
    switch (options.Action) {
    case TCliArguments::TAction::Help:
        return Print(TCliArguments::Usage().toStdString(), 0);
    case TCliArguments::TAction::Version:
        return Print("morvel-cli " MORVEL_VERSION "\n", 0);
    case TCliArguments::TAction::Error:
        std::cerr << "morvel-cli: " << options.Error.toStdString() << "\n\n"
                  << TCliArguments::Usage().toStdString() << std::flush;
        return BadArguments;
    case TCliArguments::TAction::Run:
        break;
    }

    TCliRun::TSettings settings;
    settings.Test = options.Test;
    settings.DurationIndex = options.DurationIndex;
    settings.Workers = options.Workers;
    settings.Format = TFormatSettings::FromSystem();

    // Output files are checked before the run, so that a long stress test does not end in a
    // result with nowhere to go.
    TRecordFile recordFile;
    QString fileError;
    if (!options.RecordPath.isEmpty() && !recordFile.Open(options.RecordPath)) {
        fileError = recordFile.Error();
    } else if (!options.PrometheusPath.isEmpty()) {
        CanReplaceFile(options.PrometheusPath, &fileError);
    }
    if (!fileError.isEmpty()) {
        Error(fileError.toStdString());
        return BadArguments;
    }

    const bool showProgress = !options.Quiet && isatty(STDERR_FILENO) == 1;
    std::optional<TRunRecord> run;
    try {
        settings.RunLock = std::make_shared<TRunLock>();
        run =
            TCliRun::Run(settings, &TCliRun::WaitForStopSignal, showProgress ? &std::cerr : nullptr,
                         options.RecordPath.isEmpty() ? nullptr : &recordFile);
    } catch (const ERunLocked& locked) {
        Error(locked.what());
        return AnotherRun;
    } catch (const std::exception& error) {
        // Typically the system refusing another thread; the workers already started are stopped.
        Error(std::string("cannot run the test: ") + error.what());
        return CannotStart;
    }
    const TRunRecord& record = *run;
    if (!recordFile.Error().isEmpty()) {
        // The run went on; the record holds every line up to the failure.
        std::cerr << "morvel-cli: " << recordFile.Error().toStdString() << '\n' << std::flush;
    }

    if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
        // The workers are told to stop; the process ends without waiting for them.
        return 128 + record.Signal;
    }
    const QByteArray text = (options.Json ? record.ToJson() : record.ResultLine()) + '\n';
    int status = Print(text.toStdString(), record.Outcome == TRunRecord::TOutcome::Failed ? 1 : 0);
    // The files asked for are output too: one that could not be written is no success.
    if (!options.PrometheusPath.isEmpty() &&
        !ReplaceFile(options.PrometheusPath, record.ToPrometheus(), &fileError)) {
        Error(fileError.toStdString());
        status = WriteError;
    }
    if (!options.RecordPath.isEmpty() && !recordFile.Error().isEmpty()) {
        Error(recordFile.Error().toStdString());
        status = WriteError;
    }
    return status;
}
