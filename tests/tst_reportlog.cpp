// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ReportFileFormat.h"
#include "TReportLog.h"
#include "Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using Lines = QList<QByteArray>;

namespace {

// The lines a log holds.
Lines ToList(const TReportLog& log) {
    Lines lines;
    for (int i = 0; i < log.Count(); ++i) {
        lines.append(log.Line(i));
    }
    return lines;
}

// The report file holding exactly these lines: each followed by CR LF.
QByteArray FileOf(const Lines& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) {
        bytes += line + "\r\n";
    }
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<unreadable>";
    }
    return file.readAll();
}

void Fill(TReportLog& log, const Lines& lines) {
    for (const QByteArray& line : lines) {
        log.AddLine(line);
    }
}

// Runs an operation that must fail and returns the text it failed with.
template <typename Operation> QString ErrorOf(Operation operation) {
    try {
        operation();
    } catch (const EReportError& error) {
        return QString::fromStdString(error.what());
    }
    return QStringLiteral("<no error>");
}

// Whom a case needs to be: permission bits do not stop root, and only root makes device nodes.
// Cases for another user than root run in a child run of this test as that user (see
// unprivilegedCases).
bool SkipUnlessRunAs(const QString& user) {
    if (user == "user" && geteuid() == 0) {
        return true;
    }
    return user == "root" && geteuid() != 0;
}

QString TypeOf(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return "missing";
    }
    return S_ISLNK(status.st_mode)    ? "link"
           : S_ISREG(status.st_mode)  ? "file"
           : S_ISCHR(status.st_mode)  ? "device"
           : S_ISFIFO(status.st_mode) ? "fifo"
           : S_ISDIR(status.st_mode)  ? "folder"
                                      : "other";
}

} // namespace

class TestReportLog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void load_data();
    void load();
    void roundTrip_data();
    void roundTrip();
    void modelSignalsAndDisplay();
    void fileExists_data();
    void fileExists();
    void loadErrors_data();
    void loadErrors();
    void unreadableFileIsSetAsideNotOverwritten_data();
    void unreadableFileIsSetAsideNotOverwritten();
    void saveErrors_data();
    void saveErrors();
    void failedWriteKeepsThePreviousFile();
    void saveChangesWritesOnlyWhatChanged_data();
    void saveChangesWritesOnlyWhatChanged();
    void fullLogRefusesLines();
    void nothingDroppedOnLoad_data();
    void nothingDroppedOnLoad();
    void saveReplacesOnlyARegularFile_data();
    void saveReplacesOnlyARegularFile();
    void longLineShownCut();
    void emergencyCopyIsNewAndPrivate_data();
    void emergencyCopyIsNewAndPrivate();
    void unprivilegedCases();

private:
    QTemporaryDir dataHome;
    QString dir; // a fresh folder per test
    int serial = 0;
};

void TestReportLog::init() {
    QVERIFY(dataHome.isValid());
    dir = dataHome.path() + QStringLiteral("/case%1").arg(++serial);
    QVERIFY(QDir().mkpath(dir));
}

void TestReportLog::load_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Lines>("lines");
    QTest::newRow("empty file") << QByteArray() << Lines{};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << Lines{"a", "b"};
    QTest::newRow("bare LF") << QByteArray("a\nb\n") << Lines{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r") << Lines{"a", "b"};
    QTest::newRow("no final break") << QByteArray("a\r\nb") << Lines{"a", "b"};
    QTest::newRow("a CR CR LF b") << QByteArray("a\r\r\nb") << Lines{"a", "", "b"};
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << Lines{"a", "", "b"};
    QTest::newRow("empty lines in the middle")
        << QByteArray("a\r\n\r\n\r\nb\r\n") << Lines{"a", "", "", "b"};
    QTest::newRow("only a break") << QByteArray("\r\n") << Lines{""};
    QTest::newRow("leading break") << QByteArray("\nx") << Lines{"", "x"};
    QTest::newRow("NUL in the middle") << QByteArray("a\r\nb\0c\r\nd\r\n", 11) << Lines{"a", "b"};
    QTest::newRow("NUL first") << QByteArray("\0a\r\n", 4) << Lines{};
    QTest::newRow("NUL after a break") << QByteArray("a\r\0b", 4) << Lines{"a"};
    QTest::newRow("Latin-1 bytes")
        << QByteArray("caf\xe9 \xff\x80\r\n\xa0\r\n") << Lines{"caf\xe9 \xff\x80", "\xa0"};
}

