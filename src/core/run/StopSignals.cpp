// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "StopSignals.h"

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

// pthread_sigmask fails only for an unknown `how`; these two are known.
void Block() noexcept {
    const sigset_t set = Set();
    [[maybe_unused]] const int known = pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void Unblock() noexcept {
    const sigset_t set = Set();
    [[maybe_unused]] const int known = pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace StopSignals
