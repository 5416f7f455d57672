// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunLock.h"

#include "DurableFile.h"
#include "StateLog.h"
#include "TPaths.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

ERunLocked::ERunLocked(long long holder)
    : std::runtime_error("Another test is running (process " + std::to_string(holder) + ")."),
      pid(holder) {}

QString TRunLock::DefaultPath() {
    return TPaths::LockFolder() + QStringLiteral("/run.lock");
}

TRunLock::TRunLock(QString lockPath) : path(std::move(lockPath)) {}

TRunLock::~TRunLock() {
    Release();
}

void TRunLock::Acquire() {
    if (Held()) {
        return;
    }
    if (path.isEmpty()) {
        try {
            path = DefaultPath();
        } catch (const std::runtime_error& error) {
            throw ERunLockFailed(error.what());
        }
    }
    int fd = -1;
    // A link or a file of another user's is refused: nobody else can hold this user's lock.
    const DurableFile::TResult opened = DurableFile::OpenOwn(path, O_RDWR | O_CREAT, 0600, &fd);
    if (!opened) {
        throw ERunLockFailed("Cannot use the run lock: " + opened.Message().toStdString());
    }
    // A lock of the open file, not of the process: a second open in this process conflicts too.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0) {
        const int error = errno;
        char text[32] = {};
        const ssize_t read = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        if (error == EAGAIN || error == EACCES) {
            throw ERunLocked(read > 0 ? std::atoll(text) : 0);
        }
        throw ERunLockFailed("Cannot lock file " + path.toStdString() + ": " +
                             std::generic_category().message(error));
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    // Should this fail, the lock holds all the same; only the holder's name is missing.
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        qCWarning(lcState, "lock %s holds no process number: %s", qPrintable(path),
                  std::generic_category().message(errno).c_str());
    }
    descriptor = fd;
}

void TRunLock::Release() noexcept {
    if (descriptor >= 0) {
        ::close(descriptor); // drops the lock
        descriptor = -1;
    }
}
