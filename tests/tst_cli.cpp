#include "ResultLines.h"
#include "TCliArguments.h"
#include "TCliRun.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr qint64 Prime = 99999999999973;

// A Waiter that sleeps to the deadline and never reports a signal.
int SleepUntil(TCliRun::Clock::time_point deadline) {
    std::this_thread::sleep_until(deadline);
    return 0;
}

TCliRun::TSettings ShortRun(TTestKind test, int ticks) {
    TCliRun::TSettings settings;
    settings.Test = test;
    settings.DurationText = test == TTestKind::Stress ? QStringLiteral("60min (1hrs)") : QString();
    settings.Ticks = ticks;
    settings.TickLength = 20ms;
    settings.Format = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    return settings;
}

struct Finished {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

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

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void validArguments_data();
    void validArguments();
    void badArgumentsExitWithUsage_data();
    void badArgumentsExitWithUsage();
    void helpAndVersion_data();
    void helpAndVersion();
    void completedRun_data();
    void completedRun();
    void computationErrorEndsTheRun_data();
    void computationErrorEndsTheRun();
    void signalFromTheWaiterEndsTheRun();
    void stopSignalEndsTheProgramAtOnce_data();
    void stopSignalEndsTheProgramAtOnce();
    void refusedThreadsExitWithStatus3();
};

void TestCli::validArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("parsed"); // test | duration | ticks | options
    QTest::newRow("benchmark") << QStringList{"benchmark"} << "benchmark |  | 180 | ";
    QTest::newRow("stress in minutes") << QStringList{"stress", "20"} << "stress | 20min | 1200 | ";
    QTest::newRow("stress by its text")
        << QStringList{"stress", "60min (1hrs)"} << "stress | 60min (1hrs) | 3600 | ";
    QTest::newRow("longest, options first") << QStringList{"--quiet", "--json", "stress", "240"}
                                            << "stress | 240min (4hrs) | 14400 | quiet json";
    QTest::newRow("options last") << QStringList{"stress", "200min", "--json"}
                                  << "stress | 200min | 12000 | json";
}

void TestCli::validArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, parsed);
    const TCliArguments a = TCliArguments::Parse(arguments);
    QCOMPARE(a.Action, TCliArguments::TAction::Run);
    const QString options = (QString(a.Quiet ? "quiet " : "") + (a.Json ? "json" : "")).trimmed();
    QCOMPARE(QStringList({a.Test == TTestKind::Stress ? "stress" : "benchmark", a.DurationText,
                          QString::number(a.Ticks()), options})
                 .join(" | "),
             parsed);
}

void TestCli::badArgumentsExitWithUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("unknown test") << QStringList{"bench"};
    QTest::newRow("duration not a step of 20") << QStringList{"stress", "25"};
    QTest::newRow("duration 0") << QStringList{"stress", "0"};
    QTest::newRow("duration past 4 hours") << QStringList{"stress", "260"};
    QTest::newRow("duration with a leading zero") << QStringList{"stress", "020"};
    QTest::newRow("text without its hours") << QStringList{"stress", "60min"};
    QTest::newRow("negative duration") << QStringList{"stress", "-20"};
    QTest::newRow("stress without duration") << QStringList{"stress"};
    QTest::newRow("benchmark with a duration") << QStringList{"benchmark", "20"};
    QTest::newRow("extra argument") << QStringList{"stress", "20", "40"};
    QTest::newRow("unknown option") << QStringList{"--fast", "benchmark"};
}

void TestCli::badArgumentsExitWithUsage() {
    QFETCH(QStringList, arguments);
    QCOMPARE(TCliArguments::Parse(arguments).Action, TCliArguments::TAction::Error);
    const Finished run = RunProgram(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.startsWith("morvel-cli: "));
    QVERIFY(run.err.contains("Usage: morvel-cli"));
}

void TestCli::helpAndVersion_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected"); // the start of standard output
    QTest::newRow("help") << QStringList{"--help"} << QByteArray("Usage: morvel-cli");
    QTest::newRow("help beats a bad test")
        << QStringList{"nonsense", "--help"} << QByteArray("Usage: morvel-cli");
    QTest::newRow("version") << QStringList{"--version"}
                             << QByteArray("morvel-cli " MORVEL_VERSION "\n");
}

void TestCli::helpAndVersion() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    const Finished run = RunProgram(arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY2(run.out.startsWith(expected), run.out.constData());
}

void TestCli::completedRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::newRow("benchmark") << false;
    QTest::newRow("stress") << true;
}