void TestReportLog::load() {
    QFETCH(QByteArray, bytes);
    QFETCH(Lines, lines);
    const QString path = dir + "/r.dat";
    WriteFile(path, bytes);
    TReportLog log(path);
    log.Load();
    QCOMPARE(ToList(log), lines);
}

void TestReportLog::roundTrip_data() {
    QTest::addColumn<Lines>("lines");
    QTest::newRow("three lines") << Lines{
        "12/7/2026 3:05:09 PM     Benchmark Test Score : 4321",
        "12/7/2026     Benchmark Test Score : 17",
        "12/8/2026 9:00:01 AM     Stress Test (w/ multi-thread process) : 20min test completed."};
    QTest::newRow("empty log") << Lines{};
    QTest::newRow("one empty line") << Lines{""};
    QTest::newRow("empty lines in the middle") << Lines{"a", "", "", "b"};
    QTest::newRow("Latin-1 bytes") << Lines{"Z\xfcrich \xe9t\xe9", "\x80\x81\xfe\xff"};
    QTest::newRow("UTF-8") << Lines{"2026. 12. 7. \xec\x98\xa4\xed\x9b\x84 3:05:09"};
    QTest::newRow("1 MiB line") << Lines{"first", QByteArray(1 << 20, 'x'), "last"};
}

void TestReportLog::roundTrip() {
    QFETCH(Lines, lines);
    const QString path = dir + "/sub/r.dat";
    TReportLog log(path);
    Fill(log, lines);
    log.Save();

    QByteArray expected;
    for (const QByteArray& line : lines) {
        expected += line + "\r\n";
    }
    QCOMPARE(ReadFile(path), expected);

    TReportLog again(path);
    again.Load();
    QCOMPARE(ToList(again), lines);
}

void TestReportLog::saveChangesWritesOnlyWhatChanged_data() {
    QTest::addColumn<bool>("fileThere");   // "old\r\n"
    QTest::addColumn<QString>("before");   // what happens to the log first
    QTest::addColumn<QByteArray>("after"); // the file after SaveChanges(); null: not written
    QTest::newRow("loaded, unchanged") << true << "load" << QByteArray();
    QTest::newRow("loaded, a line added") << true << "load, add" << QByteArray("old\r\nnew\r\n");
    QTest::newRow("loaded, cleared") << true << "load, clear" << QByteArray("");
    QTest::newRow("saved, unchanged") << true << "add, save" << QByteArray();
    QTest::newRow("never loaded: the history stays") << true << "" << QByteArray();
    QTest::newRow("never loaded, no file: an empty one") << false << "" << QByteArray("");
}

// A log is written when it changed: an unchanged large log is not rewritten at every stop
// signal, and a window whose log cannot be saved can close when nothing was to be saved.
void TestReportLog::saveChangesWritesOnlyWhatChanged() {
    QFETCH(bool, fileThere);
    QFETCH(QString, before);
    QFETCH(QByteArray, after);
    const QString path = dir + "/r.dat";
    if (fileThere) {
        WriteFile(path, "old\r\n");
    }
    TReportLog log(path);
    for (const QString& step : before.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        if (step == "load") {
            log.Load();
        } else if (step == "add") {
            log.AddLine("new");
        } else if (step == "clear") {
            log.Clear();
        } else {
            log.Save();
        }
    }
    // A written file is a new one (QSaveFile renames it into place): its inode tells.
    const auto inode = [&path] {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : ino_t(0);
    };
    const ino_t was = inode();
    const QByteArray bytes = ReadFile(path);
    log.SaveChanges();
    QVERIFY(!log.Unsaved());
    if (after.isNull()) {
        QCOMPARE(inode(), was);
        QCOMPARE(ReadFile(path), bytes);
    } else {
        QVERIFY(inode() != was);
        QCOMPARE(ReadFile(path), after);
    }
}

