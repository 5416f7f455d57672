// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "RunLog.h"

Q_LOGGING_CATEGORY(lcRun, "morvel.run", QtWarningMsg)
