// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <vector>

// The numbers of the processors this process may run on (its affinity mask, as the system record
// reads it), ascending; never empty.
std::vector<int> UsableCpuList();