void TestReportLog::modelSignalsAndDisplay() {
    const QString path = dir + "/r.dat";
    WriteFile(path, "x\r\ny\r\nz\r\n");
    TReportLog log(path);
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&log, &QAbstractItemModel::modelReset);

    log.AddLine("first");
    log.AddLine("caf\xc3\xa9");
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(inserted.at(1).at(2).toInt(), 1);
    QCOMPARE(log.rowCount(), 2);
    QCOMPARE(log.data(log.index(1)).toString(), QString::fromUtf8("caf\xc3\xa9"));
    QVERIFY(!log.data(log.index(2)).isValid());
    QCOMPARE(log.rowCount(log.index(0)), 0);

    log.Load(); // replaces the lines, with one redraw for the whole file
    QCOMPARE(reset.count(), 1);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(log.rowCount(), 3);
    QCOMPARE(log.data(log.index(2)).toString(), QStringLiteral("z"));

    log.Clear();
    QCOMPARE(reset.count(), 2);
    QCOMPARE(log.rowCount(), 0);
}

void TestReportLog::fileExists_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("exists");
    QTest::newRow("regular file") << "file" << true;
    QTest::newRow("empty file") << "empty" << true;
    QTest::newRow("file dated 1979") << "1979" << true;
    QTest::newRow("file dated 2200") << "2200" << true;
    QTest::newRow("symbolic link to a file") << "link" << true;
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("directory") << "directory" << false;
    QTest::newRow("named pipe") << "fifo" << false;
    // A link to nothing is no file: nothing to load, and nothing to set aside.
    QTest::newRow("dangling link") << "dangling" << false;
}

void TestReportLog::fileExists() {
    QFETCH(QString, kind);
    QFETCH(bool, exists);
    const QString path = dir + "/r.dat";
    if (kind == "file" || kind == "1979" || kind == "2200") {
        WriteFile(path, "a\r\n");
    } else if (kind == "empty") {
        WriteFile(path, {});
    } else if (kind == "directory") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "link") {
        WriteFile(dir + "/target", "a\r\n");
        QVERIFY(QFile::link(dir + "/target", path));
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(dir + "/nothing", path));
    }
    if (kind == "1979" || kind == "2200") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime when(QDate(kind.toInt(), 1, 1), QTime(12, 0), Qt::UTC);
        QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(QFileInfo(path).lastModified().toUTC().date().year(), kind.toInt());
    }
    TReportLog log(path);
    QCOMPARE(log.FileExists(), exists);
}

void TestReportLog::loadErrors_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing file") << "missing";
    QTest::newRow("directory at the path") << "directory";
    QTest::newRow("missing folder") << "folder";
}

void TestReportLog::loadErrors() {
    QFETCH(QString, kind);
    QString path = dir + "/r.dat";
    if (kind == "directory") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "folder") {
        path = dir + "/none/r.dat";
    }
    TReportLog log(path);
    Fill(log, {"kept 1", "kept 2"});
    QSignalSpy reset(&log, &QAbstractItemModel::modelReset);
    QCOMPARE(ErrorOf([&] { log.Load(); }), "Cannot open file " + path);
    QCOMPARE(ToList(log), (Lines{"kept 1", "kept 2"}));
    QCOMPARE(reset.count(), 0);
}

void TestReportLog::unreadableFileIsSetAsideNotOverwritten_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("aside");
    QTest::newRow("unreadable file") << "unreadable"
                                     << ".unreadable";
    QTest::newRow("directory at the path") << "directory"
                                           << ".unreadable";
    QTest::newRow("an earlier one set aside") << "directory, second"
                                              << ".unreadable.2";
}

