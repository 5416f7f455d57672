// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QString>

// A live record: lines appended to a file, each in one write call, so that a process killed at
// any moment leaves only whole lines; flushed to the disk every SyncEvery lines and when closed,
// so that a machine that stops leaves every line up to the last flush.
class TRecordFile {
public:
    static constexpr int SyncEvery = 10;

    TRecordFile() = default;
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;
    ~TRecordFile();

    // Opens (or creates) the file for appending. False with Error() set when it cannot.
    bool Open(const QString& path);
    bool IsOpen() const noexcept { return fd >= 0; }
    // Appends the line and a line end. False with Error() set on the first failure; once a write
    // has failed the file takes no more lines.
    bool Append(const QByteArray& line);
    // Flushes to the disk and closes. False with Error() set when the flush fails.
    bool Close();
    // What went wrong first, empty when nothing did.
    QString Error() const { return error; }

private:
    bool Fail(const char* what);

    int fd = -1;
    int unsynced = 0;
    QString path;
    QString error;
};

// Replaces the file at `path` by `contents` in one step: written whole to a temporary file in the
// same folder (whose name does not end like the target's), flushed, made readable as a new file
// would be, and renamed over the target. A failure leaves the old file as it was. False with
// `error` set when it fails.
bool ReplaceFile(const QString& path, const QByteArray& contents, QString* error);

// Whether a file can later be made or replaced at `path`: its folder exists and may be written.
// False with `error` set otherwise.
bool CanReplaceFile(const QString& path, QString* error);
