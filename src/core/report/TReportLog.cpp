// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TReportLog.h"

#include "DurableFile.h"
#include "TPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

[[noreturn]] void Fail(const QString& text) {
    throw EReportError(text.toStdString());
}

[[noreturn]] void Fail(const char* text) {
    throw EReportError(text);
}

QString WithPath(const char* pattern, const QString& path) {
    return QString::fromLatin1(pattern).arg(path);
}

// What stands at a path, links followed.
enum class TPathState {
    Missing, // nothing
    Regular, // a regular file
    Other,   // a folder, a device, a FIFO or a socket
    Unknown  // cannot be examined: a folder on the way cannot be searched
};

TPathState StateOf(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        return S_ISREG(status.st_mode) ? TPathState::Regular : TPathState::Other;
    }
    // Nothing there, a link to nothing included: a save writes where the link leads.
    return errno == ENOENT || errno == ENOTDIR ? TPathState::Missing : TPathState::Unknown;
}

} // namespace

QString TReportLog::ReportFileName() {
    return TPaths::ReportFile();
}

TReportLog::TReportLog(QString path, QObject* parent)
    : TReportLog(std::move(path), INT_MAX, parent) {}

TReportLog::TReportLog(QString path, int limit, QObject* parent)
    : QAbstractListModel(parent), fileName(std::move(path)), lineLimit(std::max(limit, 0)) {}

void TReportLog::AddLine(const QByteArray& line) {
    if (lines.Count() >= lineLimit) {
        Fail("Unable to insert a line");
    }
    try {
        // Make room first: once the rows are announced, nothing may fail.
        lines.Reserve(1, line.size());
    } catch (const std::bad_alloc&) {
        Fail("Unable to insert a line");
    } catch (const std::length_error&) {
        Fail("Unable to insert a line");
    }
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines.Append(line);
    endInsertRows();
    unsaved = true;
}

void TReportLog::Clear() {
    beginResetModel();
    lines.Clear();
    endResetModel();
    unsaved = true;
}

void TReportLog::SaveChanges() {
    if (unsaved || setAsideBeforeSave || !FileExists()) {
        Save();
    }
}

bool TReportLog::FileExists() const {
    const TPathState state = StateOf(fileName);
    return state == TPathState::Regular || state == TPathState::Unknown;
}

void TReportLog::Load() {
    try {
        LoadLines();
    } catch (const EReportError&) {
        // Lines that could not be read must not be lost to the next save: that save first
        // moves whatever stands at the path out of the way.
        setAsideBeforeSave = StateOf(fileName) != TPathState::Missing;
        throw;
    }
}

void TReportLog::LoadLines() {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(WithPath("Cannot open file %1", fileName));
    }
    ReportFileFormat::TLines loaded;
    bool cutShort = false;
    try {
        QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            // A file that cannot be read whole is not taken in part.
            Fail(WithPath("Cannot open file %1", fileName));
        }
        file.close();
        cutShort = ReportFileFormat::Parse(std::move(bytes), loaded);
    } catch (const std::bad_alloc&) {
        Fail("Unable to insert a line");
    } catch (const std::length_error&) {
        Fail("Unable to insert a line");
    }
    if (loaded.Count() > lineLimit) {
        Fail("Unable to insert a line");
    }
    beginResetModel();
    lines.Swap(loaded);
    endResetModel();
    unsaved = false;
    // The text stops at a NUL byte; whatever followed it is kept in the set-aside original.
    setAsideBeforeSave = cutShort;
}

QString TReportLog::SaveTarget() const {
    const QFileInfo info(fileName);
    if (!info.isSymLink()) {
        return fileName;
    }
    const QString target = info.canonicalFilePath();
    // A link to nowhere yet: where it points, never a new file in place of the link.
    return target.isEmpty() ? info.symLinkTarget() : target;
}