void TestReportLog::unreadableFileIsSetAsideNotOverwritten() {
    QFETCH(QString, kind);
    QFETCH(QString, aside);
    const QString path = dir + "/r.dat";
    if (kind.startsWith("directory")) {
        QVERIFY(QDir().mkdir(path));
        WriteFile(path + "/inside", "old lines\r\n");
        if (kind.endsWith("second")) {
            WriteFile(path + ".unreadable", "set aside before\r\n");
        }
    } else {
        if (geteuid() == 0) {
            QSKIP("permission bits do not stop root from reading");
        }
        WriteFile(path, "old lines\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
    TReportLog log(path);
    QCOMPARE(ErrorOf([&] { log.Load(); }), "Cannot open file " + path);

    log.AddLine("new line");
    log.Save();
    QCOMPARE(ReadFile(path), QByteArray("new line\r\n"));
    const QString kept = kind.startsWith("directory") ? path + aside + "/inside" : path + aside;
    QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(ReadFile(kept), QByteArray("old lines\r\n"));

    // Only the file that could not be read is set aside; later saves replace the new file.
    log.Save();
    QVERIFY(!QFileInfo::exists(path + aside + ".2") && !QFileInfo::exists(path + ".unreadable.3"));
    QCOMPARE(ReadFile(path), QByteArray("new line\r\n"));
}

void TestReportLog::saveErrors_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file where the folder should be") << "file-as-folder";
    QTest::newRow("a file further up the folders") << "file-as-grandparent";
    QTest::newRow("a directory where the file should be") << "directory";
}

void TestReportLog::saveErrors() {
    QFETCH(QString, kind);
    QString path;
    QString blocker; // a regular file standing where a folder is needed
    if (kind == "file-as-folder") {
        blocker = dir + "/morvel";
        path = blocker + "/r.dat";
    } else if (kind == "file-as-grandparent") {
        blocker = dir + "/data";
        path = blocker + "/morvel/r.dat";
    } else {
        path = dir + "/r.dat";
        QVERIFY(QDir().mkdir(path));
    }
    if (!blocker.isEmpty()) {
        WriteFile(blocker, "not a folder");
    }
    TReportLog log(path);
    Fill(log, {"line 1", "line 2"});
    QCOMPARE(ErrorOf([&] { log.Save(); }), "Cannot create file " + path);
    QCOMPARE(ToList(log), (Lines{"line 1", "line 2"}));
    if (blocker.isEmpty()) {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QDir(path).isEmpty());
    } else {
        QCOMPARE(ReadFile(blocker), QByteArray("not a folder"));
    }
    // Nothing of the failed save is left beside it.
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 1);
}

void TestReportLog::failedWriteKeepsThePreviousFile() {
    // A file-size limit makes the disk refuse the write, for root as for anyone.
    const QString path = dir + "/r.dat";
    const QByteArray previous = "12/7/2026     Benchmark Test Score : 17\r\n";
    WriteFile(path, previous);
    TReportLog log(path);
    log.Load();
    for (int i = 0; i < 64; ++i) {
        log.AddLine(QByteArray(200, char('a' + i % 26)));
    }
    const Lines before = ToList(log);

    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = ErrorOf([&] { log.Save(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(error, QStringLiteral("Stream write error"));
    QCOMPARE(ReadFile(path), previous);
    QCOMPARE(ToList(log), before);
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"r.dat"});

    log.Save(); // without the limit the same log is written whole
    QCOMPARE(ReadFile(path), FileOf(ToList(log)));
}

void TestReportLog::fullLogRefusesLines() {
    const QString path = dir + "/r.dat";
    TReportLog log(path, 3);
    Fill(log, {"1", "2", "3"});
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QCOMPARE(ErrorOf([&] { log.AddLine("4"); }), QStringLiteral("Unable to insert a line"));
    QCOMPARE(ToList(log), (Lines{"1", "2", "3"}));
    QCOMPARE(inserted.count(), 0);

    // A file longer than the log can take is refused whole.
    WriteFile(path, "a\r\nb\r\nc\r\nd\r\n");
    log.Clear();
    log.AddLine("kept");
    QCOMPARE(ErrorOf([&] { log.Load(); }), QStringLiteral("Unable to insert a line"));
    QCOMPARE(ToList(log), Lines{"kept"});
    WriteFile(path, "a\r\nb\r\nc\r\n");
    log.Load();
    QCOMPARE(log.Count(), 3);
}

void TestReportLog::nothingDroppedOnLoad_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("user"); // any, user (not root)
    QTest::addColumn<Lines>("loaded"); // empty: the load fails
    QTest::newRow("a NUL byte stops the text") << "nul"
                                               << "any" << Lines{"a", "b"};
    QTest::newRow("a folder that cannot be searched") << "folder"
                                                      << "user" << Lines{};
}

