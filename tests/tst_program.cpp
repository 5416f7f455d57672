// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The real program `morvel` as a child process on the offscreen platform: what a stop signal,
// a failed save, a file-size limit or a second window do to the report log; and without a
// display, what it prints and how it ends.
#include "ChildSignal.h"
#include "TPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

const QByteArray Journal = "test=stress\nduration=40min\nstart=2026-12-08T10:00:00\nticks=700\n"
                           "updated=2026-12-08T10:11:40\n";
const QByteArray Interrupted = "Stress Test (w/ multi-thread process) : 40min test INTERRUPTED "
                               "after 11 min.";

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void stopSignalNeverLosesALine_data();
    void stopSignalNeverLosesALine();
    void secondWindowTouchesNothing();
    void ignoredStopSignalStaysIgnored();
    void withoutDisplay_data();
    void withoutDisplay();

private:
    // Starts the program in `home`'s private folders, with `limit` KiB of file size, after
    // `shell` commands.
    void Start(QProcess& program, const QTemporaryDir& home, const QString& limit = "unlimited",
               const QString& shell = "true") {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_STATE_HOME", home.filePath("state"));
        environment.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        environment.insert("TMPDIR", home.filePath("tmp"));
        QDir().mkpath(home.filePath("tmp"));
        // The session's runtime folder, as the system makes it: the program never does.
        QDir().mkdir(home.filePath("runtime"));
        QFile::setPermissions(home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        program.setProcessEnvironment(environment);
        program.start("bash", {"-c", shell + " && ulimit -f " + limit + " && exec \"$0\"",
                               QStringLiteral(MORVEL_PATH)});
        QVERIFY(program.waitForStarted());
    }
    // The run journal of the report file in `home`.
    static QString JournalOf(const QTemporaryDir& home) {
        return home.filePath("state/morvel/run-") +
               TPaths::IdentityKey(home.filePath("data/morvel/MorvelReport.dat")) + ".journal";
    }
    // Waits until the program's standard error holds `text`.
    static bool WaitForError(QProcess& program, QByteArray& error, const QByteArray& text) {
        for (int i = 0; i < 300 && !error.contains(text); ++i) {
            program.waitForReadyRead(100);
            error += program.readAllStandardError();
        }
        return error.contains(text);
    }
};

void TestProgram::stopSignalNeverLosesALine_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("linesIn"); // report, copy, stderr
    QTest::newRow("SIGTERM: saved") << "fine" << int(SIGTERM) << 0 << "report";
    QTest::newRow("SIGINT: saved") << "fine" << int(SIGINT) << 0 << "report";
    QTest::newRow("SIGHUP: saved") << "fine" << int(SIGHUP) << 0 << "report";
    QTest::newRow("SIGQUIT: saved") << "fine" << int(SIGQUIT) << 0 << "report";
    // The save at start-up fails and its box is open when the signal comes.
    QTest::newRow("a file where the report folder should be, box open")
        << "file as folder" << int(SIGTERM) << 1 << "copy";
    QTest::newRow("a link to a device, box open") << "device link" << int(SIGHUP) << 1 << "copy";
    // The save the signal asks for fails.
    QTest::newRow("folder gone when the signal comes")
        << "folder gone" << int(SIGINT) << 1 << "copy";
    // The disk refuses every write, the emergency copies too: the lines go to standard error.
    QTest::newRow("file-size limit") << "size limit" << int(SIGTERM) << 1 << "stderr";
}

