// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>

#include <sys/types.h>

// The one way the program writes a file. Whatever is written is on the disk when an operation
// succeeds: the file is flushed to the disk and so is its folder; a FIFO, pipe or character device
// is flushed as far as it can be (a flush it does not support is no failure).
//
// Files that are not the user's are never written, even by root: a link owned by another user
// than this one (or root) is never followed, wherever it stands on the path, and a file (a FIFO
// too) or folder of another user's is never written; a folder with the sticky bit (/tmp) takes
// new files. The user's own links are followed. A path is walked one name at a time, each
// folder held open and each link checked before it is followed, and the file opened is the one
// checked: a link swapped in meanwhile is refused. Each operation says what it came to in a
// TResult.
namespace DurableFile {

// What an operation came to: success, or the step that failed and why.
struct TResult {
    QString Path;   // the file or folder concerned
    QString Step;   // what could not be done ("cannot write"); empty on success
    QString Reason; // the system's reason, or why the file was refused

    bool Ok() const noexcept { return Step.isEmpty(); }
    explicit operator bool() const noexcept { return Ok(); }
    // "<path>: <step>: <reason>", empty on success.
    QString Message() const;

    static TResult Failed(const QString& path, const char* step, int error);
    static TResult Refused(const QString& path, const char* why);
};

// Writes all of `bytes` to `fd`, again after an interrupted or partial write. `name` names the
// file in the result.
TResult WriteAll(int fd, QByteArrayView bytes, const QString& name);

// Flushes a folder's entries to disk, so that a file just renamed into it survives a crash.
TResult SyncFolder(const QString& folder);

// Whether a write in place is allowed when the folder takes no new file (a read-only folder):
// the one case without a replace in one step.
enum class TInPlace { Never, InReadOnlyFolder };

// Replaces the regular file at `path` (or makes it) by `contents` in one step: written to a
// temporary file beside it (<name>.tmp-XXXXXX), flushed and renamed over it, then the folder is
// flushed. A new file gets `newMode` less the umask, a replaced file keeps its mode. A failure
// leaves the previous file as it was and nothing beside it. Anything else than a regular file
// at the path is refused.
TResult Replace(const QString& path, QByteArrayView contents, mode_t newMode,
                TInPlace inPlace = TInPlace::Never);

// Whether Replace() can later work at `path`: the same checks, and its temporary file made and
// removed again.
TResult CanReplace(const QString& path);

// Makes a new file in `folder`, never through a link and never in place of a file: named
// <stem><suffix> when that name is free, else <stem>-XXXXXX<suffix> with a random part that
// nobody can take first. Mode `mode` exactly. `created` gets its path.
TResult CreateNew(const QString& folder, const QByteArray& stem, const QByteArray& suffix,
                  QByteArrayView contents, mode_t mode, QString* created);

// Opens (or makes, with `mode`) a file of this user's, a lock file for instance: a link or a
// file of another user's is refused. `fd` gets the descriptor.
TResult OpenOwn(const QString& path, int flags, mode_t mode, int* fd);

// Where a file written at `path` lands: the path with the user's own links followed (another
// user's refused). `where` gets it.
TResult Locate(const QString& path, QString* where);

// A live record: lines appended to a file, each in one write, so that a process killed at any
// moment leaves only whole lines; flushed every SyncEvery lines and when closed. A write cut
// short (a full disk) is cut back to the last line end, and a file that does not end in one gets
// it before the first line. A FIFO is opened without waiting for a reader, and a reader that
// stops reading is waited for at most `writeWait` per line: no write holds the run. Once a write
// has failed, no later line is written.
class TAppender {
public:
    static constexpr int SyncEvery = 10;
    static constexpr std::chrono::milliseconds WriteWait{3000};

    explicit TAppender(std::chrono::milliseconds writeWait = WriteWait);
    TAppender(const TAppender&) = delete;
    TAppender& operator=(const TAppender&) = delete;
    ~TAppender();

    // Opens (or makes, with `newMode` less the umask) the file for appending.
    TResult Open(const QString& path, mode_t newMode);
    bool IsOpen() const noexcept { return fd >= 0; }
    // Appends the line and a line end.
    TResult Append(QByteArrayView line);
    // Flushes and closes; the first failure of the file's life, if any.
    TResult Close();
    // Closes, and removes the file again when Open() made it and nothing was written in it: a
    // run that never started leaves no empty record behind.
    void Discard();
    // How the file has fared: its first failure, or Ok() when none.
    const TResult& Status() const noexcept { return error; }

private:
    TResult Write(QByteArrayView bytes);
    void Forget() noexcept;
    TResult Fail(TResult failure);

    std::chrono::milliseconds writeWait;
    int fd = -1;
    int folder = -1;  // the folder of a file Open() made, until a line is written
    QByteArray name;  // its name there
    dev_t device = 0; // and what it is
    ino_t inode = 0;
    bool syncable = false;
    int unsynced = 0;
    QString path;
    TResult error;
};

} // namespace DurableFile
