// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "DurableFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace DurableFile {

namespace {

QByteArray Name(const QString& path) {
    return QFile::encodeName(path);
}

// Root's objects and this user's may be used; another user's may not.
bool Trusted(uid_t owner) noexcept {
    return owner == ::geteuid() || owner == 0;
}

// Flushes what can be flushed: a regular file or a folder; a pipe, FIFO or device has nothing
// to flush, and a flush it does not support is no failure.
TResult Sync(int fd, const QString& name) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return TResult::Failed(name, "cannot examine", errno);
    }
    if ((S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) && ::fsync(fd) != 0 &&
        errno != EINVAL) {
        return TResult::Failed(name, "cannot flush to disk", errno);
    }
    return {};
}

mode_t Umask() noexcept {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A folder that may take a new file: this user's or root's, or one with the sticky bit.
TResult CheckFolder(const QString& folder) {
    struct stat status {};
    if (::stat(Name(folder).constData(), &status) != 0) {
        return TResult::Failed(folder, "cannot use the folder", errno);
    }
    if (!S_ISDIR(status.st_mode)) {
        return TResult::Failed(folder, "cannot use the folder", ENOTDIR);
    }
    if (!Trusted(status.st_uid) && (status.st_mode & S_ISVTX) == 0) {
        return TResult::Refused(folder, "a folder of another user's is not written");
    }
    return {};
}

// Where a file at `path` is: the user's own links followed, another user's refused. `status`
// gets what stands there (lstat), `exists` whether anything does.
TResult Resolve(const QString& path, QString* target, struct stat* status, bool* exists) {
    QString current = path;
    for (int hop = 0; hop < 40; ++hop) {
        if (::lstat(Name(current).constData(), status) != 0) {
            if (errno != ENOENT) {
                return TResult::Failed(current, "cannot examine", errno);
            }
            // Nothing there, a link to nothing included: the file is made where the link leads.
            *exists = false;
            *target = current;
            return {};
        }
        if (!S_ISLNK(status->st_mode)) {
            if (S_ISREG(status->st_mode) && !Trusted(status->st_uid)) {
                return TResult::Refused(current, "a file of another user's is not written");
            }
            *exists = true;
            *target = current;
            return {};
        }
        if (!Trusted(status->st_uid)) {
            return TResult::Refused(current, "a link of another user's is not followed");
        }
        current = QFileInfo(current).symLinkTarget();
    }
    return TResult::Failed(path, "cannot examine", ELOOP);
}

// The target of a replace and its mode when it is replaced.
TResult ReplaceTarget(const QString& path, QString* target, bool* exists, mode_t* mode) {
    struct stat status {};
    TResult result = Resolve(path, target, &status, exists);
    if (!result) {
        return result;
    }
    if (*exists && !S_ISREG(status.st_mode)) {
        return {path, QStringLiteral("cannot replace"),
                QString::fromLatin1(S_ISDIR(status.st_mode) ? "a folder" : "not a regular file")};
    }
    *mode = *exists ? status.st_mode & 07777 : 0;
    return CheckFolder(QFileInfo(*target).absolutePath());
}

// Writes the whole file in place: the one case without a replace in one step.
TResult WriteInPlace(const QString& target, QByteArrayView contents) {
    const int fd = ::open(Name(target).constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return TResult::Failed(target, "cannot open", errno);
    }
    TResult result = WriteAll(fd, contents, target);
    if (result && ::ftruncate(fd, static_cast<off_t>(contents.size())) != 0) {
        result = TResult::Failed(target, "cannot write", errno);
    }
    if (result) {
        result = Sync(fd, target);
    }
    if (::close(fd) != 0 && result) {
        result = TResult::Failed(target, "cannot write", errno);
    }
    return result;
}

} // namespace

QString TResult::Message() const {
    return Ok() ? QString() : QStringLiteral("%1: %2: %3").arg(Path, Step, Reason);
}

TResult TResult::Failed(const QString& path, const char* step, int error) {
    return {path, QString::fromLatin1(step),
            QString::fromStdString(std::generic_category().message(error))};
}

TResult TResult::Refused(const QString& path, const char* why) {
    return {path, QStringLiteral("refused"), QString::fromLatin1(why)};
}

TResult WriteAll(int fd, QByteArrayView bytes, const QString& name) {
    const char* data = bytes.data();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return TResult::Failed(name, "cannot write", written == 0 ? EIO : errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return {};
}

TResult SyncFolder(const QString& folder) {
    const int fd = ::open(Name(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return TResult::Failed(folder, "cannot flush the folder", errno);
    }
    TResult result = Sync(fd, folder);
    ::close(fd);
    return result;
}

TResult Replace(const QString& path, QByteArrayView contents, mode_t newMode, TInPlace inPlace) {
    QString target;
    bool exists = false;
    mode_t mode = 0;
    if (TResult checked = ReplaceTarget(path, &target, &exists, &mode); !checked) {
        return checked;
    }
    const QString folder = QFileInfo(target).absolutePath();
    QByteArray temporary = Name(target) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (inPlace == TInPlace::InReadOnlyFolder && exists &&
            (error == EACCES || error == EPERM || error == EROFS)) {
            return WriteInPlace(target, contents);
        }
        return TResult::Failed(folder, "cannot make a temporary file in the folder", error);
    }
    TResult result;
    if (::fchmod(fd, exists ? mode : newMode & ~Umask()) != 0) {
        result = TResult::Failed(target, "cannot set the mode", errno);
    }
    if (result) {
        result = WriteAll(fd, contents, target);
    }
    if (result) {
        result = Sync(fd, target);
    }
    if (::close(fd) != 0 && result) {
        result = TResult::Failed(target, "cannot write", errno);
    }
    if (result && ::rename(temporary.constData(), Name(target).constData()) != 0) {
        result = TResult::Failed(target, "cannot replace", errno);
    }
    if (!result) {
        ::unlink(temporary.constData());
        return result;
    }
    return SyncFolder(folder);
}

TResult CanReplace(const QString& path) {
    QString target;
    bool exists = false;
    mode_t mode = 0;
    if (TResult checked = ReplaceTarget(path, &target, &exists, &mode); !checked) {
        return checked;
    }
    QByteArray temporary = Name(target) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return TResult::Failed(QFileInfo(target).absolutePath(),
                               "cannot make a temporary file in the folder", errno);
    }
    ::close(fd);
    ::unlink(temporary.constData());
    return {};
}

