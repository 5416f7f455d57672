// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

// Keeps the machine awake: the run engine holds it from the start of a run to its end, however
// the run ends. How it is done is the platform's (logind on Linux); a run goes on when the system
// will not be kept awake, so neither call throws.
class TSleepInhibitor {
public:
    TSleepInhibitor() = default;
    TSleepInhibitor(const TSleepInhibitor&) = delete;
    TSleepInhibitor& operator=(const TSleepInhibitor&) = delete;
    virtual ~TSleepInhibitor() = default;

    // Asks the system not to sleep until Release(); holding already is no error.
    virtual void Hold() noexcept = 0;
    // Lets the system sleep again; not holding is no error.
    virtual void Release() noexcept = 0;
    // Why the last Hold() could not keep the system awake; empty when it did.
    virtual QString Problem() const { return {}; }
};
