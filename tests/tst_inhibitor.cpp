// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The built morvel-cli keeps the machine awake through logind: a mock logind (python3-dbusmock's
// template) on a private bus that the test starts as the system bus, stopped by its process id;
// and the runs that go on without logind, saying why once.
#include "ChildSignal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

namespace {

const QString Logind = QStringLiteral("org.freedesktop.login1");
const QString Expected = QStringLiteral("sleep|Morvel|A stress test is running|block");
const QByteArray Warning = "morvel-cli: cannot keep the machine from sleeping during the run: ";

// A python that has dbusmock: the one on the path, or the system's.
std::optional<QString> PythonWithDbusmock() {
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        QProcess probe;
        probe.start(python, {"-c", "import dbusmock"});
        if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0) {
            return python;
        }
    }
    return std::nullopt;
}

// Ends a child by its own process id and waits for it.
void Stop(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        SignalChild(process, SIGTERM);
        if (!process.waitForFinished(10000)) {
            SignalChild(process, SIGKILL);
            process.waitForFinished();
        }
    }
}

} // namespace

class TestInhibitor : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString python;
    QProcess bus;
    QString address; // the private bus, as DBUS_SYSTEM_BUS_ADDRESS names it

    // The inhibitors the mock logind holds, as "what|who|why|mode".
    QStringList Inhibitors();
    // morvel-cli with the private bus as the system bus (or `systemBus` instead).
    void StartProgram(QProcess& program, const QStringList& arguments, const QString& systemBus);

private slots:
    void initTestCase();
    void cleanupTestCase();
    void inhibitorHeldDuringTheRun();
    void runGoesOnWithoutLogind_data();
    void runGoesOnWithoutLogind();
};

void TestInhibitor::initTestCase() {
    QVERIFY(dir.isValid());
    const auto found = PythonWithDbusmock();
    if (!found || QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        QSKIP("skipped: needs python3-dbusmock and dbus-daemon (scripts/install-deps.sh)");
    }
    python = *found;
    bus.start(QStringLiteral("dbus-daemon"),
              {"--session", "--nofork", "--print-address=1",
               "--address=unix:path=" + dir.filePath(QStringLiteral("bus"))});
    QVERIFY(bus.waitForStarted());
    while (!bus.canReadLine() && bus.waitForReadyRead(30000)) {
    }
    address = QString::fromUtf8(bus.readLine().trimmed());
    QVERIFY2(!address.isEmpty(), bus.readAllStandardError().constData());
}

void TestInhibitor::cleanupTestCase() {
    QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    Stop(bus);
}

QStringList TestInhibitor::Inhibitors() {
    QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("probe"));
    const QDBusMessage reply = connection.call(QDBusMessage::createMethodCall(
        Logind, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors")));
    QStringList inhibitors;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {QStringLiteral("no answer: ") + reply.errorMessage()};
    }
    const auto list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        QString what;
        QString who;
        QString why;
        QString mode;
        uint uid = 0;
        uint pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        inhibitors << QStringList{what, who, why, mode}.join('|');
    }
    list.endArray();
    return inhibitors;
}

void TestInhibitor::StartProgram(QProcess& program, const QStringList& arguments,
                                 const QString& systemBus) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", systemBus);
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(MORVEL_CLI_PATH), arguments);
}

// While a short run is active, the mock logind lists Morvel's sleep inhibitor; once the run is
// over, the inhibitor is gone.
void TestInhibitor::inhibitorHeldDuringTheRun() {
    QProcess logind;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
    logind.setProcessEnvironment(environment);
    logind.setProcessChannelMode(QProcess::MergedChannels);
    logind.start(python, {"-m", "dbusmock", "--template", "logind"});
    QVERIFY(logind.waitForStarted());
    QDBusConnection probe = QDBusConnection::connectToBus(address, QStringLiteral("probe"));
    QVERIFY(probe.isConnected());
    QTRY_VERIFY_WITH_TIMEOUT(probe.interface()->isServiceRegistered(Logind).value() ||
                                 logind.state() != QProcess::Running,
                             30000);
    QVERIFY2(logind.state() == QProcess::Running, logind.readAll().constData());
    QCOMPARE(Inhibitors(), QStringList());

    // An open-ended run, ended by a stop signal once the inhibitor was seen: however slow the
    // machine, the run is still going when it is looked for.
    QProcess program;
    StartProgram(program, {"--quiet", "--workers", "1", "stress", "forever"}, address);
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        Inhibitors().contains(Expected) || program.state() != QProcess::Running, 60000);
    const QStringList during = Inhibitors();
    const bool running = program.state() == QProcess::Running;
    ::kill(static_cast<pid_t>(program.processId()), SIGINT);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    // No word of the inhibitor (a run stopped before its first block says that, and only that).
    const QByteArray error = program.readAllStandardError();
    QVERIFY2(!error.contains("sleeping"), error.constData());
    QVERIFY2(running, "the run ended before its inhibitor was seen");
    QCOMPARE(during, QStringList{Expected});
    // logind sees the descriptor closed: the inhibitor goes.
    QTRY_COMPARE_WITH_TIMEOUT(Inhibitors(), QStringList(), 20000);
    Stop(logind);
}

void TestInhibitor::runGoesOnWithoutLogind_data() {
    QTest::addColumn<bool>("privateBus"); // the test's bus, where no logind runs; or none at all
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no system bus") << false << QStringList{"--workers", "1", "stress", "2s"};
    QTest::newRow("no logind on the bus") << true << QStringList{"--workers", "1", "stress", "2s"};
    // Kept off standard error by --quiet, said in the JSON all the same.
    QTest::newRow("no system bus, quiet, JSON")
        << false << QStringList{"--quiet", "--json", "--workers", "1", "stress", "2s"};
    QTest::newRow("a cycle without a system bus, quiet, JSON")
        << false << QStringList{"--quiet", "--json", "cycle", "--per-cpu", "1"};
    // Two turns, two attempts: still one line.
    QTest::newRow("a cycle of two turns without logind")
        << true << QStringList{"cycle", "--rounds", "2", "--per-cpu", "1"};
}

// Without logind the run completes; standard error says once why the machine is not kept awake.
void TestInhibitor::runGoesOnWithoutLogind() {
    QFETCH(bool, privateBus);
    QFETCH(QStringList, arguments);
    QProcess program;
    StartProgram(program, arguments,
                 privateBus ? address : "unix:path=" + dir.filePath(QStringLiteral("no-such-bus")));
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    const QByteArray error = program.readAllStandardError();
    QCOMPARE(program.exitCode(), 0);
    if (arguments.contains("--quiet")) {
        QCOMPARE(error, QByteArray());
        const QByteArray json = program.readAllStandardOutput();
        QVERIFY2(json.contains("\"sleepInhibitorProblem\":\"" + Warning.mid(12)), json.constData());
        return;
    }
    // Once, first; what the result's notes say (a lone worker's check) may follow.
    QVERIFY2(error.startsWith(Warning) && error.count(Warning) == 1, error.constData());
}

QTEST_GUILESS_MAIN(TestInhibitor)
#include "tst_inhibitor.moc"
