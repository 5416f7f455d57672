// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunJournal.h"

#include "DurableFile.h"
#include "ResultLines.h"
#include "TPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString TRunJournal::DefaultPath() {
    return TPaths::StateFolder() + QStringLiteral("/run.journal");
}

TRunJournal::TRunJournal(QString journalPath) : path(std::move(journalPath)) {}

bool TRunJournal::Write(const TEntry& entry) noexcept {
    try {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QByteArray text;
        text += "test=";
        text += entry.Test == TTestKind::Benchmark ? "benchmark" : "stress";
        text += "\nduration=" + entry.DurationText.toUtf8();
        text += "\nstart=" + IsoDateTimeText(entry.Start).toUtf8();
        text += "\nticks=" + QByteArray::number(entry.Ticks);
        text += "\nupdated=" + IsoDateTimeText(entry.Updated).toUtf8() + "\n";
        QSaveFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() &&
               file.commit() && SyncFolder(QFileInfo(path).absolutePath());
    } catch (...) {
        return false;
    }
}

std::optional<TRunJournal::TEntry> TRunJournal::Read() const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    TEntry entry;
    bool known = false;
    bool ticks = false;
    for (const QByteArray& line : file.read(qint64{64} * 1024).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) {
            continue;
        }
        const QByteArray key = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1));
        if (key == "test") {
            known = value == QLatin1String("benchmark") || value == QLatin1String("stress");
            entry.Test =
                value == QLatin1String("stress") ? TTestKind::Stress : TTestKind::Benchmark;
        } else if (key == "duration") {
            entry.DurationText = value;
        } else if (key == "start") {
            entry.Start = QDateTime::fromString(value, Qt::ISODate).toLocalTime();
        } else if (key == "ticks") {
            entry.Ticks = value.toInt(&ticks);
        } else if (key == "updated") {
            entry.Updated = QDateTime::fromString(value, Qt::ISODate).toLocalTime();
        }
    }
    if (!known || !ticks || entry.Ticks < 0) {
        return std::nullopt;
    }
    if (!entry.Updated.isValid()) {
        // Torn or hand-made: the file's own time is the best known moment of the run.
        entry.Updated = QFileInfo(file).lastModified();
    }
    return entry;
}

void TRunJournal::Remove() noexcept {
    QFile::remove(path);
}

QByteArray TRunJournal::InterruptedLine(const TEntry& entry, const TFormatSettings& format) {
    const QString when = DateTimeText(entry.Updated, format);
    return entry.Test == TTestKind::Benchmark
               ? BenchmarkInterruptedLine(when, entry.Ticks)
               : StressInterruptedLine(when, entry.DurationText, entry.Ticks / 60);
}
