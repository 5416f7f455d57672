// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "StateLog.h"

Q_LOGGING_CATEGORY(lcState, "morvel.state", QtWarningMsg)