void TReportLog::Save() {
    QByteArray bytes;
    try {
        bytes = ReportFileFormat::Serialise(lines);
    } catch (const std::bad_alloc&) {
        Fail("Stream write error");
    }
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QDir().mkpath(folder)) {
        Fail(WithPath("Cannot create file %1", fileName));
    }
    if (setAsideBeforeSave) {
        SetAside();
    }
    const QString target = SaveTarget();
    const TPathState state = StateOf(target);
    if (state == TPathState::Other || state == TPathState::Unknown) {
        // A device, FIFO, socket or folder is never replaced by a file, nor written to.
        Fail(WithPath("Cannot create file %1", fileName));
    }
    QSaveFile file(target);
    // A writable file in a folder that takes no new file (a read-only folder) is written in
    // place: the one case without a replace in one step.
    file.setDirectWriteFallback(true);
    // Unbuffered: a buffered QSaveFile flushes its last bytes on commit without noting a failed
    // flush, and would then rename a cut-short file over the previous one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        Fail(WithPath("Cannot create file %1", fileName));
    }
    // On any failure QSaveFile drops its temporary file and the previous file stays whole.
    ReportFileFormat::WriteAll(file, bytes);
    if (file.error() != QFileDevice::NoError || file.size() != bytes.size()) {
        file.cancelWriting();
        Fail("Stream write error");
    }
    if (!file.commit()) {
        Fail("Stream write error");
    }
    // The rename itself survives a crash of the machine once the folder is on disk too.
    SyncFolder(QFileInfo(target).absolutePath());
    unsaved = false;
}

void TReportLog::SetAside() {
    // True when something stands at the path; an entry that cannot be examined fails the save.
    const auto standsThere = [this](const QString& path) {
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) == 0) {
            return true;
        }
        if (errno != ENOENT) {
            Fail(WithPath("Cannot create file %1", fileName));
        }
        return false;
    };
    if (standsThere(fileName)) {
        QString aside = fileName + QStringLiteral(".unreadable");
        for (int n = 2; standsThere(aside); ++n) {
            aside = fileName + QStringLiteral(".unreadable.%1").arg(n);
        }
        // The entry itself moves, a link included: the original stays whole where it was.
        if (::rename(QFile::encodeName(fileName).constData(),
                     QFile::encodeName(aside).constData()) != 0) {
            Fail(WithPath("Cannot create file %1", fileName));
        }
    }
    setAsideBeforeSave = false;
}

QString TReportLog::SaveEmergencyCopy(const QDateTime& now) const noexcept {
    try {
        const QByteArray bytes = ReportFileFormat::Serialise(lines);
        const QByteArray name =
            "/MorvelReport-unsaved-" + now.toString("yyyyMMdd-hhmmss").toLatin1();
        for (const QString& folder : {TPaths::StateFolder(), QDir::tempPath()}) {
            if (!QDir().mkpath(folder)) {
                continue;
            }
            const QByteArray base = QFile::encodeName(folder) + name;
            // The dated name when it is free, else one with a random part that nobody can take
            // first; either way a new file that only this user can read.
            QByteArray path = base + ".dat";
            int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0600);
            if (fd < 0 && errno == EEXIST) {
                path = base + "-XXXXXX.dat";
                fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
            }
            if (fd < 0) {
                continue; // this folder takes no file
            }
            QFile file;
            bool written = file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                     QFileDevice::AutoCloseHandle);
            if (written) {
                try {
                    ReportFileFormat::WriteAll(file, bytes);
                } catch (const EReportError&) {
                    written = false;
                }
                written = written && ::fsync(fd) == 0;
                file.close();
            } else {
                ::close(fd);
            }
            if (!written) {
                ::unlink(path.constData());
                continue; // the next folder
            }
            SyncFolder(folder);
            return QFile::decodeName(path);
        }
    } catch (...) {
    }
    return QString();
}

int TReportLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TReportLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() < 0 || index.row() >= Count()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        // A line of megabytes would freeze the list: it shows the start (at most four bytes a
        // character), and the line is kept whole.
        const QByteArrayView line = lines.Line(index.row());
        return QString::fromUtf8(
                   line.first(std::min<qsizetype>(line.size(), qsizetype{4} * ShownCharacters)))
            .left(ShownCharacters);
    }
    return {};
}
