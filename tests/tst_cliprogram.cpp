// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The built morvel-cli as a child process: exit statuses, what it prints, signals, the system
// refusing its threads, the worker count it really starts, its live record when it is killed.
// What it does with a run's result is tested in process (tst_cli); a whole real benchmark is in
// tst_clibenchmark.
#include "ChildSignal.h"
#include "FileLines.h"
#include "Processors.h"
#include "TRunLock.h"
#include "TRunRecord.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sched.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

struct Finished {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// What a run says first where the machine cannot be kept awake (no logind here).
const QByteArray NoInhibitor = "morvel-cli: cannot keep the machine from sleeping";

Finished RunProgram(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(MORVEL_CLI_PATH), arguments);
    Finished result;
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The threads of a running process.
int Threads(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/task").arg(pid))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

class TestCliProgram : public QObject {
    Q_OBJECT
private slots:
    void badArgumentsExitWithUsage_data();
    void badArgumentsExitWithUsage();
    void helpAndVersion_data();
    void helpAndVersion();
    void workersAllStartsOnePerUsableProcessor_data();
    void workersAllStartsOnePerUsableProcessor();
    void stopSignalEndsTheProgramAtOnce_data();
    void stopSignalEndsTheProgramAtOnce();
    void ignoredStopSignalStaysIgnored();
    void refusedThreadsExitWithStatus3();
    void failedOutputExitsWithStatus4_data();
    void failedOutputExitsWithStatus4();
    void anotherRunExitsWithStatus5_data();
    void anotherRunExitsWithStatus5();
    void outputFileThatCannotBeOpenedExitsWithStatus2_data();
    void outputFileThatCannotBeOpenedExitsWithStatus2();
    void nameNotUtf8IsRefused();
    void unusableLockExitsWithStatus6();
    void metricsThatCannotBeWrittenGoToStandardError();
    void recordOfAKilledRunKeepsEveryTick();
};

void TestCliProgram::badArgumentsExitWithUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("unknown duration") << QStringList{"stress", "25"};
    QTest::newRow("unknown option") << QStringList{"--fast", "benchmark"};
    QTest::newRow("workers past the most") << QStringList{"--workers", "1025", "benchmark"};
}

void TestCliProgram::badArgumentsExitWithUsage() {
    QFETCH(QStringList, arguments);
    const Finished run = RunProgram(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    // What is wrong and where to read more, not the whole help.
    const QList<QByteArray> lines = run.err.split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith("morvel-cli: "), run.err.constData());
    QCOMPARE(lines[1], "Try 'morvel-cli --help' for more information.");
    QVERIFY(lines[2].isEmpty());
}

void TestCliProgram::helpAndVersion_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected"); // the start of standard output
    QTest::newRow("help") << QStringList{"--help"} << QByteArray("Usage: morvel-cli");
    QTest::newRow("help beats a bad test")
        << QStringList{"nonsense", "--help"} << QByteArray("Usage: morvel-cli");
    QTest::newRow("version") << QStringList{"--version"}
                             << QByteArray("morvel-cli " MORVEL_VERSION "\n");
}

void TestCliProgram::helpAndVersion() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    const Finished run = RunProgram(arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY2(run.out.startsWith(expected), run.out.constData());
}

void TestCliProgram::workersAllStartsOnePerUsableProcessor_data() {
    QTest::addColumn<bool>("onFirstProcessor"); // under taskset -c <first usable processor>
    QTest::addColumn<QString>("workers");
    QTest::addColumn<int>("expected"); // -1: the usable processors
    QTest::newRow("all") << false << "all" << -1;
    QTest::newRow("all under taskset to one processor") << true << "all" << 1;
    QTest::newRow("three") << false << "3" << 3;
}

