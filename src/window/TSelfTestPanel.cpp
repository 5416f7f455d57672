// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSelfTestPanel.h"

#include "TApplication.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>
#include <sys/prctl.h>

namespace {

const QString CliName = QStringLiteral("morvel-cli");
// morvel-cli's exit statuses for the self-test (its manual lists every one).
constexpr int Passed = 0;
constexpr int Failed = 1;
constexpr int Inconclusive = 7;
// How long a self-test asked to stop has before it is killed, in milliseconds.
constexpr int StopGrace = 2000;

} // namespace

TSelfTestPanel::TSelfTestPanel(QWidget* parent)
    : QWidget(parent), program(DefaultProgram()), clock(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    button = new QPushButton(QStringLiteral("Self-test"), this);
    button->setObjectName(QStringLiteral("MonitorSelfTestButton"));
    button->setToolTip(QStringLiteral("Prove that the check finds injected faults, with "
                                      "morvel-cli selftest (Ctrl+Shift+S)"));
    layout->addWidget(button);
    output = new QPlainTextEdit(this);
    output->setObjectName(QStringLiteral("MonitorSelfTestOutput"));
    output->setAccessibleName(QStringLiteral("Self-test output"));
    output->setReadOnly(true);
    output->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Its table lines up in a fixed-width face (the window's style sheet sets every font).
    output->setStyleSheet(QStringLiteral("font-family: \"%1\"; font-size: 9px;")
                              .arg(QFontDatabase::systemFont(QFontDatabase::FixedFont).family()));
    output->setFixedHeight(120); // the processors' table takes the rest of the column
    layout->addWidget(output);
    verdict = new QLabel(QStringLiteral("Self-test not run yet"), this);
    verdict->setObjectName(QStringLiteral("MonitorSelfTestVerdict"));
    verdict->setWordWrap(true);
    layout->addWidget(verdict);

    connect(button, &QPushButton::clicked, this, [this] { Dispatch([this] { Toggle(); }); });
    connect(&process, &QProcess::readyReadStandardOutput, this, &TSelfTestPanel::Read);
    connect(&process, &QProcess::readyReadStandardError, this, &TSelfTestPanel::Read);
    connect(&process, &QProcess::finished, this, [this] { Ended(); });
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            Ended();
        }
    });
    // A window that dies (killed, or out at once on a stop signal) leaves no self-test behind
    // to hold the run lock.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, [this] {
        ++seconds;
        ShowRunning();
    });
}

TSelfTestPanel::~TSelfTestPanel() {
    process.disconnect(this);
    Cancel();
}

QString TSelfTestPanel::DefaultProgram() {
    QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + CliName;
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    const QString found = QStandardPaths::findExecutable(CliName);
    return found.isEmpty() ? CliName : found;
}

void TSelfTestPanel::Toggle() {
    if (Running()) {
        // Asked to stop first; one that goes on (the self-test may not heed a stop signal) is
        // killed: its workers go with it, and so does its hold on the run lock.
        cancelled = true;
        process.terminate();
        QTimer::singleShot(StopGrace, &process, [this, run = runs] {
            if (run == runs && Running()) {
                process.kill();
            }
        });
        return;
    }
    Start();
}

void TSelfTestPanel::Start() {
    output->clear();
    errors.clear();
    cancelled = false;
    seconds = 0;
    ++runs;
    button->setText(QStringLiteral("Stop self-test"));
    ShowRunning();
    clock->start();
    process.start(program, {QStringLiteral("selftest")});
}

void TSelfTestPanel::Cancel() {
    if (!Running()) {
        return;
    }
    cancelled = true;
    process.terminate();
    if (!process.waitForFinished(StopGrace)) {
        process.kill();
        process.waitForFinished(-1);
    }
}

void TSelfTestPanel::Read() {
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray error = process.readAllStandardError();
    errors += QString::fromLocal8Bit(error);
    for (const QByteArray& text : {out, error}) {
        if (!text.isEmpty()) {
            output->moveCursor(QTextCursor::End);
            output->insertPlainText(QString::fromLocal8Bit(text));
            output->ensureCursorVisible();
        }
    }
}

void TSelfTestPanel::Ended() {
    Read();
    clock->stop();
    button->setText(QStringLiteral("Self-test"));
    const QString message = errors.trimmed().split(QLatin1Char('\n')).constLast();
    QString text;
    if (process.error() == QProcess::FailedToStart) {
        text = QStringLiteral("Self-test not run: %1 cannot be started (%2)")
                   .arg(program, process.errorString());
    } else if (cancelled) {
        text = QStringLiteral("Self-test stopped");
    } else if (process.exitStatus() == QProcess::CrashExit) {
        text = QStringLiteral("Self-test not finished: %1 crashed").arg(program);
    } else {
        switch (process.exitCode()) {
        case Passed:
            text = QStringLiteral("Self-test passed: every fault was found and named");
            break;
        case Failed:
            text = QStringLiteral("Self-test FAILED: a fault was missed or blamed on the wrong "
                                  "worker");
            break;
        case Inconclusive:
            text = QStringLiteral("Self-test inconclusive: the workers got too little processor "
                                  "time to judge every fault");
            break;
        default:
            text = QStringLiteral("Self-test not run: %1")
                       .arg(message.isEmpty()
                                ? QStringLiteral("exit status %1").arg(process.exitCode())
                                : message);
            break;
        }
    }
    verdict->setText(text);
    emit Finished(text);
}

void TSelfTestPanel::ShowRunning() {
    verdict->setText(QStringLiteral("Self-test running (%1 s)").arg(seconds));
}
