// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// morvel-cli's own part, in process: its command line and its wait loop around the run engine
// with real workers (the ThreadSanitizer run includes this test).
#include "Processors.h"
#include "ResultLines.h"
#include "SThreadUnit.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TOutputFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <sched.h>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A Waiter that sleeps to the deadline and never reports a signal.
int SleepUntil(TCliRun::Clock::time_point deadline) {
    std::this_thread::sleep_until(deadline);
    return 0;
}

TCliRun::TSettings ShortRun(TTestKind test, int workers = TRunEngine::WorkerCount) {
    TCliRun::TSettings settings;
    settings.Test = test;
    settings.DurationIndex = 0;
    settings.Workers = workers;
    settings.TickLength = 2ms;
    settings.Format = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    return settings;
}

QJsonObject JsonObject(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    return error.error == QJsonParseError::NoError && document.isObject() ? document.object()
                                                                          : QJsonObject();
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void validArguments_data();
    void validArguments();
    void badArguments_data();
    void badArguments();
    void usableProcessorsFollowTheAffinityMask();
    void completedRun_data();
    void completedRun();
    void computationErrorEndsTheRun();
    void signalFromTheWaiterEndsTheRun();
    void liveRecord_data();
    void liveRecord();
};

void TestCli::validArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("parsed"); // test | duration | workers | options
    QTest::newRow("benchmark") << QStringList{"benchmark"} << "benchmark |  | 15 | ";
    QTest::newRow("stress in minutes") << QStringList{"stress", "20"} << "stress | 20min | 15 | ";
    QTest::newRow("stress by its text")
        << QStringList{"stress", "60min (1hrs)"} << "stress | 60min (1hrs) | 15 | ";
    QTest::newRow("longest, options first") << QStringList{"--quiet", "--json", "stress", "240"}
                                            << "stress | 240min (4hrs) | 15 | quiet json";
    QTest::newRow("options last") << QStringList{"stress", "200min", "--json"}
                                  << "stress | 200min | 15 | json";
    QTest::newRow("workers N") << QStringList{"--workers", "4", "benchmark"}
                               << "benchmark |  | 4 | ";
    QTest::newRow("workers=N, the most")
        << QStringList{"benchmark", "--workers=1024"} << "benchmark |  | 1024 | ";
    QTest::newRow("workers all: the usable processors")
        << QStringList{"stress", "40", "--workers", "all"} << "stress | 40min | 6 | ";
    QTest::newRow("record and metrics files")
        << QStringList{"--record", "run.jsonl", "--prometheus=/m/a=b.prom", "benchmark"}
        << "benchmark |  | 15 | record=run.jsonl prometheus=/m/a=b.prom";
    QTest::newRow("record=, with --json")
        << QStringList{"stress", "20", "--record=--json", "--json"}
        << "stress | 20min | 15 | json record=--json";
}

void TestCli::validArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, parsed);
    const TCliArguments a = TCliArguments::Parse(arguments, 6);
    QCOMPARE(a.Action, TCliArguments::TAction::Run);
    QStringList flags;
    if (a.Quiet) {
        flags << "quiet";
    }
    if (a.Json) {
        flags << "json";
    }
    if (!a.RecordPath.isEmpty()) {
        flags << "record=" + a.RecordPath;
    }
    if (!a.PrometheusPath.isEmpty()) {
        flags << "prometheus=" + a.PrometheusPath;
    }
    const QString options = flags.join(' ');
    const QString duration =
        a.Test == TTestKind::Stress
            ? TRunEngine::Durations()[static_cast<std::size_t>(a.DurationIndex)].Text
            : QString();
    QCOMPARE(QStringList({a.Test == TTestKind::Stress ? "stress" : "benchmark", duration,
                          QString::number(a.Workers), options})
                 .join(" | "),
             parsed);
}

