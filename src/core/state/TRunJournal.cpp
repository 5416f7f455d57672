// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunJournal.h"

#include "DurableFile.h"
#include "ResultLines.h"
#include "StateLog.h"
#include "TPaths.h"
#include "TTestKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr qint64 MaxJournalSize = 4096;
constexpr qsizetype MaxResultSize = 2048;

QString SystemError(int number) {
    return QString::fromStdString(std::generic_category().message(number));
}

bool Exists(const QByteArray& name) {
    struct stat status {};
    return ::lstat(name.constData(), &status) == 0 || errno != ENOENT;
}

bool HasControlCharacter(const QByteArray& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// The length in ticks of a stress run named `text`: one of the durations offered, or a length
// as the program writes one ("45s", "90min", "90min 30s", "120min (2hrs)").
std::optional<int> PlannedTicks(const QString& text) {
    for (const TTestPlan::TDuration& duration : TTestPlan::Durations()) {
        if (duration.Text == text) {
            return duration.Ticks;
        }
    }
    static const QRegularExpression seconds(QStringLiteral("^([0-9]{1,6})s$"));
    static const QRegularExpression minutes(
        QStringLiteral("^([0-9]{1,6})min(?: ([0-9]{1,2})s| \\(([0-9]{1,4})hrs\\))?$"));
    if (const auto match = seconds.match(text); match.hasMatch()) {
        return match.captured(1).toInt();
    }
    const auto match = minutes.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const int whole = match.captured(1).toInt();
    const int rest = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    if (rest >= 60 || (!match.captured(3).isEmpty() && match.captured(3).toInt() * 60 != whole)) {
        return std::nullopt;
    }
    return whole * 60 + rest;
}

std::optional<QDateTime> DateTime(const QByteArray& text) {
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    if (!when.isValid()) {
        return std::nullopt;
    }
    return when.toLocalTime();
}

TRunJournal::TContents Bad(const QString& problem) {
    TRunJournal::TContents contents;
    contents.State = TRunJournal::TContents::TState::Bad;
    contents.Problem = problem;
    return contents;
}

} // namespace

QString TRunJournal::PathFor(const QString& reportFile) {
    return TPaths::StateFolder() +
           QStringLiteral("/run-%1.journal").arg(TPaths::IdentityKey(reportFile));
}

TRunJournal::TRunJournal(QString journalPath) : path(std::move(journalPath)) {}

TRunJournal::~TRunJournal() {
    if (lockDescriptor >= 0) {
        ::close(lockDescriptor);
    }
}

bool TRunJournal::Lock() noexcept {
    if (locked) {
        return true;
    }
    int fd = -1;
    try {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            qCWarning(lcState, "cannot make the folder of %s", qPrintable(path));
        }
        const DurableFile::TResult opened =
            DurableFile::OpenOwn(path + QStringLiteral(".lock"), O_RDONLY | O_CREAT, 0600, &fd);
        if (opened.Step == QLatin1String("refused")) {
            // A link or file of another user's: no journal rather than theirs.
            qCWarning(lcState, "no run journal: %s", qPrintable(opened.Message()));
            return false;
        }
    } catch (...) {
        return false;
    }
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return false;
        }
        locked = true; // a lock nobody can take is held by nobody
        return true;
    }
    lockDescriptor = fd;
    locked = true;
    try {
        RemoveLeftovers();
    } catch (...) {
        // Left for the next start: they stop nobody.
    }
    return true;
}

void TRunJournal::RemoveLeftovers() const {
    // The temporary files of a write cut short by a kill: with the lock held, nobody else's.
    const QFileInfo info(path);
    static const QRegularExpression temporary(QStringLiteral("^\\.tmp-[A-Za-z0-9]{6}$"));
    QDir folder(info.absolutePath());
    for (const QString& name : folder.entryList({info.fileName() + QStringLiteral(".tmp-*")},
                                                QDir::Files | QDir::System | QDir::Hidden)) {
        if (temporary.match(name.mid(info.fileName().size())).hasMatch() && !folder.remove(name)) {
            qCWarning(lcState, "cannot remove %s", qPrintable(folder.filePath(name)));
        }
    }
}

