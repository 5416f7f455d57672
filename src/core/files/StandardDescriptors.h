// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that the first file the
// program opens cannot become its standard input, output or error (and an error text cannot land
// in a report or record file). It is opened for reading only: a write to it fails as it did
// before. Call first in main(), before any file is opened. False when one stays closed.
bool OpenStandardDescriptors() noexcept;
