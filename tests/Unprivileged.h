// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

// Runs the named cases ("function:row") of this test program again as the unprivileged user
// "nobody", through setpriv: permission bits do not stop root, so as root the cases that need
// them run this way. Empty when every case passed; otherwise what went wrong, with the output.
inline QByteArray FailuresAsNobody(const QStringList& cases) {
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        return "setpriv is needed to run the permission cases as another user";
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    // The test's runtime folder is root's: nobody finds one of its own.
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("setpriv"),
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                            QCoreApplication::applicationFilePath()} +
                    cases);
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return "the cases did not end in 2 minutes: " + child.readAll();
    }
    const QByteArray output = child.readAll();
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                        output.count("PASS   : ") == cases.size() + 2;
    return passed ? QByteArray() : output;
}