bool TRunJournal::MoveLeftoverAside() noexcept {
    const QByteArray name = QFile::encodeName(path);
    if (!Exists(name)) {
        return true;
    }
    for (int n = 1; n < 1000; ++n) {
        const QByteArray aside = name + '.' + QByteArray::number(n);
        if (!Exists(aside)) {
            return ::rename(name.constData(), aside.constData()) == 0;
        }
    }
    return false;
}

bool TRunJournal::Write(const TEntry& entry) noexcept {
    try {
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        if (!Lock()) {
            return false;
        }
        if (!owned && !MoveLeftoverAside()) {
            qCWarning(lcState, "cannot move the run journal %s aside: %s", qPrintable(path),
                      qPrintable(SystemError(errno)));
            return false;
        }
        QByteArray text;
        text += "test=";
        text += TestKindName(entry.Test);
        text += "\nduration=" + entry.DurationText.toUtf8();
        text += "\nstart=" + IsoDateTimeText(entry.Start).toUtf8();
        text += "\nticks=" + QByteArray::number(entry.Ticks);
        text += "\nupdated=" + IsoDateTimeText(entry.Updated).toUtf8();
        if (!entry.Result.isEmpty()) {
            text += "\nresult=" + entry.Result;
        }
        text += '\n';
        // A link or file of another user's at the path is refused, never written through.
        if (const DurableFile::TResult written = DurableFile::Replace(path, text, 0600); !written) {
            qCWarning(lcState, "cannot write the run journal: %s", qPrintable(written.Message()));
            return false;
        }
        owned = true;
        return true;
    } catch (...) {
        return false;
    }
}

std::optional<TRunJournal::TEntry> TRunJournal::Read() const {
    TContents contents = Examine(path);
    if (contents.State != TContents::TState::Valid) {
        return std::nullopt;
    }
    return contents.Entry;
}

bool TRunJournal::Remove(QString* error) noexcept {
    if (!RemoveFile(path, error)) {
        return false;
    }
    owned = false;
    return true;
}

bool TRunJournal::RemoveFile(const QString& file, QString* error) noexcept {
    if (::unlink(QFile::encodeName(file).constData()) == 0 || errno == ENOENT) {
        return true;
    }
    if (error) {
        *error = QStringLiteral("Cannot remove file %1: %2").arg(file, SystemError(errno));
    }
    return false;
}

QStringList TRunJournal::Waiting() const {
    const QFileInfo info(path);
    const QString base = info.fileName();
    static const QRegularExpression number(QStringLiteral("^[1-9][0-9]{0,5}$"));
    std::map<int, QString> moved;
    const QStringList names = QDir(info.absolutePath())
                                  .entryList({base + QLatin1Char('.') + QLatin1Char('*')},
                                             QDir::AllEntries | QDir::System | QDir::Hidden);
    for (const QString& name : names) {
        const QString suffix = name.mid(base.size() + 1);
        if (number.match(suffix).hasMatch()) {
            moved.emplace(suffix.toInt(), info.absolutePath() + QLatin1Char('/') + name);
        }
    }
    QStringList waiting;
    for (const auto& [n, file] : moved) {
        waiting.append(file);
    }
    if (!owned && Exists(QFile::encodeName(path))) {
        waiting.append(path);
    }
    return waiting;
}