void TestCli::badArguments_data() {
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
    QTest::newRow("workers 0") << QStringList{"--workers", "0", "benchmark"};
    QTest::newRow("workers past the most") << QStringList{"--workers=1025", "benchmark"};
    QTest::newRow("workers with a leading zero") << QStringList{"--workers=08", "benchmark"};
    QTest::newRow("workers not a number") << QStringList{"--workers", "many", "benchmark"};
    QTest::newRow("workers huge") << QStringList{"--workers", "4294967311", "benchmark"};
    QTest::newRow("workers without a value") << QStringList{"benchmark", "--workers"};
    QTest::newRow("record without a file") << QStringList{"benchmark", "--record"};
    QTest::newRow("record= empty") << QStringList{"--record=", "benchmark"};
    QTest::newRow("prometheus without a file") << QStringList{"benchmark", "--prometheus"};
}

void TestCli::badArguments() {
    QFETCH(QStringList, arguments);
    const TCliArguments parsed = TCliArguments::Parse(arguments, 6);
    QCOMPARE(parsed.Action, TCliArguments::TAction::Error);
    QVERIFY(!parsed.Error.isEmpty());
}

// `--workers all` is what the process may run on, not what the machine has.
void TestCli::usableProcessorsFollowTheAffinityMask() {
    cpu_set_t all;
    QCOMPARE(sched_getaffinity(0, sizeof all, &all), 0);
    QCOMPARE(UsableProcessors(), CPU_COUNT(&all));
    int first = 0;
    while (!CPU_ISSET(first, &all)) {
        ++first;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    QCOMPARE(sched_setaffinity(0, sizeof one, &one), 0);
    const int underOne = UsableProcessors();
    QCOMPARE(sched_setaffinity(0, sizeof all, &all), 0);
    QCOMPARE(underOne, 1);
}

void TestCli::completedRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("workers");
    QTest::newRow("benchmark") << false << 15;
    QTest::newRow("stress") << true << 15;
    QTest::newRow("benchmark, 3 workers") << false << 3;
}