// The workers a run starts, counted as the threads of the running program beside its main
// thread and those of a one-worker run.
void TestCliProgram::workersAllStartsOnePerUsableProcessor() {
    QFETCH(bool, onFirstProcessor);
    QFETCH(QString, workers);
    QFETCH(int, expected);
    if (onFirstProcessor && QStandardPaths::findExecutable(QStringLiteral("taskset")).isEmpty()) {
        QSKIP("needs taskset");
    }
    if (expected < 0) {
        expected = static_cast<int>(UsableCpuList().size());
    }
    QTemporaryDir dir;
    const auto threadsOf = [&](const QString& count) {
        QProcess process;
        // No system bus: --quiet keeps even the warning that the machine may sleep.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
        process.setProcessEnvironment(environment);
        const QString record = dir.filePath("record-" + count);
        QStringList arguments{"--quiet", "--workers", count, "--record", record, "stress", "20"};
        if (onFirstProcessor) {
            cpu_set_t set;
            sched_getaffinity(0, sizeof set, &set);
            int first = 0;
            while (!CPU_ISSET(first, &set)) {
                ++first;
            }
            arguments.prepend(QStringLiteral(MORVEL_CLI_PATH));
            arguments.prepend(QString::number(first));
            arguments.prepend(QStringLiteral("-c"));
            process.start(QStringLiteral("taskset"), arguments);
        } else {
            process.start(QStringLiteral(MORVEL_CLI_PATH), arguments);
        }
        if (!process.waitForStarted()) {
            return -1;
        }
        // Every worker is started before the first tick: its line follows the record's first.
        for (QDeadlineTimer deadline(60000); Lines(record).size() < 2;) {
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning) {
                return -4;
            }
            QTest::qWait(20);
        }
        const int threads = Threads(process.processId());
        if (!SignalChild(process, SIGTERM)) {
            return -3;
        }
        process.waitForFinished(10000);
        if (process.readAllStandardError().contains("cannot keep the machine")) {
            return -5;
        }
        return process.exitCode() == 128 + SIGTERM ? threads : -2;
    };
    const int one = threadsOf(QStringLiteral("1"));
    const int many = threadsOf(workers);
    QVERIFY2(one > 1 && many > 1, qPrintable(QStringLiteral("%1 %2").arg(one).arg(many)));
    QCOMPARE(many - one, expected - 1);
}

void TestCliProgram::stopSignalEndsTheProgramAtOnce_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("json");        // with --json and --prometheus
    QTest::addColumn<QString>("workload"); // none: the default
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << false << QString();
    QTest::newRow("SIGTERM, JSON and metrics") << int(SIGTERM) << 143 << true << QString();
    QTest::newRow("SIGHUP, JSON and metrics") << int(SIGHUP) << 129 << true << QString();
    QTest::newRow("SIGQUIT") << int(SIGQUIT) << 131 << false << QString();
    // The process ends while the workers are inside the library's multiplication.
    QTest::newRow("SIGTERM, matrix") << int(SIGTERM) << 143 << false << QStringLiteral("matrix");
}

