// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// morvel-cli: the benchmark and the stress test without a window, for servers and scripts.

#include "DurableFile.h"
#include "RunCommand.h"
#include "StandardDescriptors.h"
#include "StopSignals.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TLogindInhibitor.h"

#include <QFile>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

void Error(const std::string& text) {
    std::cerr << "morvel-cli: " << text << '\n' << std::flush;
}

// Writes all of `bytes` to standard output, or says why it could not.
DurableFile::TResult WriteOut(const std::string& bytes) {
    return DurableFile::WriteAll(STDOUT_FILENO, bytes, QStringLiteral("standard output"));
}

// What only prints: its text on standard output, and 4 (as a run's result) when it cannot be
// written.
int Print(const std::string& bytes, int status) {
    const DurableFile::TResult written = WriteOut(bytes);
    if (!written) {
        Error("write error: " + written.Reason.toStdString());
        return RunCommand::WriteError;
    }
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    // A closed standard descriptor is held by /dev/null, so that no file opened later takes its
    // number. Then, before any thread starts so that every thread inherits it: a stop signal
    // waits for the main thread to take it. A write past a file-size limit or to a closed pipe
    // fails with an error instead of ending the program.
    OpenStandardDescriptors();
    StopSignals::Block();
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
        // A file name whose bytes would not survive (not UTF-8) is refused, never written
        // under another name.
        if (QFile::encodeName(arguments.last()) != QByteArray(argv[i])) {
            Error(std::string("not a UTF-8 name, refused: ") + argv[i]);
            return RunCommand::BadArguments;
        }
    }
    const TCliArguments options =
        TCliArguments::Parse(arguments, UsableCpuList(), TMemoryInfo::Read());
    switch (options.Action) {
    case TCliArguments::TAction::Help:
        return Print(TCliArguments::Usage().toStdString(), 0);
    case TCliArguments::TAction::Version:
        return Print("morvel-cli " MORVEL_VERSION "\n", 0);
    case TCliArguments::TAction::Error:
        std::cerr << options.ErrorMessage().toStdString() << std::flush;
        return RunCommand::BadArguments;
    case TCliArguments::TAction::SelfTest:
    case TCliArguments::TAction::Cycle:
    case TCliArguments::TAction::Run:
        break;
    }

    RunCommand::TContext context;
    context.UsableCpus = UsableCpuList();
    // The machine is kept awake while a run is active; where it cannot be, standard error says
    // why, unless --quiet.
    context.SleepInhibitor =
        std::make_shared<TLogindInhibitor>([quiet = options.Quiet](const QString& why) {
            if (!quiet) {
                Error(why.toStdString());
            }
        });
    context.Out = &WriteOut;
    context.Error = &Error;
    if (!options.Quiet && isatty(STDERR_FILENO) == 1) {
        context.Progress = &std::cerr;
    }
    return RunCommand::Run(options, context);
}