// A whole run on real workers with short ticks: one progress line per tick, and the record's
// two printed forms.
void TestCli::completedRun() {
    QFETCH(bool, stress);
    QFETCH(int, workers);
    const auto settings = ShortRun(stress ? TTestKind::Stress : TTestKind::Benchmark, workers);
    const int ticks = stress ? 1200 : 180;
    const auto begun = QDateTime::currentDateTime();
    std::ostringstream progress;
    const TRunRecord record = TCliRun::Run(settings, &SleepUntil, &progress);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Completed);
    QCOMPARE(record.TicksRun, ticks);

    const QStringList lines =
        QString::fromStdString(progress.str()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), ticks);
    for (const int tick : {1, 2, ticks / 2, ticks}) {
        const QString& line = lines[tick - 1];
        QVERIFY2(line.startsWith(QStringLiteral("tick %1/%2  %3%  slowest ")
                                     .arg(tick)
                                     .arg(ticks)
                                     .arg(tick * 100 / ticks)),
                 qPrintable(line));
        // The frequency and temperature are shown when this machine has them.
        static const QRegularExpression rest(QStringLiteral(
            R"(^tick \d+/\d+  \d+%  slowest \d+ div/s  fastest \d+ div/s(  \d+ MHz)?(  -?\d+ C)?$)"));
        const QRegularExpressionMatch match = rest.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.hasCaptured(1), record.LastSensors.MeanMHz.has_value());
        QCOMPARE(match.hasCaptured(2), record.LastSensors.TemperatureC.has_value());
    }
    QCOMPARE(record.EndText, DateTimeText(record.End, settings.Format));

    QByteArray expected = stress ? StressResultLine(record.EndText, "20min")
                                 : BenchmarkResultLine(record.EndText, record.Score);
    if (workers != 15) {
        expected += " (" + QByteArray::number(workers) + " workers)";
    }
    QCOMPARE(record.ResultLine(), expected);

    QJsonParseError error{};
    const QByteArray text = record.ToJson();
    const QJsonObject json = QJsonDocument::fromJson(text, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!text.contains('\n'));
    QCOMPARE(json["test"].toString(), stress ? "stress" : "benchmark");
    QCOMPARE(json["duration"].toString(), stress ? "20min" : "");
    QCOMPARE(json["duration"].isNull(), !stress);
    QCOMPARE(json["workers"].toInt(), workers);
    QCOMPARE(json["ticks"].toInt(), ticks);
    QCOMPARE(json["ticksRun"].toInt(), ticks);
    QCOMPARE(json["completed"].toBool(false), true);
    QCOMPARE(json.contains("score"), !stress);
    if (!stress) {
        QVERIFY(record.Score > 0);
        QCOMPARE(json["score"].toInteger(-1), record.Score);
    }
    const QJsonArray divisions = json["divisions"].toArray();
    QCOMPARE(divisions.size(), workers);
    for (int i = 0; i < workers; ++i) {
        QCOMPARE(divisions[i].toInteger(), record.Divisions[static_cast<std::size_t>(i)]);
    }
    QCOMPARE(json["slowestToFastest"].toDouble(), record.SlowestToFastest());
    const auto start = QDateTime::fromString(json["start"].toString(), Qt::ISODate);
    const auto end = QDateTime::fromString(json["end"].toString(), Qt::ISODate);
    QVERIFY(start.isValid() && end.isValid());
    QVERIFY(start.toSecsSinceEpoch() >= begun.toSecsSinceEpoch());
    QVERIFY(start <= end);
    QCOMPARE(end.toSecsSinceEpoch(), record.End.toSecsSinceEpoch());
    const QJsonObject verification = json["verification"].toObject();
    QCOMPARE(verification["passed"].toBool(false), true);
    QVERIFY(verification["failedWorker"].isNull());
    QCOMPARE(json["resultLine"].toString().toUtf8(), expected);

    // This machine and this build, as the system record reads them; the sensors at every tick.
    QCOMPARE(json["system"].toObject(), TSystemRecord::Read().ToJson());
    QCOMPARE(json["system"]["usableProcessors"].toInt(), UsableProcessors());
    const QJsonObject sensors = json["sensors"].toObject();
    QCOMPARE(sensors["readings"].toInt(), ticks);
    TSensors machine;
    QCOMPARE(sensors["frequencySource"].toString(), machine.FrequencySource());
    QCOMPARE(sensors["frequencyMinMHz"].isNull(), machine.FrequencySource().isEmpty());
    QVERIFY(sensors["frequencyMinMHz"].toDouble() <= sensors["frequencyMeanMHz"].toDouble());
    QVERIFY(sensors["frequencyMeanMHz"].toDouble() <= sensors["frequencyMaxMHz"].toDouble());
    QCOMPARE(sensors["temperatureMaxC"].isNull(), machine.TemperatureSource().isEmpty());
}

// One real worker starts below the prime, as if a wrong remainder had thrown it off its path.
void TestCli::computationErrorEndsTheRun() {
    constexpr int Slot = 14;
    auto settings = ShortRun(TTestKind::Stress);
    settings.DurationIndex = 11;
    settings.WorkerFactory = [](int slot) {
        return SThread::Start(slot == Slot ? TVerifier::KnownPrime - 2 : SThread::StartCandidate);
    };
    const TRunRecord record = TCliRun::Run(settings, &SleepUntil, nullptr);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Failed);
    QCOMPARE(record.FailedWorker.value_or(-1), Slot);
    QVERIFY(record.TicksRun < record.Ticks);
    const QByteArray expected = StressFailedLine(record.EndText, "240min (4hrs)", Slot);
    QCOMPARE(record.ResultLine(), expected);
    const QJsonObject json = QJsonDocument::fromJson(record.ToJson()).object();
    QCOMPARE(json["completed"].toBool(true), false);
    QCOMPARE(json["verification"].toObject()["failedWorker"].toInt(-1), Slot);
    QCOMPARE(json["resultLine"].toString().toUtf8(), expected);
}

