// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QLoggingCategory>

// Diagnostics of the run room, "morvel.run": warnings show by default, debug messages when
// QT_LOGGING_RULES="morvel.run.debug=true". Never the programs' own output.
Q_DECLARE_LOGGING_CATEGORY(lcRun)
