// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Where the program keeps its files, and the two it keeps beside the report log: the run lock
// and the run journal.
#include "StandardDescriptors.h"
#include "TPaths.h"
#include "TRunJournal.h"
#include "TRunLock.h"
#include "TWindowLock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets (or, for a null value, unsets) an environment variable for the life of the object.
class TEnvironment {
public:
    TEnvironment(const char* variable, const QByteArray& value)
        : name(variable), old(qgetenv(variable)), had(qEnvironmentVariableIsSet(variable)) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    ~TEnvironment() {
        if (had) {
            qputenv(name, old);
        } else {
            qunsetenv(name);
        }
    }

private:
    const char* name;
    QByteArray old;
    bool had;
};

QString PasswordHome() {
    const passwd* entry = getpwuid(getuid());
    return entry ? QFile::decodeName(entry->pw_dir) : QString();
}

TFormatSettings British() {
    return TFormatSettings::FromLocale(QLocale(QStringLiteral("en_GB")));
}

} // namespace

class TestRunState : public QObject {
    Q_OBJECT
private slots:
    void paths_data();
    void paths();
    void lockFolder_data();
    void lockFolder();
    void othersFilesAreRefused_data();
    void othersFilesAreRefused();
    void lockNamesItsHolder();
    void journal_data();
    void journal();
    void journalBelongsToOneReportFile();
    void windowLock_data();
    void windowLock();
    void closedStandardDescriptorsAreOpened_data();
    void closedStandardDescriptorsAreOpened();
};

void TestRunState::paths_data() {
    QTest::addColumn<QByteArray>("home"); // null: unset
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("stateFolder");
    QTest::newRow("defaults") << QByteArray("/home/ann") << QByteArray() << QByteArray()
                              << "/home/ann/.local/share/morvel/MorvelReport.dat"
                              << "/home/ann/.local/state/morvel";
    QTest::newRow("absolute variables") << QByteArray("/home/ann") << QByteArray("/data")
                                        << QByteArray("/state") << "/data/morvel/MorvelReport.dat"
                                        << "/state/morvel";
    QTest::newRow("relative variables are ignored")
        << QByteArray("/home/ann") << QByteArray("data") << QByteArray("./state")
        << "/home/ann/.local/share/morvel/MorvelReport.dat"
        << "/home/ann/.local/state/morvel";
    QTest::newRow("empty variables are ignored")
        << QByteArray("/home/ann") << QByteArray("") << QByteArray("")
        << "/home/ann/.local/share/morvel/MorvelReport.dat"
        << "/home/ann/.local/state/morvel";
    // A desktop session without HOME still has a home: the password database's.
    QTest::newRow("HOME unset") << QByteArray() << QByteArray() << QByteArray()
                                << PasswordHome() + "/.local/share/morvel/MorvelReport.dat"
                                << PasswordHome() + "/.local/state/morvel";
    QTest::newRow("HOME relative") << QByteArray("ann") << QByteArray() << QByteArray()
                                   << PasswordHome() + "/.local/share/morvel/MorvelReport.dat"
                                   << PasswordHome() + "/.local/state/morvel";
    // A path whose bytes would not survive (not UTF-8) is never used under another name: the
    // variable counts as unset.
    QTest::newRow("HOME not UTF-8") << QByteArray("/home/caf\xe9") << QByteArray() << QByteArray()
                                    << PasswordHome() + "/.local/share/morvel/MorvelReport.dat"
                                    << PasswordHome() + "/.local/state/morvel";
    QTest::newRow("XDG variables not UTF-8")
        << QByteArray("/home/ann") << QByteArray("/data/caf\xe9") << QByteArray("/st\xe9")
        << "/home/ann/.local/share/morvel/MorvelReport.dat"
        << "/home/ann/.local/state/morvel";
}

