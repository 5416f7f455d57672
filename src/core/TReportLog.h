#pragma once

#include "ReportFileFormat.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>

#include <vector>

// The report log: one result line per completed test, newest last, kept in the report file.
//
// Lines are bytes. The program's own lines are UTF-8; whatever a file held (any byte but CR, LF
// and NUL) is loaded and saved back unchanged. The model shows each line decoded as UTF-8, so a
// list view can display the log directly.
class TReportLog : public QAbstractListModel {
    Q_OBJECT
public:
    // $XDG_DATA_HOME/morvel/MorvelReport.dat (normally ~/.local/share/morvel/MorvelReport.dat).
    static QString ReportFileName();

    explicit TReportLog(QString fileName = ReportFileName(), QObject* parent = nullptr);

    const QString& FileName() const noexcept { return fileName; }
    const std::vector<QByteArray>& Lines() const noexcept { return lines; }
    int Count() const noexcept { return static_cast<int>(lines.size()); }

    // Appends a line; the file is not touched. Throws "Unable to insert a line".
    void AddLine(const QByteArray& line);
    // Removes every line; the file is not touched.
    void Clear();
    // True when a regular file stands at FileName().
    bool FileExists() const;
    // Replaces the lines by those of the file. Throws "Cannot open file <path>"; the lines stay
    // as they were on error. A file that was there but could not be read is renamed to
    // <path>.unreadable (or .unreadable.2, ...) by the next save instead of being overwritten.
    void Load();
    // Writes every line followed by CR LF, replacing the file as a whole (the previous file
    // stays intact when anything fails). Makes the folder when missing; sets an unreadable file
    // aside first (see Load). Throws "Cannot create file <path>" or "Stream write error".
    void Save();

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    // A log that takes at most `lineLimit` lines (0 when negative) instead of INT_MAX, the most
    // rows a list view can show: lets the full-log path be reached without billions of lines.
    TReportLog(QString fileName, int lineLimit, QObject* parent = nullptr);

private:
    void LoadLines();
    void SetAside();

    QString fileName;
    std::vector<QByteArray> lines;
    const int lineLimit;
    bool setAsideBeforeSave = false;
};