// What the load could not take (bytes after a NUL, a file it could not see) is kept beside the
// file by the next save, which then writes the log as it is.
void TestReportLog::nothingDroppedOnLoad() {
    QFETCH(QString, kind);
    QFETCH(QString, user);
    QFETCH(Lines, loaded);
    if (SkipUnlessRunAs(user)) {
        QSKIP("needs another user");
    }
    const QString folder = dir + "/data";
    const QString path = folder + "/r.dat";
    const QByteArray original =
        kind == "nul" ? QByteArray("a\r\nb\0c\r\nd\r\n", 11) : QByteArray("old 1\r\nold 2\r\n");
    QVERIFY(QDir().mkpath(folder));
    if (kind == "link") {
        QVERIFY(QFile::link(dir + "/drive/r.dat", path));
    } else {
        WriteFile(path, original);
    }
    if (kind == "folder") {
        QVERIFY(QFile::setPermissions(folder, {}));
    }
    TReportLog log(path);
    QVERIFY(log.FileExists());
    if (loaded.isEmpty()) {
        QCOMPARE(ErrorOf([&] { log.Load(); }), "Cannot open file " + path);
    } else {
        log.Load();
    }
    QCOMPARE(ToList(log), loaded);

    // The problem is solved: the drive is mounted, the folder searchable again.
    if (kind == "link") {
        QVERIFY(QDir().mkpath(dir + "/drive"));
        WriteFile(dir + "/drive/r.dat", original);
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    log.AddLine("new");
    log.Save();
    QCOMPARE(TypeOf(path), QStringLiteral("file"));
    QCOMPARE(ReadFile(path), FileOf(Lines(loaded) << "new"));
    // The original, a link included, whole beside it.
    QCOMPARE(TypeOf(path + ".unreadable"), kind == "link" ? "link" : "file");
    QCOMPARE(ReadFile(path + ".unreadable"), original);
}

void TestReportLog::saveReplacesOnlyARegularFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("user");  // any, user (not root), root
    QTest::addColumn<QString>("saved"); // where the lines go: the path, the target, or nowhere
    QTest::newRow("a link to a device") << "device link"
                                        << "any"
                                        << "nowhere";
    QTest::newRow("a FIFO") << "fifo"
                            << "any"
                            << "nowhere";
    QTest::newRow("a device node") << "device"
                                   << "root"
                                   << "nowhere";
    QTest::newRow("a link to a file") << "file link"
                                      << "any"
                                      << "target";
    QTest::newRow("a link to a file not made yet") << "new file link"
                                                   << "any"
                                                   << "target";
    // A link another user planted (to a copy of a file only root may write) is not followed.
    QTest::newRow("a link of another user's") << "planted link"
                                              << "root"
                                              << "nowhere";
    QTest::newRow("a writable file in a read-only folder") << "read-only"
                                                           << "user"
                                                           << "path";
}

// Links are followed; a device, FIFO or socket is never written to nor replaced by a file; a
// writable file in a folder that takes no new file is written in place.
void TestReportLog::saveReplacesOnlyARegularFile() {
    QFETCH(QString, kind);
    QFETCH(QString, user);
    QFETCH(QString, saved);
    if (SkipUnlessRunAs(user)) {
        QSKIP("needs another user");
    }
    const QString path = dir + "/r.dat";
    const QString target = dir + "/elsewhere/r.dat";
    QVERIFY(QDir().mkpath(dir + "/elsewhere"));
    QString type = "file";
    if (kind == "device link") {
        QVERIFY(QFile::link("/dev/null", path));
        type = "link";
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        type = "fifo";
    } else if (kind == "device") {
        QCOMPARE(::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 3)), 0);
        type = "device";
    } else if (kind == "planted link") {
        WriteFile(target, "root only\r\n");
        QVERIFY(QFile::link(target, path));
        QCOMPARE(::lchown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        type = "link";
    } else if (kind.endsWith("file link")) {
        if (kind == "file link") {
            WriteFile(target, "old\r\n");
        }
        QVERIFY(QFile::link(target, path));
        type = "link";
    } else {
        WriteFile(path, "old\r\n");
        QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    }
    TReportLog log(path);
    log.AddLine("new");
    if (saved == "nowhere") {
        // The reason follows when it is another user's.
        QCOMPARE(ErrorOf([&] { log.Save(); }),
                 "Cannot create file " + path +
                     (kind == "planted link"
                          ? " (" + path + ": refused: a link of another user's is not followed)"
                          : QString()));
    } else {
        log.Save();
    }
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(TypeOf(path), type);
    if (saved != "nowhere") {
        QCOMPARE(ReadFile(saved == "target" ? target : path), QByteArray("new\r\n"));
    }
    if (kind == "device link") {
        QCOMPARE(TypeOf("/dev/null"), QStringLiteral("device"));
    }
    if (kind == "planted link") {
        QCOMPARE(ReadFile(target), QByteArray("root only\r\n"));
    }
    // Nothing else is left behind.
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size(), 2);
}

