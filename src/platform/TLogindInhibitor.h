// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSleepInhibitor.h"

#include <QString>

#include <functional>

// A sleep inhibitor taken from logind on the system bus (DBUS_SYSTEM_BUS_ADDRESS when set):
// Manager.Inhibit("sleep", "Morvel", why, "block") gives a file descriptor that keeps the
// machine awake while it is open. Without logind (no system bus, no such service, a refusal) a
// run goes on, and `warn` is told why, once in the inhibitor's life.
class TLogindInhibitor final : public TSleepInhibitor {
public:
    using Warn = std::function<void(const QString&)>;

    explicit TLogindInhibitor(Warn warn, QString why = QStringLiteral("A stress test is running"));
    TLogindInhibitor(const TLogindInhibitor&) = delete;
    TLogindInhibitor& operator=(const TLogindInhibitor&) = delete;
    ~TLogindInhibitor() override;

    void Hold() noexcept override;
    void Release() noexcept override;
    // Whether logind gave an inhibitor that is held now.
    bool Holding() const noexcept { return fd >= 0; }
    QString Problem() const override { return problem; }

private:
    // The inhibitor's descriptor, or why there is none.
    QString Take();

    Warn warn;
    QString why;
    bool warned = false;
    QString problem; // why the last Hold() holds nothing
    int fd = -1;
};
