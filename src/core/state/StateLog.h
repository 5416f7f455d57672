// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QLoggingCategory>

// Diagnostics of the state room, "morvel.state": warnings show by default, debug messages when
// QT_LOGGING_RULES="morvel.state.debug=true". Never the programs' own output.
Q_DECLARE_LOGGING_CATEGORY(lcState)
