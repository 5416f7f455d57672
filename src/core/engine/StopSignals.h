// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <array>
#include <csignal>

// The signals that end a run and the program the way a session's end does: SIGHUP, SIGINT,
// SIGQUIT and SIGTERM. Both programs take them the same way: blocked in every thread from the
// start, then taken by one thread (the window's event loop, morvel-cli's wait).
namespace StopSignals {

struct TStopSignal {
    int Number;
    const char* Name;
};
inline constexpr std::array<TStopSignal, 4> All{
    {{SIGHUP, "SIGHUP"}, {SIGINT, "SIGINT"}, {SIGQUIT, "SIGQUIT"}, {SIGTERM, "SIGTERM"}}};

// The stop signals but those ignored when the program started (as nohup asks): those stay
// ignored, and are neither blocked, caught nor waited for.
sigset_t Set() noexcept;

// Blocks Set() in the calling thread, and so in every thread started from it afterwards, so that
// none is lost or acted on before the program takes them. Call before any thread starts.
void Block() noexcept;
// Unblocks Set() in the calling thread, once a handler is in place.
void Unblock() noexcept;

} // namespace StopSignals