// A stop signal during the first minute: the program ends at once and says on standard error
// what it interrupted after how long; the JSON result, the record's last line and the metrics
// say it too, so that no earlier result passes for this one.
void TestCliProgram::stopSignalEndsTheProgramAtOnce() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(bool, json);
    QFETCH(QString, workload);
    QTemporaryDir dir;
    const QString record = dir.filePath("run.jsonl");
    const QString metrics = dir.filePath("morvel.prom");
    {
        // An earlier run's metrics, to be replaced.
        QFile earlier(metrics);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("morvel_completed{test=\"stress\"} 1\n");
    }
    QStringList arguments{"--workers", "2", "--record", record, "stress", "20"};
    if (!workload.isEmpty()) {
        arguments.prepend(workload);
        arguments.prepend(QStringLiteral("--workload"));
    }
    if (json) {
        arguments << "--json"
                  << "--prometheus" << metrics;
    }
    QProcess process;
    process.start(QStringLiteral(MORVEL_CLI_PATH), arguments);
    QVERIFY(process.waitForStarted());
    // The first tick is in the record: the run is under way.
    QTRY_VERIFY_WITH_TIMEOUT(Lines(record).size() >= 2, 20000);
    QCOMPARE(process.state(), QProcess::Running);
    QVERIFY(SignalChild(process, signal));
    // The run has twenty minutes to go: ending within seconds, even on a loaded machine under a
    // sanitizer, is the prompt stop.
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);

    // A machine without logind says so first; then the interruption (notes of a busy machine,
    // such as a starved worker, may follow it).
    QByteArray error = process.readAllStandardError();
    if (error.startsWith(NoInhibitor)) {
        error = error.mid(error.indexOf('\n') + 1);
    }
    static const QRegularExpression said(QStringLiteral(
        R"re(^morvel-cli: stress test "20min" interrupted after (\d+)s by (SIG[A-Z]+)\n)re"));
    const QRegularExpressionMatch match = said.match(QString::fromUtf8(error));
    QVERIFY2(match.hasMatch(), error.constData());
    QCOMPARE(match.captured(2), SignalName(signal));

    const QJsonObject last = QJsonDocument::fromJson(Lines(record).last()).object();
    QCOMPARE(last["completed"].toBool(true), false);
    QCOMPARE(last["interrupted"]["signal"].toString(), SignalName(signal));
    QCOMPARE(int(last["interrupted"]["afterSeconds"].toDouble()), match.captured(1).toInt());
    const QByteArray out = process.readAllStandardOutput();
    if (!json) {
        QVERIFY(out.isEmpty());
        return;
    }
    QCOMPARE(out.count('\n'), 1);
    QCOMPARE(QJsonDocument::fromJson(out).object(), last);
    QFile file(metrics);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("\nmorvel_completed{test=\"stress\"} 0\n") &&
                 text.contains("\nmorvel_interrupted{test=\"stress\"} 1\n") &&
                 text.contains("\nmorvel_end_time_seconds{"),
             text.constData());
}

// Started with SIGHUP ignored (nohup), the program leaves it so: a hang-up does not stop the
// run, SIGTERM still does.
void TestCliProgram::ignoredStopSignalStaysIgnored() {
    QTemporaryDir state; // a run lock of its own
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", state.path());
    process.setProcessEnvironment(environment);
    process.start("bash",
                  {"-c", "trap '' HUP && exec \"$0\" stress 20", QStringLiteral(MORVEL_CLI_PATH)});
    QVERIFY(process.waitForStarted());
    // Until a thread of the program blocks the signals it waits for, and only those.
    qulonglong blocked = 0;
    const auto waitedFor = [&] {
        if (ProgramOf(process.processId()) != "morvel-cli") {
            return false;
        }
        for (const qulonglong mask : SignalMasks(process.processId(), "SigBlk")) {
            if (InMask(mask, SIGTERM) && !InMask(mask, SIGUSR1)) {
                blocked = mask;
                return true;
            }
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(waitedFor(), 20000);
    QVERIFY(InSignalSet(process.processId(), "SigIgn", SIGHUP));
    QVERIFY(!InMask(blocked, SIGHUP));
    QVERIFY(SignalChild(process, SIGHUP));
    QVERIFY(SignalChild(process, SIGTERM));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + SIGTERM);
}

// A system that refuses the fifteen threads: an error message and status 3, not an abort. Run as
// an unprivileged user whose process limit leaves no room for them.
void TestCliProgram::refusedThreadsExitWithStatus3() {
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) {
        QSKIP("needs root and setpriv to run the program as another user with a process limit");
    }
    QTemporaryDir dir;
    const QString program = dir.path() + QStringLiteral("/morvel-cli");
    QVERIFY(QFile::copy(QStringLiteral(MORVEL_CLI_PATH), program));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
    QProcess process;
    // The leak check of a sanitizer build needs a thread of its own at exit; the limit has no room.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    // The other user's run lock goes in its own folder of the temporary one.
    environment.remove("XDG_RUNTIME_DIR");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("setpriv"),
                  {"--reuid=65534", "--regid=65534", "--clear-groups", "bash", "-c",
                   "ulimit -u 8 && exec \"$0\" --quiet benchmark", program});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 3);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.startsWith("morvel-cli: cannot run the test: Resource temporarily unavailable"),
             error.constData());
}

