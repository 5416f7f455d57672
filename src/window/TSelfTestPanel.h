// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QProcess>
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The self-test on the Monitor tab: morvel-cli's `selftest` run as a child process, its output
// as it comes and its verdict in one line. The window does not hold the fault injection itself:
// morvel-cli does, beside the program. The run lock keeps the self-test and a test run apart:
// whichever comes second is refused with the lock's message.
class TSelfTestPanel : public QWidget {
    Q_OBJECT
public:
    explicit TSelfTestPanel(QWidget* parent = nullptr);
    ~TSelfTestPanel() override;

    // The morvel-cli to run: the one beside the program, else the first on PATH, unless set.
    void SetProgram(const QString& path) { program = path; }
    static QString DefaultProgram();

    QPushButton* Button() const noexcept { return button; }
    bool Running() const noexcept { return process.state() != QProcess::NotRunning; }
    // Starts the self-test, or stops the one that runs.
    void Toggle();
    // Stops a self-test that runs and waits for it to go (the window closes).
    void Cancel();

signals:
    // The self-test ended, with its verdict line.
    void Finished(const QString& verdict);

private:
    void Start();
    void Read();
    void Ended();
    void ShowRunning();

    QString program;
    QProcess process;
    QPushButton* button = nullptr;
    QPlainTextEdit* output = nullptr;
    QLabel* verdict = nullptr;
    QTimer* clock = nullptr; // the seconds shown while it runs
    int seconds = 0;
    int runs = 0;   // started so far, so that a late kill meets only its own run
    QString errors; // what it wrote to standard error
    bool cancelled = false;
};