// A run cut short left its journal: the program adds its line and saves at start-up; then the
// signal comes. The program ends (never ignores the signal) and the line is kept somewhere named.
void TestProgram::stopSignalNeverLosesALine() {
    QFETCH(QString, kind);
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QString, linesIn);
    QTemporaryDir home;
    const QString report = home.filePath("data/morvel/MorvelReport.dat");
    const QByteArray earlier =
        QByteArray("earlier line\r\n").repeated(kind == "size limit" ? 80 : 1);
    const QString journal = JournalOf(home);
    Write(journal, Journal);
    if (kind == "file as folder") {
        Write(home.filePath("data/morvel"), "in the way");
    } else if (kind == "device link") {
        QDir().mkpath(home.filePath("data/morvel"));
        QVERIFY(QFile::link("/dev/null", report));
    } else {
        Write(report, earlier);
    }
    QProcess program;
    Start(program, home, kind == "size limit" ? "1" : "unlimited"); // 1,024 bytes
    QByteArray error;
    if (kind == "fine" || kind == "folder gone") {
        // Up, and the journal's line saved.
        for (int i = 0; i < 300 && !Read(report).contains(Interrupted); ++i) {
            QTest::qWait(100);
        }
        QVERIFY2(Read(report).contains(Interrupted), Read(report).constData());
        // The journal goes once its line is on disk: a moment after the save.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(journal), 30000);
    } else {
        // The failed save's box is up: the program is alive, not killed by SIGXFSZ.
        const QByteArray box = kind == "size limit"
                                   ? "Stream write error."
                                   : "Cannot create file " + QFile::encodeName(report) + ".";
        QVERIFY2(WaitForError(program, error, box), error.constData());
        QTest::qWait(300);
        QCOMPARE(program.state(), QProcess::Running);
    }
    if (kind == "folder gone") {
        QVERIFY(QDir(home.filePath("data/morvel")).removeRecursively());
        Write(home.filePath("data/morvel"), "in the way");
    }
    QVERIFY(SignalChild(program, signal));
    QVERIFY(program.waitForFinished(20000));
    error += program.readAllStandardError();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    if (linesIn == "report") {
        QCOMPARE(Read(report).count("\r\n"), 2);
        QVERIFY(error.isEmpty() || !error.contains("could not be saved"));
        return;
    }
    QVERIFY2(error.contains("morvel: the report log could not be saved"), error.constData());
    if (linesIn == "copy") {
        const QString copy =
            QString::fromLocal8Bit(error.mid(error.indexOf("are in ") + 7).trimmed());
        QVERIFY2(copy.startsWith(home.filePath("state/morvel/MorvelReport-unsaved-")),
                 qPrintable(copy));
        QVERIFY(Read(copy).contains(Interrupted));
    } else {
        QVERIFY(error.contains(Interrupted));
        QVERIFY(error.contains(earlier));
        QCOMPARE(Read(report), earlier); // the file as it was
    }
    if (kind == "device link") {
        QVERIFY(QFileInfo(report).isSymLink());
    }
}

// A second window on the same report file says which process has it and reads and writes
// nothing; the first goes on and saves its own lines.
void TestProgram::secondWindowTouchesNothing() {
    QTemporaryDir home;
    const QString report = home.filePath("data/morvel/MorvelReport.dat");
    Write(report, "first's line\r\n");
    QProcess first;
    Start(first, home);
    const auto locks = [&] {
        return QDir(home.filePath("data/morvel"), ".*.lock", QDir::NoSort,
                    QDir::Hidden | QDir::Files)
            .entryList()
            .size();
    };
    for (int i = 0; i < 300 && locks() == 0; ++i) {
        QTest::qWait(50); // until it holds its lock
    }
    QCOMPARE(locks(), 1);
    QProcess second;
    Start(second, home);
    QByteArray error;
    QVERIFY2(WaitForError(second, error,
                          "morvel: Morvel is already running (process " +
                              QByteArray::number(first.processId()) + ")."),
             error.constData());
    QVERIFY(SignalChild(second, SIGTERM));
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 1);
    QCOMPARE(Read(report), QByteArray("first's line\r\n"));

    QVERIFY(SignalChild(first, SIGTERM));
    QVERIFY(first.waitForFinished(20000));
    QCOMPARE(first.exitCode(), 0);
}

