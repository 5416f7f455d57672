// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// What the window program does before its QApplication exists: the arguments that only print
// something, and the check that there is a display to show the window on. Qt ends the process
// with abort() when its platform cannot start, so both come first.

enum class TStartupAction { Run, Help, Version };

// --help or --version anywhere among the arguments (not counting the program's name); the
// first of them wins. Every other argument is left to Qt.
TStartupAction StartupAction(const QStringList& arguments);

// The text of --help and of --version, each ending in a new line.
QString StartupHelp();
QString StartupVersion();

// The environment that decides where the window goes.
struct TDisplayEnvironment {
    QString Platform; // QT_QPA_PLATFORM
    QString Display;  // DISPLAY
    QString WaylandDisplay;

    static TDisplayEnvironment FromSystem();
};

// Why there is no display for the window, as one line without the program's name; empty when
// there may be one. A platform named by -platform or QT_QPA_PLATFORM is left to Qt to try.
QString MissingDisplay(const QStringList& arguments, const TDisplayEnvironment& environment);

// Holds back Qt's messages while the application is being made. When Qt gives up because its
// platform cannot start (no display to connect to), the first message held says why: it goes
// to standard error in one line and the process exits with status 1, where Qt would abort.
// Release() hands the messages held to the handler that was in place before.
class TStartupMessages {
public:
    TStartupMessages();
    ~TStartupMessages();
    TStartupMessages(const TStartupMessages&) = delete;
    TStartupMessages& operator=(const TStartupMessages&) = delete;

    void Release();

private:
    struct THeld {
        QtMsgType Type;
        QByteArray Category;
        QString Text;
    };
    static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text);

    static inline std::vector<THeld>* held = nullptr;
    static inline QtMessageHandler previous = nullptr;
};
