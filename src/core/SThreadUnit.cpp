// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SThreadUnit.h"

void SThread::Execute() {
    Search([this]() noexcept { return TThread::StopRequested(); });
}
