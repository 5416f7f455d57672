// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "DurableFile.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <system_error>
#include <unistd.h>
#include <utility>

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

// A descriptor, closed with its object.
class TFd {
public:
    TFd() = default;
    explicit TFd(int descriptor) noexcept : fd(descriptor) {}
    TFd(TFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.fd, -1));
        }
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(-1); }

    int Get() const noexcept { return fd; }
    explicit operator bool() const noexcept { return fd >= 0; }
    int Release() noexcept { return std::exchange(fd, -1); }
    void Reset(int descriptor) noexcept {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = descriptor;
    }

private:
    int fd = -1;
};

// Where a path leads, found one name at a time from the root (or the current folder): every
// link on the way is read and checked before it is followed, and each folder is held open, so
// that what is opened at the end is what was checked, whatever is renamed meanwhile.
struct TPlace {
    TFd Folder;         // the folder the name is in (O_PATH)
    QString FolderPath; // its path, links resolved
    QByteArray Name;    // the name in it
    QString Path;       // FolderPath and Name
    bool Exists = false;
    // A link of the process file system (/proc/self/fd/N, /dev/stdout): it names a file a
    // process of this user's (or root's) holds open, not a path, so the kernel follows it.
    bool Magic = false;
    struct stat Status {}; // what stands at the name, not followed
};

// Whether the last name of a path is followed when it is a link.
enum class TLast { Follow, Keep };

QString Join(const QString& folder, const QByteArray& name) {
    if (name == ".") {
        return folder;
    }
    if (name == "..") {
        const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
        return slash <= 0 ? QStringLiteral("/") : folder.left(slash);
    }
    return (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) +
           QFile::decodeName(name);
}

