// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// The application: every exception that escapes an event handler is shown in an error box and
// the event loop goes on. The window's handlers are run through Dispatch(), which hands what
// escapes them to ReportException() before it can unwind through Qt's own event delivery (Qt
// does not support exceptions passing through it); notify() catches whatever else escapes.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // From now on the stop signals (StopSignals.h; blocked first thing in main()) run `action` with
    // the signal's number on the event loop (never in the signal handler itself), and the calling
    // thread takes them again. Only the first call that succeeds counts: later calls change
    // nothing. When the signals cannot be caught, the reason is a warning of morvel.run and they
    // keep their default action.
    void OnStopSignal(std::function<void(int signal)> action);
};

// The title of every message box: the program file's name without its folder, cut at its first
// full stop, the first character kept and the rest in lower case ("ABC.EXE" gives "Abc").
QString ApplicationTitle(const QString& programFilePath);
// The same for this program's own file.
QString ApplicationTitle();

// An error message as the error box shows it: a full stop is added unless the message is empty
// or ends in a character whose code is at most that of the full stop.
QString ErrorBoxText(const QString& message);

// Shows the error box for an exception caught where an event was delivered.
void ReportException(std::exception_ptr error);

// Runs one event handler; an exception escaping it is reported and the program goes on.
template <class Handler> void Dispatch(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ReportException(std::current_exception());
    }
}

// Shows the error box (stop icon, one OK button, the application's title) over the program's
// windows and returns when the user closes it.
void ShowErrorBox(const QString& message);
// The same box with the text exactly as given.
void ShowStopBox(const QString& text);
