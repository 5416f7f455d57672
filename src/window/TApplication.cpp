// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TApplication.h"

#include "RunLog.h"
#include "StopSignals.h"
#include "TScreenPlacement.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <utility>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
    }
    return false;
}

namespace {

// The signal handler's end of a socket pair; the event loop reads the other end. Set once,
// before the handler is installed, and never changed afterwards.
int stopSignalSocket = -1;

void StopSignalHandler(int signal) {
    // The interrupted code may be about to read errno; a failed write (a full socket) must not
    // change it.
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(stopSignalSocket, &byte, 1);
    errno = savedErrno;
}

// "<what>: <reason>" as a warning of the run's diagnostics, the reason being the text of
// `error`.
void ReportSystemError(const char* what, int error) {
    const std::string reason = std::generic_category().message(error);
    qCWarning(lcRun, "%s: %s", what, reason.c_str());
}

} // namespace

void TApplication::OnStopSignal(std::function<void(int signal)> stopAction) {
    if (stopSignalSocket >= 0) {
        return; // the handler is in place and writes to the socket it was given
    }
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0) {
        // The signals keep their default action.
        ReportSystemError("cannot watch for stop signals: socketpair", errno);
        StopSignals::Unblock();
        return;
    }
    const sigset_t stopSignals = StopSignals::Set();
    stopSignalSocket = sockets[0];
    auto* notifier = new QSocketNotifier(sockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this,
            [socket = sockets[1], stop = std::move(stopAction)] {
                char bytes[16];
                int signal = 0;
                for (ssize_t got = 0; (got = ::read(socket, bytes, sizeof bytes)) > 0;) {
                    signal = static_cast<unsigned char>(bytes[got - 1]);
                }
                if (signal != 0) {
                    stop(signal);
                }
            });
    struct sigaction action {};
    action.sa_handler = StopSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const StopSignals::TStopSignal& stop : StopSignals::All) {
        if (sigismember(&stopSignals, stop.Number) != 1) {
            continue; // ignored from the start
        }
        if (::sigaction(stop.Number, &action, nullptr) != 0) {
            const int error = errno;
            const std::string what = std::string("cannot catch ") + stop.Name + ": sigaction";
            ReportSystemError(what.c_str(), error);
        }
    }
    StopSignals::Unblock();
}

void ReportException(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& caught) {
        ShowErrorBox(QString::fromUtf8(caught.what()));
    } catch (...) {
        ShowErrorBox(QStringLiteral("Unknown error"));
    }
}

QString ApplicationTitle(const QString& programFilePath) {
    QString name = QFileInfo(programFilePath).fileName();
    const qsizetype stop = name.indexOf(QLatin1Char('.'));
    if (stop >= 0) {
        name.truncate(stop);
    }
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

QString ApplicationTitle() {
    return ApplicationTitle(QCoreApplication::applicationFilePath());
}

QString ErrorBoxText(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= 0x2E) {
        return message;
    }
    return message + QLatin1Char('.');
}

namespace {

// The window the box belongs over: the active one, else a visible top-level window.
QWidget* BoxParent() {
    if (QWidget* active = QApplication::activeModalWidget()) {
        return active;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow() && !widget->parentWidget()) {
            return widget;
        }
    }
    return nullptr;
}

} // namespace

void ShowErrorBox(const QString& message) {
    ShowStopBox(ErrorBoxText(message));
}

void ShowStopBox(const QString& text) {
    // Also on standard error, for the session's log and for whoever started the program.
    const QByteArray line =
        QCoreApplication::applicationName().toLocal8Bit() + ": " + text.toLocal8Bit() + "\n";
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
    // Centred on the screen, as the closing boxes of a run that failed are.
    TCentredMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok,
                           BoxParent());
    box.setObjectName(QStringLiteral("ErrorBox"));
    // Without a window of its own (a second window refused), above the first one, which stays
    // on top: never waiting unseen beneath it.
    if (!box.parentWidget()) {
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    box.exec();
}