void TestCli::completedRun() {
    QFETCH(bool, stress);
    const auto settings = ShortRun(stress ? TTestKind::Stress : TTestKind::Benchmark, 4);
    const auto begun = QDateTime::currentDateTime();
    std::ostringstream progress;
    const TRunRecord record = TCliRun::Run(settings, &SleepUntil, &progress);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Completed);
    QCOMPARE(record.TicksRun, 4);

    // One progress line per tick.
    const QStringList lines =
        QString::fromStdString(progress.str()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    for (int tick = 1; tick <= 4; ++tick) {
        const QString& line = lines[tick - 1];
        QVERIFY2(
            line.startsWith(QStringLiteral("tick %1/4  %2%  slowest ").arg(tick).arg(tick * 25)),
            qPrintable(line));
        QVERIFY2(line.contains(" div/s  fastest ") && line.endsWith(" div/s"), qPrintable(line));
    }
    QCOMPARE(record.EndText, DateTimeText(record.End, settings.Format));

    // The text result line is the window's.
    const QByteArray line = record.ResultLine();
    const QByteArray expected = stress ? StressResultLine(record.EndText, settings.DurationText)
                                       : BenchmarkResultLine(record.EndText, record.Score);
    QCOMPARE(line, expected);

    // The JSON object.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(record.ToJson(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!record.ToJson().contains('\n'));
    const QJsonObject json = document.object();
    QCOMPARE(json["test"].toString(), stress ? "stress" : "benchmark");
    QCOMPARE(json["duration"].isNull(), !stress);
    QCOMPARE(json["duration"].toString(), settings.DurationText);
    QCOMPARE(json["ticks"].toInt(), 4);
    QCOMPARE(json["ticksRun"].toInt(), 4);
    QCOMPARE(json["completed"].toBool(false), true);
    QCOMPARE(json.contains("score"), !stress);
    if (!stress) {
        QVERIFY(json["score"].isDouble());
        QCOMPARE(json["score"].toInteger(-1), record.Score);
    }
    const QJsonArray divisions = json["divisions"].toArray();
    QCOMPARE(divisions.size(), 15);
    qint64 slowest = divisions[0].toInteger();
    qint64 fastest = slowest;
    for (int i = 0; i < divisions.size(); ++i) {
        QCOMPARE(divisions[i].toInteger(), record.Divisions[static_cast<std::size_t>(i)]);
        slowest = std::min(slowest, divisions[i].toInteger());
        fastest = std::max(fastest, divisions[i].toInteger());
    }
    // A worker may not have been scheduled yet on a busy machine: then there is no ratio.
    QCOMPARE(json["slowestToFastest"].toDouble(),
             fastest > 0 ? static_cast<double>(slowest) / static_cast<double>(fastest) : 0.0);
    const auto start = QDateTime::fromString(json["start"].toString(), Qt::ISODate);
    const auto end = QDateTime::fromString(json["end"].toString(), Qt::ISODate);
    QVERIFY(start.isValid() && end.isValid());
    QVERIFY(start.toSecsSinceEpoch() >= begun.toSecsSinceEpoch());
    QVERIFY(start <= end);
    QCOMPARE(end.toSecsSinceEpoch(), record.End.toSecsSinceEpoch());
    const QJsonObject verification = json["verification"].toObject();
    QCOMPARE(verification["passed"].toBool(false), true);
    QVERIFY(verification["failedWorker"].isNull());
    QCOMPARE(json["resultLine"].toString().toUtf8(), line);
}

void TestCli::computationErrorEndsTheRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("slot");
    QTest::newRow("benchmark, worker 14") << false << 14;
    QTest::newRow("stress, worker 0") << true << 0;
}

void TestCli::computationErrorEndsTheRun() {
    QFETCH(bool, stress);
    QFETCH(int, slot);
    // One worker starts below the prime, as if a wrong remainder had thrown it off its path.
    auto settings = ShortRun(stress ? TTestKind::Stress : TTestKind::Benchmark, 6000);
    settings.StartValues = TWorkerTable::AllStartCandidate();
    (*settings.StartValues)[static_cast<std::size_t>(slot)] = Prime - 2;

    const TRunRecord record = TCliRun::Run(settings, &SleepUntil, nullptr);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Failed);
    QVERIFY(record.FailedWorker.has_value());
    QCOMPARE(*record.FailedWorker, slot);
    QVERIFY(record.TicksRun < settings.Ticks);

    const QByteArray expected = stress
                                    ? StressFailedLine(record.EndText, settings.DurationText, slot)
                                    : BenchmarkFailedLine(record.EndText, slot);
    QCOMPARE(record.ResultLine(), expected);

    const QJsonObject json = QJsonDocument::fromJson(record.ToJson()).object();
    QCOMPARE(json["completed"].toBool(true), false);
    QCOMPARE(json["ticksRun"].toInt(), record.TicksRun);
    if (!stress) {
        QVERIFY(json["score"].isNull());
    }
    const QJsonObject verification = json["verification"].toObject();
    QCOMPARE(verification["passed"].toBool(true), false);
    QCOMPARE(verification["failedWorker"].toInt(-1), slot);
    QCOMPARE(json["resultLine"].toString().toUtf8(), expected);
}

void TestCli::signalFromTheWaiterEndsTheRun() {
    int waits = 0;
    const auto waiter = [&waits](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return ++waits == 3 ? SIGTERM : 0;
    };
    const TRunRecord record = TCliRun::Run(ShortRun(TTestKind::Stress, 100), waiter, nullptr);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Interrupted);
    QCOMPARE(record.Signal, SIGTERM);
    QCOMPARE(record.TicksRun, 2);
}

void TestCli::stopSignalEndsTheProgramAtOnce_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
}

void TestCli::stopSignalEndsTheProgramAtOnce() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QProcess process;
    process.start(QStringLiteral(MORVEL_CLI_PATH), {"stress", "20"});
    QVERIFY(process.waitForStarted());
    QTest::qWait(1000);
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(process.processId()), signal);
    // The run has twenty minutes to go: ending within seconds, even on a loaded machine under a
    // sanitizer, is the prompt stop.
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

// A system that refuses the fifteen threads: an error message and status 3, not an abort. Run as
// an unprivileged user whose process limit leaves no room for them.
void TestCli::refusedThreadsExitWithStatus3() {
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
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("setpriv"),
                  {"--reuid=65534", "--regid=65534", "--clear-groups", "bash", "-c",
                   "ulimit -u 8 && exec \"$0\" --quiet benchmark", program});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 3);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY2(process.readAllStandardError().startsWith("morvel-cli: cannot run the test: "),
             "no error message");
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
