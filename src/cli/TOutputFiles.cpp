// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TOutputFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

QString SystemError(const QString& path, const char* what, int number) {
    return QStringLiteral("%1: %2: %3")
        .arg(path, QString::fromLatin1(what),
             QString::fromStdString(std::generic_category().message(number)));
}

// Writes all of `data`; a regular file takes it in one call unless the disk is full.
bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

QString Folder(const QString& path) {
    return QFileInfo(path).absolutePath();
}

} // namespace

TRecordFile::~TRecordFile() {
    Close();
}

bool TRecordFile::Open(const QString& file) {
    Close();
    path = file;
    error.clear();
    unsynced = 0;
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                0666);
    if (fd < 0) {
        error = SystemError(path, "cannot open", errno);
        return false;
    }
    return true;
}

bool TRecordFile::Append(const QByteArray& line) {
    if (fd < 0) {
        return false;
    }
    const QByteArray whole = line + '\n';
    if (!WriteAll(fd, whole.constData(), static_cast<std::size_t>(whole.size()))) {
        return Fail("cannot write");
    }
    if (++unsynced >= SyncEvery) {
        unsynced = 0;
        if (::fsync(fd) != 0) {
            return Fail("cannot flush to disk");
        }
    }
    return true;
}

bool TRecordFile::Close() {
    if (fd < 0) {
        return error.isEmpty();
    }
    bool ok = true;
    if (unsynced > 0 && ::fsync(fd) != 0) {
        ok = Fail("cannot flush to disk");
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    return ok && error.isEmpty();
}

bool TRecordFile::Fail(const char* what) {
    if (error.isEmpty()) {
        error = SystemError(path, what, errno);
    }
    ::close(fd);
    fd = -1;
    return false;
}

bool CanReplaceFile(const QString& path, QString* error) {
    const QString folder = Folder(path);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1: is a folder").arg(path);
        return false;
    }
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
        *error = SystemError(folder, "cannot write in the folder", errno);
        return false;
    }
    return true;
}

bool ReplaceFile(const QString& path, const QByteArray& contents, QString* error) {
    // A temporary name the node exporter's textfile collector (*.prom) and similar readers skip.
    QByteArray temporary = QFile::encodeName(path) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = SystemError(Folder(path), "cannot make a temporary file in", errno);
        return false;
    }
    // mkostemp makes the file private; give it the permissions a new file gets, so that a
    // collector running as another user can read it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 &&
              WriteAll(fd, contents.constData(), static_cast<std::size_t>(contents.size())) &&
              ::fsync(fd) == 0;
    const int writeError = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        *error = SystemError(path, "cannot write", writeError);
        ::unlink(temporary.constData());
        return false;
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = SystemError(path, "cannot replace", errno);
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}
