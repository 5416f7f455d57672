// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>

// Flushes a folder's entries to disk, so that a file just renamed into it survives a crash of
// the machine. False when the folder cannot be opened or flushed.
bool SyncFolder(const QString& folder) noexcept;