void TestRunState::paths() {
    QFETCH(QByteArray, home);
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, report);
    QFETCH(QString, stateFolder);
    const TEnvironment a("HOME", home);
    const TEnvironment b("XDG_DATA_HOME", dataHome.isEmpty() ? QByteArray() : dataHome);
    const TEnvironment c("XDG_STATE_HOME", stateHome);
    QCOMPARE(TPaths::ReportFile(), report);
    QCOMPARE(TPaths::StateFolder(), stateFolder);
    QCOMPARE(QFile::encodeName(TPaths::ReportFile()), QFile::encodeName(report));
}

void TestRunState::lockFolder_data() {
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("user");   // any, root (makes another user's folder)
    QTest::addColumn<QString>("chosen"); // state, temporary, none
    QTest::newRow("the state folder") << "made"
                                      << "any"
                                      << "state";
    QTest::newRow("a state folder of mode 0755") << "0755"
                                                 << "any"
                                                 << "state";
    QTest::newRow("a state folder others may write in") << "0777"
                                                        << "any"
                                                        << "temporary";
    QTest::newRow("a link planted for the state folder") << "planted"
                                                         << "any"
                                                         << "temporary";
    QTest::newRow("no state folder") << "blocked"
                                     << "any"
                                     << "temporary";
    QTest::newRow("the temporary name taken by another user") << "taken"
                                                              << "root"
                                                              << "none";
    QTest::newRow("the temporary name others may write in") << "temporary 0777"
                                                            << "any"
                                                            << "none";
}

// One run lock per user whatever the session: a cron job (no session folder, its own temporary
// folder) meets a desktop's run. The lock folder is the user's state folder, else one named for
// the user in the temporary folder; a folder another user made or may write in is passed over.
void TestRunState::lockFolder() {
    QFETCH(QString, scene);
    QFETCH(QString, user);
    QFETCH(QString, chosen);
    if (user == "root" && geteuid() != 0) {
        QSKIP("needs root to make another user's folder");
    }
    QTemporaryDir dir;
    const QString state = dir.filePath("state/morvel");
    const QString temporary = dir.filePath(QStringLiteral("tmp/morvel-%1").arg(geteuid()));
    QVERIFY(QDir().mkpath(dir.filePath("tmp")) && QDir().mkpath(dir.filePath("runtime")));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath("runtime")).constData(), 0700) == 0);
    if (scene == "0755" || scene == "0777") {
        QVERIFY(QDir().mkpath(state));
        QVERIFY(::chmod(QFile::encodeName(state).constData(), scene == "0755" ? 0755 : 0777) == 0);
    } else if (scene == "planted") {
        QVERIFY(QDir().mkpath(dir.filePath("elsewhere")) && QDir().mkpath(dir.filePath("state")));
        QVERIFY(QFile::link(dir.filePath("elsewhere"), state));
    } else if (scene != "made") {
        QFile blocker(dir.filePath("state"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the state folder goes
    }
    if (scene == "taken" || scene == "temporary 0777") {
        QVERIFY(QDir().mkdir(temporary));
        QVERIFY(::chmod(QFile::encodeName(temporary).constData(), 0777) == 0);
        if (scene == "taken") {
            QVERIFY(::chown(QFile::encodeName(temporary).constData(), 65534, 65534) == 0);
            QVERIFY(::chmod(QFile::encodeName(temporary).constData(), 0700) == 0);
        }
    }
    const TEnvironment c("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    std::optional<TEnvironment> runtime, tmp;
    runtime.emplace("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath("runtime")));
    tmp.emplace("TMPDIR", QFile::encodeName(dir.filePath("tmp")));
    if (chosen == "none") {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, TPaths::LockFolder());
        QVERIFY_THROWS_EXCEPTION(ERunLockFailed, TRunLock().Acquire());
        return;
    }
    const QString folder = TPaths::LockFolder();
    QCOMPARE(folder, chosen == "state" ? state : temporary);
    struct stat status {};
    QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status), 0);
    QVERIFY(S_ISDIR(status.st_mode));
    QCOMPARE(status.st_mode & 0777, scene == "0755" ? 0755u : 0700u);
    QCOMPARE(status.st_uid, geteuid());
    QVERIFY(QDir(dir.filePath("elsewhere")).isEmpty());
    TRunLock desktop;
    desktop.Acquire();
    QVERIFY(QFileInfo::exists(folder + "/run.lock"));
    if (chosen == "state") {
        // Another session: no session folder, a temporary folder of its own.
        runtime.emplace("XDG_RUNTIME_DIR", QByteArray());
        tmp.emplace("TMPDIR", QFile::encodeName(dir.filePath("runtime")));
        QVERIFY_THROWS_EXCEPTION(ERunLocked, TRunLock().Acquire());
    }
}

