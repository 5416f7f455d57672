// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TRunEngine.h"

#include <chrono>
#include <functional>
#include <optional>

// The ticks of a run as a front end drives them from its own timer: it waits Wait() (the window's
// timer) or until Deadline() (the command line's wait for a stop signal), then calls Wake(), and
// shows what it likes around the tick. Whether a tick is due is the engine's to say. A wake-up
// late on a busy machine fires one tick, and Wait() is then 0 for each further length that
// passed: the front end wakes again at once, free to handle a stop or a click in between. A
// wake-up after a stop of the process fires none and waits a whole length again, the run lasting
// longer by the stop.
class TTickLoop {
public:
    using TResult = TRunEngine::TTickResult;
    // Called before the tick, and after it with its result.
    struct THooks {
        std::function<void()> BeforeTick;
        std::function<void(TResult)> AfterTick;
    };

    explicit TTickLoop(TRunEngine& runEngine) noexcept : engine(runEngine) {}

    // When the active run's next tick is due, by the engine's steady clock.
    std::chrono::steady_clock::time_point Deadline() const noexcept { return engine.NextTick(); }
    // The time from now to Deadline(), rounded up to a millisecond; 0 when it has passed.
    std::chrono::milliseconds Wait() const;
    // Fires the tick when one is due now; its result, or none.
    std::optional<TResult> Wake(const THooks& hooks = {});

private:
    TRunEngine& engine;
};
