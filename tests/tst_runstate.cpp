// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Where the program keeps its files, and the two it keeps beside the report log: the run lock
// and the run journal.
#include "TPaths.h"
#include "TRunJournal.h"
#include "TRunLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    void runtimeFolderIsThisUsersOwn();
    void lockNamesItsHolder();
    void journal_data();
    void journal();
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
    // Bytes that are not UTF-8 stay the same bytes when the path goes back to the system.
    QTest::newRow("not UTF-8") << QByteArray("/home/caf\xe9") << QByteArray() << QByteArray()
                               << QFile::decodeName("/home/caf\xe9/.local/share/morvel/"
                                                    "MorvelReport.dat")
                               << QFile::decodeName("/home/caf\xe9/.local/state/morvel");
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

void TestRunState::runtimeFolderIsThisUsersOwn() {
    QTemporaryDir dir;
    {
        const TEnvironment runtime("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        const QString folder = TPaths::RuntimeFolder();
        QCOMPARE(folder, dir.filePath("morvel"));
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0700u);
    }
    {
        // A relative runtime folder is ignored for the temporary folder's, named for the user.
        const TEnvironment runtime("XDG_RUNTIME_DIR", "run");
        const TEnvironment temporary("TMPDIR", QFile::encodeName(dir.path()));
        QCOMPARE(TPaths::RuntimeFolder(), dir.filePath(QStringLiteral("morvel-%1").arg(getuid())));
    }
    // Not a folder of ours: a link planted in a shared folder is refused.
    QVERIFY(QDir().mkpath(dir.filePath("planted")) && QDir().mkpath(dir.filePath("elsewhere")));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), dir.filePath("planted/morvel")));
    const TEnvironment runtime("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath("planted")));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, TPaths::RuntimeFolder());
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
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, nowhere.Acquire());
    QVERIFY(!nowhere.Held());
}

void TestRunState::journal_data() {
    QTest::addColumn<QByteArray>("text"); // the journal's bytes
    QTest::addColumn<QByteArray>("line"); // empty: no journal
    const QByteArray updated = "updated=2024-03-05T14:07:09\n";
    QTest::newRow("benchmark")
        << "test=benchmark\nduration=\nstart=2024-03-05T14:05:00\nticks=120\n" + updated
        << QByteArray("05/03/2024 14:07:09     Benchmark Test INTERRUPTED after 120 s");
    QTest::newRow("stress, whole minutes")
        << "test=stress\nduration=60min (1hrs)\nstart=2024-03-05T13:07:09\nticks=3599\n" + updated
        << QByteArray("05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : "
                      "60min (1hrs) test INTERRUPTED after 59 min.");
    QTest::newRow("not a journal") << QByteArray("hello\n") << QByteArray();
    QTest::newRow("unknown test") << "test=other\nticks=1\n" + updated << QByteArray();
    QTest::newRow("no ticks") << "test=stress\n" + updated << QByteArray();
}

void TestRunState::journal() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    TRunJournal journal(dir.filePath("morvel/run.journal"));
    QVERIFY(!journal.Read());
    QDir().mkpath(dir.filePath("morvel"));
    QFile file(journal.Path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    const auto entry = journal.Read();
    QCOMPARE(entry.has_value(), !line.isEmpty());
    if (entry) {
        QCOMPARE(TRunJournal::InterruptedLine(*entry, British()), line);
        // What is written reads back the same.
        QVERIFY(journal.Write(*entry));
        const auto again = journal.Read();
        QVERIFY(again);
        QCOMPARE(TRunJournal::InterruptedLine(*again, British()), line);
        QCOMPARE(again->Start, entry->Start);
    }
    journal.Remove();
    QVERIFY(!QFile::exists(journal.Path()));
}

QTEST_GUILESS_MAIN(TestRunState)
#include "tst_runstate.moc"
