// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QLoggingCategory>

// Diagnostics of the machine room, "morvel.sensors": warnings show by default, debug messages when
// QT_LOGGING_RULES="morvel.sensors.debug=true". Never the programs' own output.
Q_DECLARE_LOGGING_CATEGORY(lcSensors)
