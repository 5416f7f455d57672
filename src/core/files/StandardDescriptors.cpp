// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "StandardDescriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool OpenStandardDescriptors() noexcept {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is this one: the lower ones are open by now. Read-only, so
        // that a write there still fails as it did on the closed one (a result printed to a
        // closed standard output is not received, and the program says so).
        const int opened = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
        // Kept across exec, as a standard descriptor is.
        ::fcntl(fd, F_SETFD, 0);
    }
    return true;
}
