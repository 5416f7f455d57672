// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

// The logical processors this process may run on (its affinity mask), at least 1.
int UsableProcessors() noexcept;