bool InProcessFileSystem(int folder) noexcept {
    struct statfs system {};
    return ::fstatfs(folder, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
}

QByteArray LinkText(int link) {
    QByteArray text(PATH_MAX, '\0');
    const ssize_t length =
        ::readlinkat(link, "", text.data(), static_cast<std::size_t>(text.size()));
    if (length <= 0 || length >= text.size()) {
        return {};
    }
    text.truncate(length);
    return text;
}

TResult Walk(const QString& path, TLast last, TPlace* place) {
    const QByteArray bytes = Name(path);
    if (bytes.isEmpty()) {
        return TResult::Failed(path, "cannot examine", ENOENT);
    }
    std::deque<QByteArray> names;
    const auto push = [&names](const QByteArray& text) {
        QList<QByteArray> parts = text.split('/');
        for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
            if (!part->isEmpty()) {
                names.push_front(*part);
            }
        }
    };
    TFd folder;
    QString folderPath;
    const auto start = [&](bool fromRoot) {
        folder.Reset(::open(fromRoot ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        folderPath = fromRoot ? QStringLiteral("/") : QDir::currentPath();
        return bool(folder);
    };
    if (!start(bytes.startsWith('/'))) {
        return TResult::Failed(path, "cannot examine", errno);
    }
    push(bytes);
    if (names.empty()) {
        names.push_back(".");
    }
    int links = 0;
    while (!names.empty()) {
        const QByteArray name = names.front();
        names.pop_front();
        const bool isLast = names.empty();
        const QString here = Join(folderPath, name);
        TFd entry(::openat(folder.Get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (!entry || ::fstat(entry.Get(), &status) != 0) {
            if (errno == ENOENT && isLast) {
                // Nothing there, a link to nothing included: the file is made where it leads.
                *place = {std::move(folder), folderPath, name, here, false, false, {}};
                return {};
            }
            return TResult::Failed(here, isLast ? "cannot examine" : "cannot use the folder",
                                   errno);
        }
        if (S_ISLNK(status.st_mode) && (!isLast || last == TLast::Follow)) {
            if (!Trusted(status.st_uid)) {
                return TResult::Refused(here, "a link of another user's is not followed");
            }
            if (++links > 40) {
                return TResult::Failed(path, "cannot examine", ELOOP);
            }
            if (isLast && InProcessFileSystem(folder.Get())) {
                *place = {std::move(folder), folderPath, name, here, true, true, status};
                return {};
            }
            const QByteArray target = LinkText(entry.Get());
            if (target.isEmpty()) {
                return TResult::Failed(here, "cannot examine", errno ? errno : ENAMETOOLONG);
            }
            push(target);
            if (target.startsWith('/') && !start(true)) {
                return TResult::Failed(path, "cannot examine", errno);
            }
            continue;
        }
        if (isLast) {
            *place = {std::move(folder), folderPath, name, here, true, false, status};
            return {};
        }
        if (!S_ISDIR(status.st_mode)) {
            return TResult::Failed(here, "cannot use the folder", ENOTDIR);
        }
        folder = std::move(entry);
        folderPath = here;
    }
    return TResult::Failed(path, "cannot examine", ENOENT); // not reached: the last name returns
}

// Whether what stands somewhere is another user's: never written, even by root.
bool Theirs(const struct stat& status) noexcept {
    return !Trusted(status.st_uid);
}

bool Same(const struct stat& a, const struct stat& b) noexcept {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A folder that may take a new file: this user's or root's, or one with the sticky bit.
TResult CheckFolder(const TPlace& place) {
    struct stat status {};
    if (::fstat(place.Folder.Get(), &status) != 0) {
        return TResult::Failed(place.FolderPath, "cannot use the folder", errno);
    }
    if (!Trusted(status.st_uid) && (status.st_mode & S_ISVTX) == 0) {
        return TResult::Refused(place.FolderPath, "a folder of another user's is not written");
    }
    return {};
}

// Opens what the walk found at the place, and nothing else: a file put there since is refused.
TResult OpenFound(const TPlace& place, int flags, TFd* fd, int* openError = nullptr) {
    fd->Reset(::openat(place.Folder.Get(), place.Name.constData(),
                       flags | O_CLOEXEC | (place.Magic ? 0 : O_NOFOLLOW)));
    if (!*fd) {
        const int error = errno;
        if (openError) {
            *openError = error;
        }
        return TResult::Failed(
            place.Path, error == ENXIO ? "no reader on the other side" : "cannot open", error);
    }
    struct stat status {};
    if (::fstat(fd->Get(), &status) != 0) {
        return TResult::Failed(place.Path, "cannot examine", errno);
    }
    if (!place.Magic && !Same(status, place.Status)) {
        fd->Reset(-1);
        return TResult::Refused(place.Path, "the file changed while it was opened");
    }
    return {};
}

// A new file beside the place's name, <name><infix>XXXXXX<suffix>, that nobody can take first.
TResult MakeUnique(int folder, const QString& folderPath, const QByteArray& stem,
                   const QByteArray& suffix, mode_t mode, QByteArray* name, TFd* fd) {
    static constexpr char Letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray random(6, 'x');
        for (char& letter : random) {
            letter = Letters[QRandomGenerator::system()->bounded(int(sizeof Letters - 1))];
        }
        *name = stem + random + suffix;
        fd->Reset(::openat(folder, name->constData(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (*fd || errno != EEXIST) {
            break;
        }
    }
    return *fd ? TResult()
               : TResult::Failed(folderPath, "cannot make a temporary file in the folder", errno);
}

TResult SyncFolderAt(const TPlace& place) {
    const TFd fd(::openat(place.Folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        return TResult::Failed(place.FolderPath, "cannot flush the folder", errno);
    }
    return Sync(fd.Get(), place.FolderPath);
}

// The place of a replace and the mode the file keeps.
TResult ReplaceTarget(const QString& path, TPlace* place, mode_t* mode) {
    if (TResult walked = Walk(path, TLast::Follow, place); !walked) {
        return walked;
    }
    if (place->Exists && !S_ISREG(place->Status.st_mode)) {
        return {path, QStringLiteral("cannot replace"),
                QString::fromLatin1(S_ISDIR(place->Status.st_mode) ? "a folder"
                                                                   : "not a regular file")};
    }
    if (place->Exists && Theirs(place->Status)) {
        return TResult::Refused(place->Path, "a file of another user's is not written");
    }
    *mode = place->Exists ? place->Status.st_mode & 07777 : 0;
    return CheckFolder(*place);
}

// Writes the whole file in place: the one case without a replace in one step.
TResult WriteInPlace(const TPlace& place, QByteArrayView contents) {
    TFd fd;
    if (TResult opened = OpenFound(place, O_WRONLY, &fd); !opened) {
        return opened;
    }
    TResult result = WriteAll(fd.Get(), contents, place.Path);
    if (result && ::ftruncate(fd.Get(), static_cast<off_t>(contents.size())) != 0) {
        result = TResult::Failed(place.Path, "cannot write", errno);
    }
    if (result) {
        result = Sync(fd.Get(), place.Path);
    }
    if (::close(fd.Release()) != 0 && result) {
        result = TResult::Failed(place.Path, "cannot write", errno);
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
    TPlace place;
    mode_t mode = 0;
    if (TResult checked = ReplaceTarget(path, &place, &mode); !checked) {
        return checked;
    }
    QByteArray temporary;
    TFd fd;
    if (TResult made = MakeUnique(place.Folder.Get(), place.FolderPath, place.Name + ".tmp-", "",
                                  0600, &temporary, &fd);
        !made) {
        const int error = errno;
        if (inPlace == TInPlace::InReadOnlyFolder && place.Exists &&
            (error == EACCES || error == EPERM || error == EROFS)) {
            return WriteInPlace(place, contents);
        }
        return made;
    }
    TResult result;
    if (::fchmod(fd.Get(), place.Exists ? mode : newMode & ~Umask()) != 0) {
        result = TResult::Failed(place.Path, "cannot set the mode", errno);
    }
    if (result) {
        result = WriteAll(fd.Get(), contents, place.Path);
    }
    if (result) {
        result = Sync(fd.Get(), place.Path);
    }
    if (::close(fd.Release()) != 0 && result) {
        result = TResult::Failed(place.Path, "cannot write", errno);
    }
    if (result && ::renameat(place.Folder.Get(), temporary.constData(), place.Folder.Get(),
                             place.Name.constData()) != 0) {
        result = TResult::Failed(place.Path, "cannot replace", errno);
    }
    if (!result) {
        ::unlinkat(place.Folder.Get(), temporary.constData(), 0);
        return result;
    }
    return SyncFolderAt(place);
}

TResult CanReplace(const QString& path) {
    TPlace place;
    mode_t mode = 0;
    if (TResult checked = ReplaceTarget(path, &place, &mode); !checked) {
        return checked;
    }
    QByteArray temporary;
    TFd fd;
    if (TResult made = MakeUnique(place.Folder.Get(), place.FolderPath, place.Name + ".tmp-", "",
                                  0600, &temporary, &fd);
        !made) {
        return made;
    }
    ::unlinkat(place.Folder.Get(), temporary.constData(), 0);
    return {};
}

TResult CreateNew(const QString& folder, const QByteArray& stem, const QByteArray& suffix,
                  QByteArrayView contents, mode_t mode, QString* created) {
    TPlace outer;
    if (TResult walked = Walk(folder, TLast::Follow, &outer); !walked) {
        return walked;
    }
    if (!outer.Exists || !S_ISDIR(outer.Status.st_mode)) {
        return TResult::Failed(folder, "cannot use the folder", outer.Exists ? ENOTDIR : ENOENT);
    }
    TPlace place;
    place.FolderPath = outer.Path;
    place.Folder.Reset(::openat(outer.Folder.Get(), outer.Name.constData(),
                                O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!place.Folder || ::fstat(place.Folder.Get(), &status) != 0 || !Same(status, outer.Status)) {
        return TResult::Failed(folder, "cannot use the folder", place.Folder ? ESTALE : errno);
    }
    if (TResult checked = CheckFolder(place); !checked) {
        return checked;
    }
    place.Name = stem + suffix;
    TFd fd(::openat(place.Folder.Get(), place.Name.constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd && errno == EEXIST) {
        if (TResult made = MakeUnique(place.Folder.Get(), place.FolderPath, stem + '-', suffix,
                                      0600, &place.Name, &fd);
            !made) {
            return {made.Path, QStringLiteral("cannot make"), made.Reason};
        }
    }
    const QString name = Join(place.FolderPath, place.Name);
    if (!fd) {
        return TResult::Failed(name, "cannot make", errno);
    }
    TResult result;
    if (::fchmod(fd.Get(), mode) != 0) {
        result = TResult::Failed(name, "cannot set the mode", errno);
    }
    if (result) {
        result = WriteAll(fd.Get(), contents, name);
    }
    if (result) {
        result = Sync(fd.Get(), name);
    }
    if (::close(fd.Release()) != 0 && result) {
        result = TResult::Failed(name, "cannot write", errno);
    }
    if (!result) {
        ::unlinkat(place.Folder.Get(), place.Name.constData(), 0);
        return result;
    }
    *created = name;
    return SyncFolderAt(place);
}

TResult OpenOwn(const QString& path, int flags, mode_t mode, int* fd) {
    *fd = -1;
    // Made by another process between the look and the make: looked at again.
    for (int attempt = 0;; ++attempt) {
        TPlace place;
        if (TResult walked = Walk(path, TLast::Keep, &place); !walked) {
            return walked;
        }
        if (TResult checked = CheckFolder(place); !checked) {
            return checked;
        }
        if (place.Exists && S_ISLNK(place.Status.st_mode)) {
            return TResult::Refused(place.Path, "a link is not followed");
        }
        if (place.Exists && Theirs(place.Status)) {
            return TResult::Refused(place.Path, "a file of another user's is not written");
        }
        if (place.Exists && !S_ISREG(place.Status.st_mode)) {
            return {place.Path, QStringLiteral("cannot open"),
                    QStringLiteral("not a regular file")};
        }
        TFd opened;
        if (place.Exists) {
            if (TResult result = OpenFound(place, flags & ~(O_CREAT | O_EXCL), &opened); !result) {
                return result;
            }
        } else if ((flags & O_CREAT) == 0) {
            return TResult::Failed(place.Path, "cannot open", ENOENT);
        } else {
            opened.Reset(::openat(place.Folder.Get(), place.Name.constData(),
                                  flags | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (!opened && errno == EEXIST && attempt < 3) {
                continue;
            }
            if (!opened) {
                return TResult::Failed(place.Path, "cannot open", errno);
            }
        }
        *fd = opened.Release();
        return {};
    }
}

TResult Locate(const QString& path, QString* where) {
    TPlace place;
    TResult walked = Walk(path, TLast::Follow, &place);
    if (walked) {
        *where = place.Path;
    }
    return walked;
}

TAppender::TAppender(std::chrono::milliseconds wait) : writeWait(wait) {}

TAppender::~TAppender() {
    Close();
    Forget();
}

void TAppender::Forget() noexcept {
    if (folder >= 0) {
        ::close(folder);
        folder = -1;
    }
}

void TAppender::Discard() {
    Close();
    struct stat status {};
    // Only the very file made, still empty: a name taken over meanwhile is left alone.
    if (folder >= 0 && ::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        status.st_dev == device && status.st_ino == inode && status.st_size == 0) {
        ::unlinkat(folder, name.constData(), 0);
    }
    Forget();
}

TResult TAppender::Open(const QString& file, mode_t newMode) {
    Close();
    Forget();
    path = file;
    error = {};
    unsynced = 0;
    TPlace place;
    if (TResult walked = Walk(path, TLast::Follow, &place); !walked) {
        return error = walked;
    }
    TFd opened;
    if (!place.Exists) {
        if (TResult checked = CheckFolder(place); !checked) {
            return error = checked;
        }
        opened.Reset(::openat(place.Folder.Get(), place.Name.constData(),
                              O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              newMode));
        if (!opened) {
            return error = TResult::Failed(place.Path, "cannot open", errno);
        }
    } else if (!place.Magic && Theirs(place.Status)) {
        // A FIFO of another user's is theirs too: what goes in, they read.
        return error = TResult::Refused(place.Path, "a file of another user's is not written");
    } else {
        // Read too, to see how the file ends; a FIFO without a reader fails at once (ENXIO)
        // rather than wait for one.
        const bool regular = S_ISREG(place.Status.st_mode);
        int openError = 0;
        TResult result =
            OpenFound(place, regular ? O_RDWR | O_APPEND : O_WRONLY | O_APPEND | O_NONBLOCK,
                      &opened, &openError);
        if (!result && regular && openError == EACCES) {
            // A file this user may write but not read: appended all the same.
            result = OpenFound(place, O_WRONLY | O_APPEND, &opened);
        }
        if (!result) {
            return error = result;
        }
    }
    struct stat status {};
    if (::fstat(opened.Get(), &status) != 0) {
        return error = TResult::Failed(place.Path, "cannot examine", errno);
    }
    syncable = S_ISREG(status.st_mode);
    // No write may hold the run: a reader that takes nothing is waited for a bounded time.
    const int flags = ::fcntl(opened.Get(), F_GETFL);
    if (!syncable && (flags < 0 || ::fcntl(opened.Get(), F_SETFL, flags | O_NONBLOCK) != 0)) {
        return error = TResult::Failed(place.Path, "cannot open", errno);
    }
    if (!place.Exists) {
        folder = place.Folder.Release();
        name = place.Name;
        device = status.st_dev;
        inode = status.st_ino;
    }
    fd = opened.Release();
    // A record cut off in a line (by a crash, or a disk that filled) gets its line end first, so
    // that the next line is one of its own.
    char end = '\n';
    if (syncable && status.st_size > 0 && ::pread(fd, &end, 1, status.st_size - 1) == 1 &&
        end != '\n') {
        if (TResult written = Write(QByteArrayView("\n", 1)); !written) {
            return Fail(written);
        }
    }
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
    Forget(); // written in: the file stays whatever comes
    if (TResult written = Write(whole); !written) {
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

TResult TAppender::Write(QByteArrayView bytes) {
    // Where the line begins: a write cut short (a full disk) is cut back to it, so that the
    // record ends in a whole line.
    struct stat before {};
    if (syncable && ::fstat(fd, &before) != 0) {
        return TResult::Failed(path, "cannot examine", errno);
    }
    const auto deadline = std::chrono::steady_clock::now() + writeWait;
    const char* data = bytes.data();
    auto left = static_cast<std::size_t>(bytes.size());
    TResult result;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written > 0) {
            data += written;
            left -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd writable{fd, POLLOUT, 0};
            const int ready =
                wait.count() > 0 ? ::poll(&writable, 1, static_cast<int>(wait.count())) : 0;
            if (ready > 0 || (ready < 0 && errno == EINTR)) {
                continue;
            }
            result = {path, QStringLiteral("cannot write"),
                      QStringLiteral("the reader took nothing for %1 ms").arg(writeWait.count())};
            break;
        }
        result = TResult::Failed(path, "cannot write", written == 0 ? EIO : errno);
        break;
    }
    if (!result && syncable && left < static_cast<std::size_t>(bytes.size())) {
        // Should the cut fail too, the next open still ends the torn line first.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
    }
    return result;
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