TRunJournal::TContents TRunJournal::Examine(const QString& file) {
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return {};
        }
        return Bad(errno == ELOOP ? QStringLiteral("a link") : SystemError(errno));
    }
    struct stat status {};
    QByteArray bytes;
    QString problem;
    if (::fstat(fd, &status) != 0) {
        problem = SystemError(errno);
    } else if (!S_ISREG(status.st_mode)) {
        problem = QStringLiteral("not a regular file");
    } else if (status.st_size > MaxJournalSize) {
        problem = QStringLiteral("longer than 4 KiB");
    } else {
        char chunk[MaxJournalSize + 1];
        ssize_t got = 0;
        while (bytes.size() <= MaxJournalSize && (got = ::read(fd, chunk, sizeof chunk)) != 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                problem = SystemError(errno);
                break;
            }
            bytes.append(chunk, static_cast<qsizetype>(got));
        }
        if (problem.isEmpty() && bytes.size() > MaxJournalSize) {
            problem = QStringLiteral("longer than 4 KiB");
        }
    }
    ::close(fd);
    if (!problem.isEmpty()) {
        return Bad(problem);
    }

    static const QByteArrayList known{"test", "duration", "start", "ticks", "updated", "result"};
    std::map<QByteArray, QByteArray> fields;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        if (HasControlCharacter(line)) {
            return Bad(QStringLiteral("a control character"));
        }
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) {
            return Bad(QStringLiteral("a line that is not key=value"));
        }
        const QByteArray key = line.left(equals);
        if (!known.contains(key)) {
            return Bad(QStringLiteral("an unknown field"));
        }
        if (!fields.emplace(key, line.mid(equals + 1)).second) {
            return Bad(QStringLiteral("a field given twice"));
        }
    }
    const auto field = [&fields](const char* key) {
        const auto it = fields.find(key);
        return it == fields.end() ? std::optional<QByteArray>() : it->second;
    };

    TContents contents;
    contents.State = TContents::TState::Valid;
    TEntry& entry = contents.Entry;
    const QByteArray test = field("test").value_or(QByteArray());
    const std::optional<TTestKind> kind = TestKindFromName(test.toStdString());
    if (!kind) {
        return Bad(QStringLiteral("no known test"));
    }
    entry.Test = *kind;
    static const QRegularExpression count(QStringLiteral("^[0-9]{1,9}$"));
    const QString ticks = QString::fromLatin1(field("ticks").value_or(QByteArray()));
    if (!count.match(ticks).hasMatch()) {
        return Bad(QStringLiteral("no tick count"));
    }
    entry.Ticks = ticks.toInt();
    entry.DurationText = QString::fromUtf8(field("duration").value_or(QByteArray()));
    std::optional<int> planned = TTestPlan::BenchmarkTicks;
    if (entry.Test == TTestKind::Stress) {
        planned = PlannedTicks(entry.DurationText);
    } else if (!entry.DurationText.isEmpty()) {
        planned.reset();
    }
    if (!planned) {
        return Bad(QStringLiteral("an unknown duration"));
    }
    if (entry.Ticks > *planned) {
        return Bad(QStringLiteral("more ticks than the run has"));
    }
    for (const auto& [key, when] :
         {std::pair{"start", &entry.Start}, {"updated", &entry.Updated}}) {
        if (const auto text = field(key); text && !text->isEmpty()) {
            const auto parsed = DateTime(*text);
            if (!parsed) {
                return Bad(QStringLiteral("a time that is not one"));
            }
            *when = *parsed;
        }
    }
    if (!entry.Updated.isValid()) {
        // Hand-made, or from an earlier version: the file's own time is the best known moment.
        entry.Updated = QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec);
    }
    if (const auto result = field("result")) {
        if (result->isEmpty() || result->size() > MaxResultSize) {
            return Bad(QStringLiteral("a result line that is not one"));
        }
        entry.Result = *result;
    }
    return contents;
}

QString TRunJournal::SetAside(const QString& file, QString* error) {
    const QByteArray name = QFile::encodeName(file);
    QByteArray aside = name + ".bad";
    for (int n = 2; Exists(aside) && n < 1000; ++n) {
        aside = name + ".bad." + QByteArray::number(n);
    }
    if (Exists(aside) || ::rename(name.constData(), aside.constData()) != 0) {
        *error = QStringLiteral("Cannot rename file %1: %2")
                     .arg(file, SystemError(Exists(aside) ? EEXIST : errno));
        return QString();
    }
    return QFile::decodeName(aside);
}

QByteArray TRunJournal::Line(const TEntry& entry, const TFormatSettings& format) {
    return entry.Result.isEmpty() ? InterruptedLine(entry, format) : entry.Result;
}

QByteArray TRunJournal::InterruptedLine(const TEntry& entry, const TFormatSettings& format) {
    const QString when = DateTimeText(entry.Updated, format);
    return entry.Test == TTestKind::Benchmark
               ? BenchmarkInterruptedLine(when, entry.Ticks)
               : StressInterruptedLine(when, entry.DurationText, entry.Ticks / 60);
}