void TestCliProgram::failedOutputExitsWithStatus4_data() {
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("full disk") << ">/dev/full" << QByteArray("No space left on device");
    QTest::newRow("closed standard output") << ">&-" << QByteArray("Bad file descriptor");
    QTest::newRow("pipe closed by its reader") << "|" << QByteArray("Broken pipe");
}

// Output nobody received is not a success: the same path prints every result.
void TestCliProgram::failedOutputExitsWithStatus4() {
    QFETCH(QString, redirection);
    QFETCH(QByteArray, reason);
    QProcess process;
    // A reader that is gone by the time the program writes.
    const QString command = redirection == "|"
                                ? "{ sleep 0.5; \"$0\" --help; } | true; exit ${PIPESTATUS[0]}"
                                : "\"$0\" --help " + redirection;
    process.start(QStringLiteral("bash"), {"-c", command, QStringLiteral(MORVEL_CLI_PATH)});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 4);
    QCOMPARE(process.readAllStandardError(), "morvel-cli: write error: " + reason + "\n");
}

void TestCliProgram::anotherRunExitsWithStatus5_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("json"); // what standard output has beside the holder, or none
    QTest::newRow("benchmark") << QStringList{"--workers", "2", "benchmark"} << QByteArray();
    QTest::newRow("benchmark, JSON")
        << QStringList{"--json", "--workers", "2", "benchmark"}
        << QByteArray(R"({"completed":false,"duration":null,"durationSeconds":180,)"
                      R"("refused":"%1","schema":2,"test":"benchmark","workers":2})");
    QTest::newRow("open-ended stress test, JSON")
        << QStringList{"--json", "stress", "forever"}
        << QByteArray(R"({"completed":false,"duration":null,"durationSeconds":null,)"
                      R"("refused":"%1","schema":2,"test":"stress","workers":15})");
    QTest::newRow("cycle, JSON") << QStringList{"--json", "cycle", "--per-cpu", "1"}
                                 << QByteArray(R"({"completed":false,"refused":"%1","schema":2,)"
                                               R"("test":"cycle"})");
}

// A run in another process holds the run lock: nothing starts, the holder is named; with --json
// one object on standard output says so.
void TestCliProgram::anotherRunExitsWithStatus5() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, json);
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    TRunLock lock;
    lock.Acquire();
    const Finished run = RunProgram(arguments);
    QCOMPARE(run.exitCode, 5);
    const QByteArray refused = QStringLiteral("Another test is running (process %1).")
                                   .arg(QCoreApplication::applicationPid())
                                   .toUtf8();
    QCOMPARE(run.err, "morvel-cli: " + refused + '\n');
    QCOMPARE(run.out, json.isEmpty() ? QByteArray() : json.replace("%1", refused) + '\n');
}

void TestCliProgram::outputFileThatCannotBeOpenedExitsWithStatus2_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("file");  // in a fresh temporary folder
    QTest::addColumn<QString>("scene"); // what stands there first
    QTest::newRow("record in a missing folder") << "--record"
                                                << "missing/run.jsonl"
                                                << "";
    QTest::newRow("record is a folder") << "--record"
                                        << "."
                                        << "";
    // Opened without waiting for a reader that may never come.
    QTest::newRow("record is a FIFO without a reader") << "--record"
                                                       << "fifo"
                                                       << "fifo";
    QTest::newRow("metrics in a missing folder") << "--prometheus"
                                                 << "missing/morvel.prom"
                                                 << "";
    QTest::newRow("metrics file is a folder") << "--prometheus"
                                              << "."
                                              << "";
    // The same operation as at the end: its temporary file made and removed.
    QTest::newRow("metrics name too long for the temporary file")
        << "--prometheus" << QString(250, QLatin1Char('m')) << "";
    QTest::newRow("metrics file of another user's in a sticky folder") << "--prometheus"
                                                                       << "morvel.prom"
                                                                       << "foreign";
}