// A lock or journal file another user planted is never written, even by root: a lock refuses
// it, a journal is set aside whole and written anew.
void TestRunState::othersFilesAreRefused_data() {
    QTest::addColumn<QString>("file"); // run lock, journal, journal lock
    QTest::addColumn<QString>("kind"); // link, file
    for (const char* file : {"run lock", "journal", "journal lock"}) {
        for (const char* kind : {"link", "file"}) {
            QTest::addRow("%s: %s of another user's", file, kind) << file << kind;
        }
    }
}

void TestRunState::othersFilesAreRefused() {
    QFETCH(QString, file);
    QFETCH(QString, kind);
    if (geteuid() != 0) {
        QSKIP("needs root to make another user's files");
    }
    QTemporaryDir dir;
    const QString theirs = dir.filePath("theirs");
    const QString journalPath = dir.filePath("run.journal");
    const QString path = file == "run lock"  ? dir.filePath("run.lock")
                         : file == "journal" ? journalPath
                                             : journalPath + ".lock";
    QFile target(kind == "link" ? theirs : path);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("root only\n");
    target.close();
    if (kind == "link") {
        QVERIFY(QFile::link(theirs, path));
    }
    QCOMPARE(::lchown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    if (file == "run lock") {
        QVERIFY_THROWS_EXCEPTION(ERunLockFailed, TRunLock(path).Acquire());
    } else {
        TRunJournal journal(journalPath);
        TRunJournal::TEntry entry;
        entry.Ticks = 1;
        if (file == "journal lock") { // a journal not written says why
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^no run journal: .*refused"));
        }
        QCOMPARE(journal.Write(entry), file == "journal");
        QCOMPARE(journal.Read().has_value(), file == "journal");
    }
    const QString aside = journalPath + ".1";
    QFile kept(file == "journal" && kind == "file" ? aside : target.fileName());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("root only\n"));
}

void TestRunState::lockNamesItsHolder() {
    QTemporaryDir dir;
    TRunLock first(dir.filePath("run.lock"));
    TRunLock second(dir.filePath("run.lock"));
    first.Acquire();
    first.Acquire(); // held already: nothing changes
    QCOMPARE(QFile(dir.filePath("run.lock")).open(QIODevice::ReadOnly), true);
    try {
        second.Acquire();
        QFAIL("two holders");
    } catch (const ERunLocked& locked) {
        QCOMPARE(locked.Pid(), QCoreApplication::applicationPid());
    }
    first.Release();
    second.Acquire();
    QVERIFY(second.Held());
    // A lock file that cannot be opened is an error, not a run without a lock.
    TRunLock nowhere(dir.filePath("missing/run.lock"));
    QVERIFY_THROWS_EXCEPTION(ERunLockFailed, nowhere.Acquire());
    QVERIFY(!nowhere.Held());
}