TResult CreateNew(const QString& folder, const QByteArray& stem, const QByteArray& suffix,
                  QByteArrayView contents, mode_t mode, QString* created) {
    if (TResult checked = CheckFolder(folder); !checked) {
        return checked;
    }
    const QByteArray base = Name(folder) + '/' + stem;
    QByteArray path = base + suffix;
    int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        path = base + "-XXXXXX" + suffix;
        fd = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    }
    const QString name = QFile::decodeName(path);
    if (fd < 0) {
        return TResult::Failed(name, "cannot make", errno);
    }
    TResult result;
    if (::fchmod(fd, mode) != 0) {
        result = TResult::Failed(name, "cannot set the mode", errno);
    }
    if (result) {
        result = WriteAll(fd, contents, name);
    }
    if (result) {
        result = Sync(fd, name);
    }
    if (::close(fd) != 0 && result) {
        result = TResult::Failed(name, "cannot write", errno);
    }
    if (!result) {
        ::unlink(path.constData());
        return result;
    }
    *created = name;
    return SyncFolder(folder);
}

TResult OpenOwn(const QString& path, int flags, mode_t mode, int* fd) {
    *fd = -1;
    if (TResult checked = CheckFolder(QFileInfo(path).absolutePath()); !checked) {
        return checked;
    }
    const int opened = ::open(Name(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (opened < 0) {
        return errno == ELOOP ? TResult::Refused(path, "a link is not followed")
                              : TResult::Failed(path, "cannot open", errno);
    }
    struct stat status {};
    TResult result;
    if (::fstat(opened, &status) != 0) {
        result = TResult::Failed(path, "cannot examine", errno);
    } else if (!S_ISREG(status.st_mode)) {
        result = {path, QStringLiteral("cannot open"), QStringLiteral("not a regular file")};
    } else if (!Trusted(status.st_uid)) {
        result = TResult::Refused(path, "a file of another user's is not written");
    }
    if (!result) {
        ::close(opened);
        return result;
    }
    *fd = opened;
    return {};
}

TAppender::~TAppender() {
    Close();
}

TResult TAppender::Open(const QString& file, mode_t newMode) {
    Close();
    path = file;
    error = {};
    unsynced = 0;
    QString target;
    struct stat status {};
    bool exists = false;
    if (TResult checked = Resolve(path, &target, &status, &exists); !checked) {
        return error = checked;
    }
    if (!exists) {
        if (TResult checked = CheckFolder(QFileInfo(target).absolutePath()); !checked) {
            return error = checked;
        }
    }
    // Without waiting for a FIFO's reader: with none, the open fails at once (ENXIO).
    fd = ::open(Name(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC,
                newMode);
    if (fd < 0) {
        return error = TResult::Failed(
                   path, errno == ENXIO ? "no reader on the other side" : "cannot open", errno);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::fstat(fd, &status) != 0) {
        return Fail(TResult::Failed(path, "cannot open", errno));
    }
    if (S_ISREG(status.st_mode) && !Trusted(status.st_uid)) {
        return Fail(TResult::Refused(path, "a file of another user's is not written"));
    }
    syncable = S_ISREG(status.st_mode);
    return {};
}

TResult TAppender::Append(QByteArrayView line) {
    if (fd < 0) {
        return error.Ok() ? TResult::Failed(path, "cannot write", EBADF) : error;
    }
    QByteArray whole;
    whole.reserve(line.size() + 1);
    whole.append(line);
    whole.append('\n');
    if (TResult written = WriteAll(fd, whole, path); !written) {
        return Fail(written);
    }
    if (syncable && ++unsynced >= SyncEvery) {
        unsynced = 0;
        if (TResult synced = Sync(fd, path); !synced) {
            return Fail(synced);
        }
    }
    return {};
}

TResult TAppender::Close() {
    if (fd < 0) {
        return error;
    }
    if (unsynced > 0) {
        if (TResult synced = Sync(fd, path); !synced) {
            return Fail(synced);
        }
    }
    if (::close(fd) != 0) {
        fd = -1;
        return Fail(TResult::Failed(path, "cannot write", errno));
    }
    fd = -1;
    return error;
}

TResult TAppender::Fail(TResult failure) {
    if (error.Ok()) {
        error = std::move(failure);
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    return error;
}

} // namespace DurableFile
