// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "StopSignals.h"

#include "RunLog.h"

#include <cstring>
#include <pthread.h>

namespace StopSignals {

sigset_t Set() noexcept {
    sigset_t set;
    sigemptyset(&set);
    for (const TStopSignal& stop : All) {
        struct sigaction current {};
        if (::sigaction(stop.Number, nullptr, &current) != 0 || current.sa_handler != SIG_IGN) {
            sigaddset(&set, stop.Number);
        }
    }
    return set;
}

namespace {

void Mask(int how, const char* what) noexcept {
    const sigset_t set = Set();
    if (const int error = pthread_sigmask(how, &set, nullptr); error != 0) {
        qCWarning(lcRun, "cannot %s the stop signals: %s", what, strerrordesc_np(error));
    }
}

} // namespace

void Block() noexcept {
    Mask(SIG_BLOCK, "block");
}

void Unblock() noexcept {
    Mask(SIG_UNBLOCK, "unblock");
}

} // namespace StopSignals