void TestRunState::journal_data() {
    QTest::addColumn<QByteArray>("text"); // the journal's bytes
    QTest::addColumn<QByteArray>("line"); // "bad: <problem>" when it is not valid
    const QByteArray updated = "updated=2024-03-05T14:07:09\n";
    const QByteArray stress = "test=stress\nduration=";
    QTest::newRow("benchmark")
        << "test=benchmark\nduration=\nstart=2024-03-05T14:05:00\nticks=120\n" + updated
        << QByteArray("05/03/2024 14:07:09     Benchmark Test INTERRUPTED after 120 s");
    QTest::newRow("stress, whole minutes")
        << stress + "60min (1hrs)\nstart=2024-03-05T13:07:09\nticks=3599\n" + updated
        << QByteArray("05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : "
                      "60min (1hrs) test INTERRUPTED after 59 min.");
    QTest::newRow("stress of a length of its own")
        << stress + "90min 30s\nticks=5430\n" + updated
        << QByteArray("05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : "
                      "90min 30s test INTERRUPTED after 90 min.");
    QTest::newRow("a run that ended: its result line")
        << "test=benchmark\nticks=180\n" + updated + "result=05/03/2024 14:07:09     Score 5\n"
        << QByteArray("05/03/2024 14:07:09     Score 5");
    QTest::newRow("not a journal")
        << QByteArray("hello\n") << QByteArray("bad: a line that is not key=value");
    QTest::newRow("unknown test") << "test=other\nticks=1\n" + updated
                                  << QByteArray("bad: no known test");
    QTest::newRow("no ticks") << "test=stress\nduration=20min\n" + updated
                              << QByteArray("bad: no tick count");
    QTest::newRow("ticks not a count")
        << "test=benchmark\nticks=+5\n" + updated << QByteArray("bad: no tick count");
    QTest::newRow("benchmark past its 180 ticks") << "test=benchmark\nticks=181\n" + updated
                                                  << QByteArray("bad: more ticks than the run has");
    QTest::newRow("stress past its length") << stress + "20min\nticks=1201\n" + updated
                                            << QByteArray("bad: more ticks than the run has");
    QTest::newRow("a duration the program has none of")
        << stress + "forever\nticks=1\n" + updated << QByteArray("bad: an unknown duration");
    QTest::newRow("hours that are not the minutes")
        << stress + "60min (2hrs)\nticks=1\n" + updated << QByteArray("bad: an unknown duration");
    QTest::newRow("a benchmark with a duration")
        << "test=benchmark\nduration=20min\nticks=1\n" + updated
        << QByteArray("bad: an unknown duration");
    QTest::newRow("CR in the duration")
        << stress + "20min\r\nticks=1\n" + updated << QByteArray("bad: a control character");
    QTest::newRow("escape in the result") << "test=benchmark\nticks=1\nresult=\x1b[2J\n" + updated
                                          << QByteArray("bad: a control character");
    QTest::newRow("a field twice")
        << "test=benchmark\nticks=1\nticks=2\n" + updated << QByteArray("bad: a field given twice");
    QTest::newRow("an unknown field")
        << "test=benchmark\nticks=1\nowner=root\n" + updated << QByteArray("bad: an unknown field");
    QTest::newRow("a time that is not one")
        << QByteArray("test=benchmark\nticks=1\nupdated=yesterday\n")
        << QByteArray("bad: a time that is not one");
    QTest::newRow("seconds past a minute")
        << stress + "90min 60s\nticks=1\n" + updated << QByteArray("bad: an unknown duration");
    // The size limit's edge, padded with empty lines.
    const QByteArray small = "test=benchmark\nticks=1\n" + updated;
    QTest::newRow("just 4 KiB")
        << small + QByteArray(4096 - small.size(), '\n')
        << QByteArray("05/03/2024 14:07:09     Benchmark Test INTERRUPTED after 1 s");
    QTest::newRow("a byte over 4 KiB")
        << small + QByteArray(4097 - small.size(), '\n') << QByteArray("bad: longer than 4 KiB");
}