// Started with SIGHUP ignored (nohup), the window leaves it so, and still saves and ends on
// SIGTERM.
void TestProgram::ignoredStopSignalStaysIgnored() {
    QTemporaryDir home;
    const QString report = home.filePath("data/morvel/MorvelReport.dat");
    Write(report, "earlier line\r\n");
    QProcess program;
    Start(program, home, "unlimited", "trap '' HUP");
    // Until the window catches its stop signals.
    QTRY_VERIFY_WITH_TIMEOUT(ProgramOf(program.processId()) == "morvel" &&
                                 InSignalSet(program.processId(), "SigCgt", SIGTERM),
                             30000);
    QVERIFY(InSignalSet(program.processId(), "SigIgn", SIGHUP));
    QVERIFY(!InSignalSet(program.processId(), "SigCgt", SIGHUP));
    QVERIFY(SignalChild(program, SIGHUP));
    QVERIFY(SignalChild(program, SIGTERM));
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(Read(report), QByteArray("earlier line\r\n"));
}

void TestProgram::withoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment"); // NAME=value, over one with no display
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // patterns of the whole standard output and error
    QTest::addColumn<QString>("error");
    const QString usage = "^Usage: morvel \\[QT OPTION\\]\\.\\.\\.\n(.*\n)+$";
    const QString version = "^morvel " + QRegularExpression::escape(MORVEL_VERSION) + "\n$";
    const QString noDisplay = "^morvel: no display: [^\n]+\n$";
    QTest::newRow("--help") << QStringList{"--help"} << QStringList{} << 0 << usage << "^$";
    QTest::newRow("--version") << QStringList{"--version"} << QStringList{} << 0 << version << "^$";
    QTest::newRow("--version after Qt's options")
        << QStringList{"-platform", "xcb", "--version"} << QStringList{} << 0 << version << "^$";
    QTest::newRow("no display at all")
        << QStringList{} << QStringList{} << 1 << "^$"
        << "^morvel: no display: DISPLAY and WAYLAND_DISPLAY are not set\n$";
    QTest::newRow("DISPLAY of no X server")
        << QStringList{} << QStringList{"DISPLAY=:9999"} << 1 << "^$"
        << "^morvel: no display: [^\n]*:9999\n$";
    QTest::newRow("xcb asked for, no DISPLAY")
        << QStringList{} << QStringList{"QT_QPA_PLATFORM=xcb"} << 1 << "^$" << noDisplay;
    QTest::newRow("-platform xcb, no DISPLAY")
        << QStringList{"-platform", "xcb"} << QStringList{} << 1 << "^$" << noDisplay;
    QTest::newRow("Wayland asked for, no compositor")
        << QStringList{}
        << QStringList{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=morvel-test-no-compositor"} << 1
        << "^$" << noDisplay;
}

// --help and --version print without a display; without one the program says so in one line
// and exits with status 1, never aborts.
void TestProgram::withoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);
    QTemporaryDir home;
    QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        settings.remove(name);
    }
    settings.insert("XDG_DATA_HOME", home.filePath("data"));
    settings.insert("XDG_STATE_HOME", home.filePath("state"));
    settings.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    QDir().mkdir(home.filePath("runtime"));
    QFile::setPermissions(home.filePath("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString& setting : environment) {
        settings.insert(setting.section('=', 0, 0), setting.section('=', 1));
    }
    QProcess program;
    program.setProcessEnvironment(settings);
    program.start(QStringLiteral(MORVEL_PATH), arguments);
    QVERIFY(program.waitForFinished(60000));
    const QString printed = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString reported = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    QVERIFY2(QRegularExpression(output).match(printed).hasMatch(), qPrintable(printed));
    QVERIFY2(QRegularExpression(error).match(reported).hasMatch(), qPrintable(reported));
    QVERIFY(!QFile::exists(home.filePath("data/morvel/MorvelReport.dat")));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
