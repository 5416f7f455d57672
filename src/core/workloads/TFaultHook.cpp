// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TFaultHook.h"

const char* TFault::Name(TKind kind) noexcept {
    switch (kind) {
    case TKind::WrongRemainder:
        return "wrong remainder";
    case TKind::ZeroRemainder:
        return "wrong zero";
    case TKind::SkippedDivisor:
        return "skipped divisor";
    case TKind::WrongFma:
        return "wrong fma result";
    case TKind::FlippedBit:
        return "memory bit flip";
    case TKind::Stall:
        break;
    }
    return "stalled worker";
}