// Every field is checked before it is used; a journal that is not valid is set aside whole.
void TestRunState::journal() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    TRunJournal journal(dir.filePath("morvel/run.journal"));
    QVERIFY(!journal.Read());
    QCOMPARE(TRunJournal::Examine(journal.Path()).State, TRunJournal::TContents::TState::Missing);
    QDir().mkpath(dir.filePath("morvel"));
    QFile file(journal.Path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const TRunJournal::TContents contents = TRunJournal::Examine(journal.Path());
    if (line.startsWith("bad: ")) {
        QCOMPARE(contents.State, TRunJournal::TContents::TState::Bad);
        QCOMPARE(contents.Problem.toUtf8(), line.mid(5));
        QVERIFY(!journal.Read());
        QString error;
        QCOMPARE(TRunJournal::SetAside(journal.Path(), &error), journal.Path() + ".bad");
        QVERIFY(!QFile::exists(journal.Path()));
        QFile aside(journal.Path() + ".bad");
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), text);
        return;
    }
    QCOMPARE(contents.State, TRunJournal::TContents::TState::Valid);
    const auto entry = journal.Read();
    QVERIFY(entry);
    QCOMPARE(TRunJournal::Line(*entry, British()), line);
    // What is written reads back the same.
    QVERIFY(journal.Write(*entry));
    const auto again = journal.Read();
    QVERIFY(again);
    QCOMPARE(TRunJournal::Line(*again, British()), line);
    QCOMPARE(again->Start, entry->Start);
    QVERIFY(journal.Remove());
    QVERIFY(!QFile::exists(journal.Path()));
}

// A journal is one report file's, however its path is written, and a live process's while it
// holds it; a journal a dead process left is never overwritten but waits to be recorded.
void TestRunState::journalBelongsToOneReportFile() {
    QTemporaryDir dir;
    const TEnvironment state("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    QVERIFY(QDir().mkpath(dir.filePath("data/morvel")));
    QVERIFY(QFile::link(dir.filePath("data"), dir.filePath("linked")));
    const QString report = dir.filePath("data/morvel/MorvelReport.dat");
    QCOMPARE(TRunJournal::PathFor(dir.filePath("linked/morvel/MorvelReport.dat")),
             TRunJournal::PathFor(report));
    QCOMPARE(TRunJournal::PathFor(dir.path() + "//data/./morvel/MorvelReport.dat"),
             TRunJournal::PathFor(report));
    QVERIFY(TRunJournal::PathFor(dir.filePath("other/MorvelReport.dat")) !=
            TRunJournal::PathFor(report));
    QVERIFY(TRunJournal::PathFor(report).startsWith(dir.filePath("state/morvel/run-")));

    // A dead process's journal.
    const QString path = TRunJournal::PathFor(report);
    const QByteArray left = "test=benchmark\nticks=7\nupdated=2024-03-05T14:07:09\n";
    QVERIFY(QDir().mkpath(dir.filePath("state/morvel")));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(left) == left.size());
    file.close();
    // And the temporary file of a write a kill cut short: removed by the lock's holder.
    const QString killed = path + ".tmp-a1B2c3";
    QVERIFY(QFile(killed).open(QIODevice::WriteOnly));
    TRunJournal mine(path);
    QCOMPARE(mine.Waiting(), QStringList{path});
    QVERIFY(mine.Lock());
    QVERIFY(!QFileInfo::exists(killed));
    // Held: another process (here another handle) neither records nor writes it.
    TRunJournal other(path);
    QVERIFY(!other.Lock());
    QVERIFY(!other.Write({TTestKind::Benchmark, {}, {}, 1, {}, {}}));
    // The holder's first write moves the dead run's journal aside, whole.
    QVERIFY(mine.Write({TTestKind::Benchmark, {}, {}, 1, {}, {}}));
    QVERIFY(mine.Owned());
    QCOMPARE(mine.Waiting(), QStringList{path + ".1"});
    QFile aside(path + ".1");
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), left);
    QCOMPARE(mine.Read()->Ticks, 1);
}