// A line of megabytes is kept whole and shown cut, so the list stays quick.
void TestReportLog::longLineShownCut() {
    TReportLog log(dir + "/r.dat");
    const QByteArray line = QByteArray("\xc3\xa9") + QByteArray(20 << 20, 'x');
    log.AddLine(line);
    const QString shown = log.data(log.index(0)).toString();
    QCOMPARE(shown.size(), TReportLog::ShownCharacters);
    QVERIFY(shown.startsWith(QStringLiteral("\u00e9xxx")));
    QCOMPARE(log.Line(0), line);
}

void TestReportLog::emergencyCopyIsNewAndPrivate_data() {
    QTest::addColumn<QString>("state"); // the state folder: usable, in the way, another user's
    QTest::newRow("state folder") << "usable";
    QTest::newRow("state folder in the way: temporary folder") << "in the way";
    QTest::newRow("state folder of another user's: temporary folder") << "another user's";
}

// The emergency copy is a new file in the state folder, else in the temporary folder (how it
// is made: DurableFile::CreateNew); a second copy in the same second writes a file of its own.
void TestReportLog::emergencyCopyIsNewAndPrivate() {
    QFETCH(QString, state);
    if (state == "another user's" && geteuid() != 0) {
        QSKIP("needs root to make another user's folder");
    }
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir + "/state"));
    qputenv("TMPDIR", QFile::encodeName(dir + "/tmp"));
    QVERIFY(QDir().mkpath(dir + "/tmp"));
    if (state == "in the way") {
        WriteFile(dir + "/state", "in the way");
    } else if (state == "another user's") {
        QVERIFY(QDir().mkpath(dir + "/state/morvel"));
        QCOMPARE(::chown(QFile::encodeName(dir + "/state/morvel").constData(), 65534, 65534), 0);
    }
    const QDateTime now(QDate(2026, 12, 8), QTime(10, 11, 12));
    const QString folder = state == "usable" ? dir + "/state/morvel" : dir + "/tmp";
    TReportLog first(dir + "/r.dat");
    first.AddLine("first");
    TReportLog second(dir + "/r.dat");
    second.AddLine("second");
    const QString one = first.SaveEmergencyCopy(now);
    const QString two = second.SaveEmergencyCopy(now);
    qputenv("XDG_STATE_HOME", oldState);
    qputenv("TMPDIR", oldTemp);
    QCOMPARE(one, folder + "/MorvelReport-unsaved-20261208-101112.dat");
    QVERIFY(two.startsWith(folder + "/MorvelReport-unsaved-20261208-101112-"));
    QCOMPARE(ReadFile(one), QByteArray("first\r\n"));
    QCOMPARE(ReadFile(two), QByteArray("second\r\n"));
    QCOMPARE(QFile::permissions(one),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// Permission bits do not stop root: as root, the cases that need them run again in this test
// program as the unprivileged user "nobody".
void TestReportLog::unprivilegedCases() {
    if (geteuid() != 0) {
        QSKIP("not root: those cases ran directly");
    }
    const QStringList cases{"unreadableFileIsSetAsideNotOverwritten:unreadable file",
                            "nothingDroppedOnLoad:a folder that cannot be searched",
                            "saveReplacesOnlyARegularFile:a writable file in a read-only folder"};
    const QByteArray failures = FailuresAsNobody(cases);
    QVERIFY2(failures.isEmpty(), failures.constData());
}

QTEST_GUILESS_MAIN(TestReportLog)
#include "tst_reportlog.moc"
