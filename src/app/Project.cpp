// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "MainUnit.h"
#include "StandardDescriptors.h"
#include "StateLog.h"
#include "StopSignals.h"
#include "TApplication.h"
#include "TLogindInhibitor.h"
#include "TReportLog.h"
#include "TStartup.h"
#include "TWindowLock.h"

#include <QDateTime>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

// The log of the window while it is open, for the way out that passes by main(): a library
// that ends the process with exit(), as Qt does when the display connection breaks.
const TReportLog* openLog = nullptr;

void KeepUnsavedLinesOnExit() {
    if (openLog == nullptr || !openLog->Unsaved()) {
        return;
    }
    const QByteArray text = openLog->KeepUnsaved(QStringLiteral("the program ended before"),
                                                 QDateTime::currentDateTime());
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::fflush(stderr);
}

// Writes `text` to standard output: status 0, or 1 when it could not be written.
int PrintOut(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    const std::size_t written =
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    if (std::fflush(stdout) != 0 || written != static_cast<std::size_t>(bytes.size())) {
        std::perror("morvel: write error");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // First of all: a closed standard descriptor is held by /dev/null, so that no file (or pipe)
    // opened later takes its number; a stop signal waits until the program can save the log for
    // it, and a write past a file-size limit fails with an error instead of ending the program.
    OpenStandardDescriptors();
    StopSignals::Block();
    std::signal(SIGXFSZ, SIG_IGN);

    // What only prints, and no display, are dealt with before Qt would abort for want of one.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    switch (StartupAction(arguments)) {
    case TStartupAction::Help:
        return PrintOut(StartupHelp());
    case TStartupAction::Version:
        return PrintOut(StartupVersion());
    case TStartupAction::Run:
        break;
    }
    if (const QString missing = MissingDisplay(arguments, TDisplayEnvironment::FromSystem());
        !missing.isEmpty()) {
        std::fprintf(stderr, "morvel: %s\n", missing.toLocal8Bit().constData());
        return 1;
    }
    TStartupMessages startupMessages;
    TApplication application(argc, argv);
    startupMessages.Release();
    // The desktop entry's name: a Wayland compositor finds the window's icon and name through it.
    TApplication::setDesktopFileName(QStringLiteral("org.morvel.Morvel"));

    // One window per report file, before the file is read.
    TWindowLock lock(TReportLog::ReportFileName());
    try {
        lock.Acquire();
    } catch (const ERunLocked& held) {
        // Nothing to save here: a stop signal ends the box at once.
        application.OnStopSignal([](int) { QCoreApplication::exit(1); });
        ShowStopBox(QStringLiteral("Morvel is already running (process %1).").arg(held.Pid()));
        return 1;
    } catch (const std::exception& failure) {
        // Two windows on one file would overwrite each other's lines; say so, and go on.
        qCWarning(lcState, "no check for a second window: %s", failure.what());
    }

    try {
        TMainForm form;
        form.SetSleepInhibitor(std::make_shared<TLogindInhibitor>(
            [](const QString& why) { std::fprintf(stderr, "morvel: %s\n", qPrintable(why)); }));
        application.OnStopSignal([&form](int signal) { form.StopSignal(signal); });
        openLog = &form.ReportLog();
        std::atexit(KeepUnsavedLinesOnExit);
        form.show();
        const int status = TApplication::exec();
        openLog = nullptr;
        return status;
    } catch (const std::exception& error) {
        // The window could not be made: nothing to run.
        ShowErrorBox(QString::fromUtf8(error.what()));
        return 1;
    }
}
