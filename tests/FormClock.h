// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "MainUnit.h"

#include <QMetaObject>
#include <QTimer>

#include <chrono>

// The steady clock of a window's runs, moved by the test: Tick() moves it on by a tick's length
// and the run's timer goes off at once, as it would at the tick's deadline.
class TFormClock {
public:
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();

    // The clock must outlive the form.
    void Attach(TMainForm& form) {
        form.SetSteadyClock([this] { return now; });
    }
    void Tick(QTimer* timer) {
        now += TTestPlan::TickInterval;
        QMetaObject::invokeMethod(timer, "timeout");
    }
};
