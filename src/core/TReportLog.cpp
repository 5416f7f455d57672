#include "TReportLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <new>
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

} // namespace

QString TReportLog::ReportFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/morvel/MorvelReport.dat");
}

TReportLog::TReportLog(QString path, QObject* parent)
    : TReportLog(std::move(path), INT_MAX, parent) {}

TReportLog::TReportLog(QString path, int limit, QObject* parent)
    : QAbstractListModel(parent), fileName(std::move(path)), lineLimit(std::max(limit, 0)) {}

void TReportLog::AddLine(const QByteArray& line) {
    if (lines.size() >= static_cast<std::size_t>(lineLimit)) {
        Fail("Unable to insert a line");
    }
    try {
        // Make room first: once the rows are announced, nothing may fail.
        if (lines.size() == lines.capacity()) {
            lines.reserve(lines.empty() ? 16 : lines.size() * 2);
        }
    } catch (const std::bad_alloc&) {
        Fail("Unable to insert a line");
    } catch (const std::length_error&) {
        Fail("Unable to insert a line");
    }
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines.push_back(line);
    endInsertRows();
}

void TReportLog::Clear() {
    beginResetModel();
    lines.clear();
    endResetModel();
}

bool TReportLog::FileExists() const {
    const QFileInfo info(fileName);
    return info.exists() && info.isFile();
}

void TReportLog::Load() {
    try {
        LoadLines();
        setAsideBeforeSave = false;
    } catch (const EReportError&) {
        // Lines that could not be read must not be lost to the next save: that save first
        // moves whatever stands at the path out of the way.
        setAsideBeforeSave = QFileInfo::exists(fileName);
        throw;
    }
}

void TReportLog::LoadLines() {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(WithPath("Cannot open file %1", fileName));
    }
    QByteArray bytes;
    std::vector<QByteArray> loaded;
    try {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            // A file that cannot be read whole is not taken in part.
            Fail(WithPath("Cannot open file %1", fileName));
        }
        file.close();
        loaded = ReportFileFormat::ParseLines(bytes);
    } catch (const std::bad_alloc&) {
        Fail("Unable to insert a line");
    } catch (const std::length_error&) {
        Fail("Unable to insert a line");
    }
    if (loaded.size() > static_cast<std::size_t>(lineLimit)) {
        Fail("Unable to insert a line");
    }
    beginResetModel();
    lines.swap(loaded);
    endResetModel();
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
    QSaveFile file(fileName);
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
}

void TReportLog::SetAside() {
    if (QFileInfo::exists(fileName)) {
        QString aside = fileName + QStringLiteral(".unreadable");
        for (int n = 2; QFileInfo::exists(aside); ++n) {
            aside = fileName + QStringLiteral(".unreadable.%1").arg(n);
        }
        if (!QFile::rename(fileName, aside)) {
            Fail(WithPath("Cannot create file %1", fileName));
        }
    }
    setAsideBeforeSave = false;
}

int TReportLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TReportLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() < 0 || index.row() >= Count()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromUtf8(lines[static_cast<std::size_t>(index.row())]);
    }
    return {};
}
