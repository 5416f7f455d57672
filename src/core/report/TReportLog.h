// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "ReportFileFormat.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <limits>

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
    // The most characters of a line the list shows; the line itself is kept whole.
    static constexpr int ShownCharacters = 1000;
    // The most lines a log takes: the most rows a list view can show.
    static constexpr int MaxLines = std::numeric_limits<int>::max();

    explicit TReportLog(QString fileName = ReportFileName(), QObject* parent = nullptr);
    // A log that takes at most `lineLimit` lines (0 when negative) instead of MaxLines.
    TReportLog(QString fileName, int lineLimit, QObject* parent = nullptr);

    const QString& FileName() const noexcept { return fileName; }
    int Count() const noexcept { return static_cast<int>(lines.Count()); }
    QByteArray Line(int index) const { return lines.Line(index).toByteArray(); }
    // The file's bytes for the lines as they are now.
    QByteArray Serialised() const { return ReportFileFormat::Serialise(lines); }
    // True when a line has been added or the log cleared since the last load or save.
    bool Unsaved() const noexcept { return unsaved; }

    // Appends a line; the file is not touched. Throws "Unable to insert a line".
    void AddLine(const QByteArray& line);
    // Removes every line; the file is not touched.
    void Clear();
    // True when there may be a file to load: a regular file stands at FileName(), or something
    // stands there that cannot be examined (a folder on the way that cannot be searched). Load()
    // tells which. A link to nothing is no file: a save writes where it leads.
    bool FileExists() const;
    // Replaces the lines by those of the file. Throws "Cannot open file <path>"; the lines stay
    // as they were on error. A file that was there but could not be read (or not even seen),
    // or whose text a NUL byte cut short, is renamed to <path>.unreadable (or .unreadable.2,
    // ...) by the next save instead of being overwritten.
    void Load();
    // Writes every line followed by CR LF, replacing the file as a whole (the previous file
    // stays intact when anything fails), then flushes the file and its folder to disk. The
    // user's own links are followed; only a regular file is ever replaced; a link, file or folder
    // of another user's is refused. Makes the folder when missing; sets
    // the original aside first (see Load). In a folder that cannot take a new file, a writable
    // file is written in place. Throws "Cannot create file <path>" or "Stream write error".
    void Save();
    // Saves only what changed: a log with a line added or cleared since it was last loaded or
    // saved is saved; one the file holds as it is is not written at all (a large log is not
    // rewritten, a path that cannot be written keeps nobody from closing), nor is a log never
    // loaded while a file stands there (its empty list would replace the whole history). Where
    // no file stands (none yet, or it was removed), the lines are written; a file that could
    // not be read whole is set aside (see Load). Throws as Save() does.
    void SaveChanges();

    // The last resort when the log cannot be saved and the program must end: writes it to a
    // new file MorvelReport-unsaved-<yyyyMMdd-hhmmss>.dat (dated `now`; when that name is taken,
    // with a random part added: ...-<yyyyMMdd-hhmmss>-XXXXXX.dat) in the state folder, else in
    // the temporary folder; made anew, readable by this user only, never through a link.
    // Returns the file's path, or nothing when neither took it.
    QString SaveEmergencyCopy(const QDateTime& now) const noexcept;
    // What to tell the user when the log could not be saved for `failure` and the program ends:
    // the emergency copy's path, or the lines themselves when no copy could be made.
    QByteArray KeepUnsaved(const QString& failure, const QDateTime& now) const noexcept;

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void LoadLines();
    void SetAside();

    QString fileName;
    ReportFileFormat::TLines lines;
    const int lineLimit;
    bool setAsideBeforeSave = false;
    bool unsaved = false;
};
