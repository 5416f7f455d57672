// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TTickLoop.h"

#include <algorithm>

std::chrono::milliseconds TTickLoop::Wait() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline() - engine.Now());
    return std::max(left, std::chrono::milliseconds(0));
}

std::optional<TTickLoop::TResult> TTickLoop::Wake(const THooks& hooks) {
    if (!engine.TickDue()) {
        return std::nullopt;
    }
    if (hooks.BeforeTick) {
        hooks.BeforeTick();
    }
    const TResult result = engine.Tick();
    if (hooks.AfterTick) {
        hooks.AfterTick(result);
    }
    return result;
}
