#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>

#include <climits>
#include <stdexcept>
#include <vector>

class QIODevice;

// A file or list error, carrying the text the user is shown.
class EReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
    // stays intact when anything fails). Makes the folder when missing. Throws
    // "Cannot create file <path>" or "Stream write error".
    void Save() const;

    // The file format, on its own.
    static std::vector<QByteArray> ParseLines(const QByteArray& bytes);
    static QByteArray Serialise(const std::vector<QByteArray>& lines);
    // Writes bytes to an open device in full; throws "Stream write error" when it cannot.
    static void WriteAll(QIODevice& device, const QByteArray& bytes);

    // The most lines the log takes: INT_MAX, the most rows a list view can show. A lower limit
    // lets the full-log path be exercised without billions of lines.
    int LineLimit() const noexcept { return lineLimit; }
    void SetLineLimit(int limit) noexcept;

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void LoadLines();
    void SetAside() const;

    QString fileName;
    std::vector<QByteArray> lines;
    int lineLimit = INT_MAX;
    mutable bool setAsideBeforeSave = false;
};
