// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TReportLog.h"

#include "DurableFile.h"
#include "TPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    : TReportLog(std::move(path), MaxLines, parent) {}

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
    // A writable file in a folder that takes no new file (a read-only folder) is written in
    // place: the one case without a replace in one step.
    const DurableFile::TResult saved =
        DurableFile::Replace(fileName, bytes, 0644, DurableFile::TInPlace::InReadOnlyFolder);
    if (!saved) {
        if (saved.Step == QLatin1String("cannot write") ||
            saved.Step == QLatin1String("cannot flush to disk")) {
            Fail("Stream write error");
        }
        // A device, FIFO, socket or folder is never replaced by a file, nor written to; a file,
        // link or folder of another user's is refused with the reason.
        Fail(saved.Step == QLatin1String("refused")
                 ? QStringLiteral("Cannot create file %1 (%2)").arg(fileName, saved.Message())
                 : WithPath("Cannot create file %1", fileName));
    }
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
        const QByteArray stem =
            "MorvelReport-unsaved-" + now.toString("yyyyMMdd-hhmmss").toLatin1();
        for (const QString& folder : {TPaths::StateFolder(), QDir::tempPath()}) {
            QString copy;
            if (QDir().mkpath(folder) &&
                DurableFile::CreateNew(folder, stem, ".dat", bytes, 0600, &copy)) {
                return copy;
            }
        }
    } catch (...) {
    }
    return QString();
}

QByteArray TReportLog::KeepUnsaved(const QString& failure, const QDateTime& now) const noexcept {
    try {
        const QString copy = SaveEmergencyCopy(now);
        const QByteArray why = "morvel: the report log could not be saved (" + failure.toUtf8();
        return copy.isEmpty() ? why + ") nor copied anywhere; its lines follow.\n" + Serialised()
                              : why + "); its lines are in " + QFile::encodeName(copy) + "\n";
    } catch (...) {
        return "morvel: the report log could not be saved nor copied anywhere\n";
    }
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