void TestCli::signalFromTheWaiterEndsTheRun() {
    int waits = 0;
    const auto waiter = [&waits](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return ++waits == 3 ? SIGTERM : 0;
    };
    const TRunRecord record = TCliRun::Run(ShortRun(TTestKind::Stress), waiter, nullptr);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Interrupted);
    QCOMPARE(record.Signal, SIGTERM);
    QCOMPARE(record.TicksRun, 2);
}

void TestCli::liveRecord_data() {
    QTest::addColumn<QString>("ending");
    QTest::newRow("completed") << "completed";
    QTest::newRow("failed") << "failed";
    QTest::newRow("stopped by a signal") << "signal";
}

// The live record of a run, appended to a file that already has a line: the run's first line
// with the system record, one line per tick, the result of a run that ended on its own.
void TestCli::liveRecord() {
    QFETCH(QString, ending);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.jsonl");
    const QByteArray earlier = R"({"an":"earlier run"})";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlier + '\n');
    }
    auto settings = ShortRun(TTestKind::Benchmark, 3);
    constexpr int Slot = 1;
    if (ending == "failed") {
        settings.WorkerFactory = [](int slot) {
            return SThread::Start(slot == Slot ? TVerifier::KnownPrime - 2
                                               : SThread::StartCandidate);
        };
    }
    int waits = 0;
    const auto waiter = [&](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return ending == "signal" && ++waits == 6 ? SIGINT : 0;
    };
    TRecordFile file;
    QVERIFY(file.Open(path));
    const TRunRecord record = TCliRun::Run(settings, waiter, nullptr, &file);
    QVERIFY(!file.IsOpen());
    QVERIFY2(file.Error().isEmpty(), qPrintable(file.Error()));

    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QVERIFY(text.endsWith('\n'));
    QList<QByteArray> lines = text.chopped(1).split('\n');
    QCOMPARE(lines.takeFirst(), earlier);
    const QJsonObject header = JsonObject(lines.takeFirst());
    QCOMPARE(header["system"].toObject(), TSystemRecord::Read().ToJson());
    QCOMPARE(header["test"].toString(), "benchmark");
    QCOMPARE(header["workers"].toInt(), 3);
    QCOMPARE(header["start"].toString(), JsonObject(record.ToJson())["start"].toString());

    const bool result = ending != "signal";
    QCOMPARE(lines.size(), record.TicksRun + (result ? 1 : 0));
    double seconds = 0;
    for (int tick = 1; tick <= record.TicksRun; ++tick) {
        const QJsonObject line = JsonObject(lines[tick - 1]);
        QCOMPARE(line["tick"].toInt(), tick);
        QVERIFY(line["seconds"].toDouble() >= seconds);
        seconds = line["seconds"].toDouble();
        QCOMPARE(line["divisions"].toArray().size(), 3);
        QVERIFY(line["slowestRate"].toInteger() <= line["fastestRate"].toInteger());
        QCOMPARE(line["frequencyMHz"].isNull(), !record.LastSensors.MeanMHz);
        QCOMPARE(line["temperatureC"].isNull(), !record.LastSensors.TemperatureC);
    }
    QVERIFY(seconds > 0);
    const QJsonObject last = JsonObject(lines[record.TicksRun - 1]);
    for (qsizetype i = 0; i < 3; ++i) {
        QCOMPARE(last["divisions"][i].toInteger(), record.Divisions[std::size_t(i)]);
    }
    if (result) {
        QCOMPARE(lines.last(), record.ToJson());
    }
    if (ending == "failed") {
        QCOMPARE(record.FailedWorker.value_or(-1), Slot);
        QVERIFY(record.TicksRun < 180);
    } else {
        QCOMPARE(record.TicksRun, ending == "completed" ? 180 : 5);
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