// Checked before the run starts, not after a four-hour stress test.
void TestCliProgram::outputFileThatCannotBeOpenedExitsWithStatus2() {
    QFETCH(QString, option);
    QFETCH(QString, file);
    QFETCH(QString, scene);
    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    if (scene == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (scene == "foreign") {
        if (geteuid() != 0) {
            QSKIP("needs root to make another user's file");
        }
        QFile theirs(path);
        QVERIFY(theirs.open(QIODevice::WriteOnly));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
    }
    const Finished run = RunProgram({option, path, "stress", "240"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    // The message names the file or its folder.
    QVERIFY2(run.err.startsWith("morvel-cli: " + QFile::encodeName(dir.path())),
             run.err.constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             scene.isEmpty() ? QStringList() : QStringList{file});
}

// A name given in bytes that are not UTF-8 is refused, never written under another name.
void TestCliProgram::nameNotUtf8IsRefused() {
    QTemporaryDir dir;
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral("bash"),
                  {"-c", R"("$0" --record $'caf\xe9.jsonl' --workers 1 stress 1)",
                   QStringLiteral(MORVEL_CLI_PATH)});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().startsWith("morvel-cli: not a UTF-8 name"));
    QVERIFY(QDir(dir.path()).isEmpty());
}

// The run lock's folders are all unusable: a problem of the lock, not of the workers (3).
void TestCliProgram::unusableLockExitsWithStatus6() {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("state"));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // where the state folder goes
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("tmp/morvel-%1").arg(geteuid()))));
    QCOMPARE(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("tmp/morvel-%1").arg(geteuid())))
                         .constData(),
                     0777),
             0);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", dir.filePath("tmp"));
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORVEL_CLI_PATH), {"--json", "--workers", "1", "benchmark"});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 6);
    QVERIFY(process.readAllStandardError().contains("No folder for the run lock"));
    QVERIFY(process.readAllStandardOutput().contains(R"("completed":false)"));
}

// Metrics that cannot be written at the end (their folder gone during the run) are not lost:
// they follow the reason on standard error.
void TestCliProgram::metricsThatCannotBeWrittenGoToStandardError() {
    QTemporaryDir dir;
    const QString record = dir.filePath("run.jsonl");
    QVERIFY(QDir().mkpath(dir.filePath("metrics")));
    QProcess process;
    process.start(QStringLiteral(MORVEL_CLI_PATH),
                  {"--quiet", "--workers", "1", "--record", record, "--prometheus",
                   dir.filePath("metrics/morvel.prom"), "stress", "20"});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(Lines(record).size() >= 2, 20000);
    QVERIFY(QDir(dir.filePath("metrics")).removeRecursively());
    QVERIFY(SignalChild(process, SIGINT));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 4);
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.contains("; the metrics follow on standard error\n"), error.constData());
    QVERIFY2(error.contains("morvel_interrupted{test=\"stress\"} 1"), error.constData());
}

// A run killed with SIGKILL once three ticks are in its record: the record holds the run's first
// line and every tick, each line a whole JSON object.
void TestCliProgram::recordOfAKilledRunKeepsEveryTick() {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.jsonl");
    QProcess process;
    process.start(QStringLiteral(MORVEL_CLI_PATH),
                  {"--quiet", "--workers", "1", "--record", path, "stress", "20"});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(Lines(path).size() >= 1 + 3, 30000);
    QCOMPARE(process.state(), QProcess::Running);
    QVERIFY(SignalChild(process, SIGKILL));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.endsWith('\n'));
    QList<QByteArray> lines = text.chopped(1).split('\n');
    const QJsonObject header = QJsonDocument::fromJson(lines.takeFirst()).object();
    QVERIFY(!header["system"]["kernel"].toString().isEmpty());
    QCOMPARE(header["test"].toString(), "stress");
    QVERIFY2(lines.size() >= 3, qPrintable(QString::number(lines.size())));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError error{};
        const QJsonObject tick = QJsonDocument::fromJson(lines[i], &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(tick["tick"].toInt(), int(i + 1));
    }
}

QTEST_GUILESS_MAIN(TestCliProgram)
#include "tst_cliprogram.moc"