void TestRunState::windowLock_data() {
    QTest::addColumn<QString>("second");  // the second window's path to the report file
    QTest::addColumn<QByteArray>("left"); // a lock file left behind; null: none
    QTest::newRow("the same path") << "data/morvel/MorvelReport.dat" << QByteArray();
    QTest::newRow("data home with a slash at the end")
        << "data//morvel/MorvelReport.dat" << QByteArray();
    QTest::newRow("through a linked home") << "linked/morvel/MorvelReport.dat" << QByteArray();
    QTest::newRow("through ..") << "data/morvel/../morvel/MorvelReport.dat" << QByteArray();
    QTest::newRow("through a link to the file") << "other/MorvelReport.dat" << QByteArray();
    QTest::newRow("an empty lock left behind") << "data/morvel/MorvelReport.dat" << QByteArray("");
    QTest::newRow("a corrupt lock left behind")
        << "data/morvel/MorvelReport.dat" << QByteArray("\xff\x00garbage");
    QTest::newRow("a lock of a process long gone")
        << "data/morvel/MorvelReport.dat" << QByteArray("999999999\nmorvel\nhost\n");
}

// One window per report file: a second window on the same file, however its path is written and
// whatever its session's folders, is refused with the first's process id; a lock file nobody
// holds, whatever it holds, stops nobody.
void TestRunState::windowLock() {
    QFETCH(QString, second);
    QFETCH(QByteArray, left);
    QTemporaryDir dir;
    std::optional<TEnvironment> runtime, tmp;
    runtime.emplace("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath("runtime")));
    tmp.emplace("TMPDIR", QFile::encodeName(dir.filePath("tmp")));
    QVERIFY(QDir().mkpath(dir.filePath("data/morvel")) && QDir().mkpath(dir.filePath("other")));
    QVERIFY(QFile::link(dir.filePath("data"), dir.filePath("linked")));
    QVERIFY(QFile::link(dir.filePath("data/morvel/MorvelReport.dat"),
                        dir.filePath("other/MorvelReport.dat")));
    TWindowLock first(dir.filePath("data/morvel/MorvelReport.dat"));
    if (!left.isNull()) {
        QFile file(first.Path());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(left) == left.size());
    }
    first.Acquire();
    runtime.emplace("XDG_RUNTIME_DIR", QByteArray());
    tmp.emplace("TMPDIR", QFile::encodeName(dir.filePath("other")));
    TWindowLock other(dir.path() + "/" + second);
    QCOMPARE(other.Path(), first.Path());
    try {
        other.Acquire();
        QFAIL("a second window took the lock");
    } catch (const ERunLocked& held) {
        QCOMPARE(held.Pid(), QCoreApplication::applicationPid());
    }
}

void TestRunState::closedStandardDescriptorsAreOpened_data() {
    QTest::addColumn<QList<int>>("closed");
    QTest::newRow("none") << QList<int>{};
    QTest::newRow("standard error") << QList<int>{2};
    QTest::newRow("all three") << QList<int>{0, 1, 2};
}

// A program started with a standard descriptor closed: the first file it opens would take that
// number, and what it says on standard error would land in the file.
void TestRunState::closedStandardDescriptorsAreOpened() {
    QFETCH(QList<int>, closed);
    int saved[3];
    for (int fd = 0; fd < 3; ++fd) {
        saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        QVERIFY(saved[fd] >= 10);
    }
    for (const int fd : closed) {
        close(fd);
    }
    const bool opened = OpenStandardDescriptors();
    struct stat standard[3];
    bool open[3];
    for (int fd = 0; fd < 3; ++fd) {
        open[fd] = fstat(fd, &standard[fd]) == 0;
    }
    const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (int fd = 0; fd < 3; ++fd) {
        dup2(saved[fd], fd);
        close(saved[fd]);
    }
    close(next);
    QVERIFY(opened);
    QVERIFY(next > 2);
    struct stat null {};
    QCOMPARE(stat("/dev/null", &null), 0);
    for (const int fd : closed) {
        QVERIFY(open[fd]);
        QCOMPARE(standard[fd].st_rdev, null.st_rdev);
    }
}

QTEST_GUILESS_MAIN(TestRunState)
#include "tst_runstate.moc"
