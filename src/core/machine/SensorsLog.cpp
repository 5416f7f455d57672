// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "SensorsLog.h"

Q_LOGGING_CATEGORY(lcSensors, "morvel.sensors", QtWarningMsg)
