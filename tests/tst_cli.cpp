// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// morvel-cli's own part, in process: its command line and its wait loop around the run engine
// with real workers (the ThreadSanitizer run includes this test).
#include "DurableFile.h"
#include "FileLines.h"
#include "JsonReport.h"
#include "Processors.h"
#include "ResultLines.h"
#include "ResultWriter.h"
#include "RunCommand.h"
#include "RunSummary.h"
#include "SThreadUnit.h"
#include "StopSignals.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TCycleRun.h"
#include "TFakeWorker.h"
#include "TRunEngine.h"
#include "TSelfTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <pthread.h>
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

TCliRun::TSettings ShortRun(TTestKind test, int workers = TTestPlan::WorkerCount) {
    TCliRun::TSettings settings;
    settings.Test = test;
    settings.DurationIndex = 0;
    settings.Workers = workers;
    settings.TickLength = 2ms;
    settings.Format = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    return settings;
}

// A /proc/interrupts of two processors whose second has had `thermal` thermal interrupts.
void WriteInterrupts(const QString& path, int thermal) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write("      CPU0   CPU1\nTRM:     0      " + QByteArray::number(thermal) + "\n") <
            0) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QJsonObject JsonObject(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    return error.error == QJsonParseError::NoError && document.isObject() ? document.object()
                                                                          : QJsonObject();
}

// The processors the parser is told this process may run on: six, with a gap.
const std::vector<int> Usable = {0, 1, 2, 3, 6, 7};

// A parse result in one line: the command and what it carries, or the error.
QString Describe(const TCliArguments& a) {
    using A = TCliArguments::TAction;
    switch (a.Action) {
    case A::Error:
        return "error: " + a.Error;
    case A::Help:
        return "help";
    case A::Version:
        return "version";
    case A::Run:
    case A::SelfTest:
    case A::Cycle:
        break;
    }
    QStringList parts;
    if (a.Action == A::Run && a.Test == TTestKind::Stress) {
        parts << QStringLiteral("stress [%1] %2s '%3'")
                     .arg(a.DurationIndex)
                     .arg(a.StressSeconds)
                     .arg(a.DurationText);
    } else {
        parts << (a.Action == A::Run        ? "benchmark"
                  : a.Action == A::SelfTest ? "selftest"
                                            : "cycle");
    }
    if (a.Action == A::Run) {
        parts << "workers=" + QString::number(a.Workers);
    }
    if (a.Action == A::Cycle) {
        QStringList cpus;
        for (const int cpu : a.Cpus) {
            cpus << QString::number(cpu);
        }
        parts << QStringLiteral("per-cpu=%1 rounds=%2 cpus=%3")
                     .arg(a.PerCpuSeconds)
                     .arg(a.Rounds)
                     .arg(cpus.join(','));
    }
    if (a.Quiet) {
        parts << "quiet";
    }
    if (a.Json) {
        parts << "json";
    }
    if (!a.RecordPath.isEmpty()) {
        parts << "record=" + a.RecordPath;
    }
    if (!a.PrometheusPath.isEmpty()) {
        parts << "prometheus=" + a.PrometheusPath;
    }
    if (a.Workload != Workloads::Default()) {
        parts << QStringLiteral("workload=") + TWorkload::Name(a.Workload);
    }
    if (a.Isa) {
        parts << QStringLiteral("isa=") + TFmaKernel::Name(*a.Isa);
    }
    if (a.MemoryBytes) {
        parts << "memory=" + QString::number(*a.MemoryBytes);
    }
    return parts.join(' ');
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void presetsNameTheirLength();
    void usableProcessorsFollowTheAffinityMask();
    void statusLine_data();
    void statusLine();
    void completedRun_data();
    void completedRun();
    void computationErrorEndsTheRun_data();
    void computationErrorEndsTheRun();
    void signalFromTheWaiterEndsTheRun_data();
    void signalFromTheWaiterEndsTheRun();
    void cycleNamesTheFaultyProcessor_data();
    void cycleNamesTheFaultyProcessor();
    void cycleNamesTheFaultyProcessorOfEveryWorkload_data();
    void cycleNamesTheFaultyProcessorOfEveryWorkload();
    void stoppedProcessLastsLonger();
    void signalWaitingWhileTicksCatchUp();
    void command_data();
    void command();
    void liveRecord_data();
    void liveRecord();
    void warningsInEveryOutput_data();
    void warningsInEveryOutput();
    void cycleAddsItsTurns();
};

void TestCli::parse_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("parsed"); // as Describe() writes it
    const QString generic = "': give 20 to 240 minutes in steps of 20, a length such as 90s, "
                            "45m or 1h30m, or forever";

    QTest::newRow("benchmark") << QStringList{"benchmark"} << "benchmark workers=15";
    QTest::newRow("no arguments") << QStringList{} << "error: no command given";
    QTest::newRow("unknown command") << QStringList{"bench"} << "error: unknown command 'bench'";

    // The presets, by their minutes or their text, and lengths equal to one.
    QTest::newRow("preset minutes")
        << QStringList{"stress", "20"} << "stress [0] 1200s '20min' workers=15";
    QTest::newRow("preset text") << QStringList{"stress", "60min (1hrs)"}
                                 << "stress [2] 3600s '60min (1hrs)' workers=15";
    QTest::newRow("longest preset, options first")
        << QStringList{"--quiet", "--json", "stress", "240"}
        << "stress [11] 14400s '240min (4hrs)' workers=15 quiet json";
    QTest::newRow("a preset's length in hours")
        << QStringList{"stress", "2h"} << "stress [5] 7200s '120min (2hrs)' workers=15";

    // Other lengths and how result lines name them.
    QTest::newRow("seconds under a minute")
        << QStringList{"stress", "10s"} << "stress [-1] 10s '10s' workers=15";
    QTest::newRow("seconds past a minute")
        << QStringList{"stress", "90s"} << "stress [-1] 90s '1min 30s' workers=15";
    QTest::newRow("whole minutes")
        << QStringList{"stress", "45m"} << "stress [-1] 2700s '45min' workers=15";
    QTest::newRow("hours, minutes and seconds")
        << QStringList{"stress", "1h30m15s"} << "stress [-1] 5415s '90min 15s' workers=15";
    QTest::newRow("a leading zero in a part")
        << QStringList{"stress", "1h05m"} << "stress [-1] 3900s '65min' workers=15";
    QTest::newRow("a day in hours")
        << QStringList{"stress", "24h"} << "stress [-1] 86400s '1440min (24hrs)' workers=15";
    QTest::newRow("days and seconds")
        << QStringList{"stress", "1d1s"} << "stress [-1] 86401s '1440min 1s' workers=15";
    QTest::newRow("the longest length") << QStringList{"stress", "366d"}
                                        << "stress [-1] 31622400s '527040min (8784hrs)' workers=15";
    QTest::newRow("forever") << QStringList{"stress", "forever"} << "stress [-1] 0s '' workers=15";

    // Durations that are none.
    QTest::newRow("plain number not a preset")
        << QStringList{"stress", "25"} << "error: unknown duration '25': write 25m or 25s";
    QTest::newRow("plain number past the presets")
        << QStringList{"stress", "260"} << "error: unknown duration '260': write 260m or 260s";
    QTest::newRow("preset minutes with a leading zero")
        << QStringList{"stress", "020"} << "error: unknown duration '020': write 20m or 20s";
    QTest::newRow("plain 0") << QStringList{"stress", "0"} << "error: duration '0' is no length";
    QTest::newRow("0s") << QStringList{"stress", "0s"} << "error: duration '0s' is no length";
    QTest::newRow("past 366 days")
        << QStringList{"stress", "366d1s"} << "error: duration '366d1s' is longer than 366 days";
    QTest::newRow("preset text without its hours")
        << QStringList{"stress", "60min"} << "error: unknown duration '60min" + generic;
    QTest::newRow("units out of order")
        << QStringList{"stress", "30m1h"} << "error: unknown duration '30m1h" + generic;
    QTest::newRow("too many digits")
        << QStringList{"stress", "9999999999"} << "error: unknown duration '9999999999" + generic;
    QTest::newRow("negative, after --")
        << QStringList{"stress", "--", "-20"} << "error: unknown duration '-20" + generic;
    QTest::newRow("stress without duration")
        << QStringList{"stress"} << "error: stress needs a duration";
    QTest::newRow("benchmark with a duration")
        << QStringList{"benchmark", "20"} << "error: unexpected argument '20'";

    // Options: short forms, values, and -- ending them.
    QTest::newRow("-q and -w N") << QStringList{"-q", "-w", "4", "benchmark"}
                                 << "benchmark workers=4 quiet";
    QTest::newRow("workers=N, the most")
        << QStringList{"benchmark", "--workers=1024"} << "benchmark workers=1024";
    QTest::newRow("workers all: the usable processors")
        << QStringList{"stress", "40", "--workers", "all"} << "stress [1] 2400s '40min' workers=6";
    QTest::newRow("workers 0: the usable processors")
        << QStringList{"--workers", "0", "benchmark"} << "benchmark workers=6";
    QTest::newRow("record and metrics files")
        << QStringList{"--record", "run.jsonl", "--prometheus=/m/a=b.prom", "benchmark"}
        << "benchmark workers=15 record=run.jsonl prometheus=/m/a=b.prom";
    QTest::newRow("record=, with --json")
        << QStringList{"stress", "20", "--record=--json", "--json"}
        << "stress [0] 1200s '20min' workers=15 json record=--json";
    QTest::newRow("-- before the command") << QStringList{"--json", "--", "stress", "20"}
                                           << "stress [0] 1200s '20min' workers=15 json";
    QTest::newRow("-- makes an option the command")
        << QStringList{"--", "--help"} << "error: unknown command '--help'";
    QTest::newRow("-h") << QStringList{"benchmark", "-h"} << "help";
    QTest::newRow("help beats a bad command") << QStringList{"nonsense", "--help"} << "help";
    QTest::newRow("-V") << QStringList{"benchmark", "-V"} << "version";
    QTest::newRow("unknown option")
        << QStringList{"--fast", "benchmark"} << "error: unknown option '--fast'";
    QTest::newRow("unknown short option")
        << QStringList{"benchmark", "-x"} << "error: unknown option '-x'";
    QTest::newRow("negative duration reads as options")
        << QStringList{"stress", "-20"} << "error: unknown option '-2'";
    QTest::newRow("a value to a switch")
        << QStringList{"--quiet=yes", "benchmark"} << "error: unexpected value after '--quiet'";
    QTest::newRow("workers without a value")
        << QStringList{"benchmark", "--workers"} << "error: missing value after '--workers'";
    const QString workers = "error: --workers takes 1 to 1024, 'all' or 0, not '%1'";
    for (const char* value : {"1025", "08", "00", "many", "4294967311", "-1", ""}) {
        QTest::addRow("workers '%s'", value)
            << QStringList{"--workers=" + QString(value), "benchmark"} << workers.arg(value);
    }
    QTest::newRow("record= empty")
        << QStringList{"--record=", "benchmark"} << "error: --record needs a file";
    QTest::newRow("prometheus empty")
        << QStringList{"benchmark", "--prometheus", ""} << "error: --prometheus needs a file";

    // selftest and cycle.
    QTest::newRow("selftest") << QStringList{"--quiet", "--json", "selftest"}
                              << "selftest quiet json";
    QTest::newRow("selftest with an argument")
        << QStringList{"selftest", "now"} << "error: unexpected argument 'now'";
    QTest::newRow("cycle, defaults") << QStringList{"cycle"} << "cycle per-cpu=60 rounds=1 cpus=";
    QTest::newRow("cycle, every option")
        << QStringList{"cycle", "--per-cpu", "5s", "--rounds", "3", "--cpus", "0,2-3,7", "-q"}
        << "cycle per-cpu=5 rounds=3 cpus=0,2,3,7 quiet";
    QTest::newRow("per-cpu in plain seconds")
        << QStringList{"cycle", "--per-cpu=90"} << "cycle per-cpu=90 rounds=1 cpus=";
    QTest::newRow("the most rounds")
        << QStringList{"cycle", "--rounds", "1000"} << "cycle per-cpu=60 rounds=1000 cpus=";
    QTest::newRow("cpus: a range of one")
        << QStringList{"cycle", "--cpus", "3-3"} << "cycle per-cpu=60 rounds=1 cpus=3";
    QTest::newRow("cpus out of order and twice")
        << QStringList{"cycle", "--cpus", "7,1-3,2"} << "cycle per-cpu=60 rounds=1 cpus=1,2,3,7";
    QTest::newRow("cycle with an argument")
        << QStringList{"cycle", "5"} << "error: unexpected argument '5'";
    const QString perCpu = "error: --per-cpu takes 1s to 366d as seconds or a length such as 5s "
                           "or 2m, not '%1'";
    for (const char* value : {"0", "0s", "forever", "1x", "367d", "-5"}) {
        QTest::addRow("per-cpu '%s'", value)
            << QStringList{"cycle", "--per-cpu", value} << perCpu.arg(value);
    }
    for (const char* value : {"0", "1001", "01", "two"}) {
        QTest::addRow("rounds '%s'", value)
            << QStringList{"cycle", "--rounds", value}
            << QStringLiteral("error: --rounds takes 1 to 1000, not '%1'").arg(value);
    }
    const QString notUsable =
        "error: --cpus: processor %1 is not one this process may run on (0-3,6-7)";
    QTest::newRow("cpus: a range over one not usable")
        << QStringList{"cycle", "--cpus", "2-5"} << notUsable.arg(4);
    QTest::newRow("cpus: a huge range")
        << QStringList{"cycle", "--cpus", "8-9999999"} << notUsable.arg(8);
    QTest::newRow("cpus: a range high to low")
        << QStringList{"cycle", "--cpus", "0,3-1"}
        << "error: --cpus: '3-1' is not a range from low to high";
    for (const char* value : {"", "0,,1", "a", "0-", "1-2-3", "0 1"}) {
        QTest::addRow("cpus '%s'", value)
            << QStringList{"cycle", "--cpus", value}
            << QStringLiteral("error: --cpus takes a list such as 0,2-5,7, not '%1'").arg(value);
    }

    // Options that belong to other commands.
    QTest::newRow("per-cpu with benchmark") << QStringList{"benchmark", "--per-cpu", "x"}
                                            << "error: --per-cpu does not apply to benchmark";
    QTest::newRow("cpus with stress")
        << QStringList{"stress", "20", "--cpus", "0"} << "error: --cpus does not apply to stress";
    QTest::newRow("rounds with selftest")
        << QStringList{"--rounds", "2", "selftest"} << "error: --rounds does not apply to selftest";
    QTest::newRow("-w with cycle")
        << QStringList{"cycle", "-w", "4"} << "error: --workers does not apply to cycle";

    // Workloads and their settings.
    QTest::newRow("fma, plain") << QStringList{"--workload", "fma", "--isa", "plain", "benchmark"}
                                << "benchmark workers=15 workload=fma isa=plain";
    QTest::newRow("memory, all workers' buffers")
        << QStringList{"stress", "10s", "--workload=memory", "-w", "2", "--memory", "64M"}
        << "stress [-1] 10s '10s' workers=2 workload=memory memory=67108864";
    QTest::newRow("mix in a cycle, one worker's buffer")
        << QStringList{"cycle", "--workload", "mix", "--memory", "16MiB"}
        << "cycle per-cpu=60 rounds=1 cpus= workload=mix memory=16777216";
    QTest::newRow("divide named") << QStringList{"--workload", "divide", "benchmark"}
                                  << "benchmark workers=15";
    QTest::newRow("unknown workload") << QStringList{"--workload", "float", "benchmark"}
                                      << "error: --workload takes divide, fma, memory, mix, "
                                         "compress, crypto, matrix, handoff or all, not 'float'";
    QTest::newRow("isa of the division")
        << QStringList{"--isa", "avx2", "benchmark"}
        << "error: --isa applies to the fma, mix and all workloads only";
    QTest::newRow("unknown isa") << QStringList{"--workload", "fma", "--isa", "sse", "benchmark"}
                                 << "error: --isa takes avx512, avx2 or plain, not 'sse'";
    QTest::newRow("memory of fma")
        << QStringList{"--workload", "fma", "--memory", "1G", "benchmark"}
        << "error: --memory applies to the memory, mix and all workloads only";
    QTest::newRow("memory not a size")
        << QStringList{"--workload", "memory", "--memory", "1.5G", "benchmark"}
        << "error: --memory takes a size such as 512M or 4G, not '1.5G'";
    QTest::newRow("memory too small for the workers")
        << QStringList{"--workload", "memory", "--memory", "100M", "-w", "7", "benchmark"}
        << "error: --memory 100M leaves less than 16 MiB to each of 7 workers";
    QTest::newRow("memory above what is available")
        << QStringList{"--workload", "memory", "--memory", "2G", "benchmark"}
        << "error: --memory 2G is more than the 1024 MiB this machine has available";
    QTest::newRow("workload with selftest") << QStringList{"selftest", "--workload", "fma"}
                                            << "error: --workload does not apply to selftest";
}

void TestCli::parse() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, parsed);
    const TCliArguments a = TCliArguments::Parse(arguments, Usable, {std::int64_t{1} << 30, {}});
    QCOMPARE(Describe(a), parsed);
    if (a.Action == TCliArguments::TAction::Error) {
        // One line of what is wrong, and one of where to read more.
        const QStringList lines = a.ErrorMessage().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], "morvel-cli: " + a.Error);
        QCOMPARE(lines[1], "Try 'morvel-cli --help' for more information.");
        QCOMPARE(lines[2], QString());
    }
    if (a.Test == TTestKind::Stress && a.DurationIndex >= 0) {
        const auto& preset = TTestPlan::Durations()[static_cast<std::size_t>(a.DurationIndex)];
        QCOMPARE(a.DurationText, preset.Text);
        QCOMPARE(a.StressSeconds, preset.Minutes * 60);
    }
}

// Every preset's length is named by its own text, so a run of a length given otherwise reads the
// same.
void TestCli::presetsNameTheirLength() {
    for (const TTestPlan::TDuration& preset : TTestPlan::Durations()) {
        QCOMPARE(LengthText(preset.Minutes * 60), preset.Text);
    }
    QCOMPARE(LengthText(0), "0s");
    QCOMPARE(LengthText(59), "59s");
    QCOMPARE(LengthText(61), "1min 1s");
}

// `--workers all` and `--cpus` go by what the process may run on, not what the machine has.
void TestCli::usableProcessorsFollowTheAffinityMask() {
    cpu_set_t all;
    QCOMPARE(sched_getaffinity(0, sizeof all, &all), 0);
    std::vector<int> masked;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            masked.push_back(cpu);
        }
    }
    QCOMPARE(UsableCpuList(), masked);
    // The last usable processor alone, so that a list that ignored the mask would show.
    const int last = masked.back();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(last, &one);
    QCOMPARE(sched_setaffinity(0, sizeof one, &one), 0);
    const std::vector<int> listUnderOne = UsableCpuList();
    QCOMPARE(sched_setaffinity(0, sizeof all, &all), 0);
    QCOMPARE(listUnderOne, std::vector<int>{last});
}

void TestCli::statusLine_data() {
    QTest::addColumn<int>("ticks");    // planned, 0 for open-ended
    QTest::addColumn<int>("ticksRun"); // one a second
    QTest::addColumn<double>("mhz");   // NaN: not known
    QTest::addColumn<double>("celsius");
    QTest::addColumn<QString>("expected");
    QTest::newRow("benchmark, first tick")
        << 180 << 1 << 3400.4 << 61.5
        << "elapsed 0:00:01  remaining 0:02:59  slowest 777 div/s"
           "  3400 MHz  62 C";
    const double unknown = qQNaN();
    QTest::newRow("hours, no sensors") << 14400 << 3725 << unknown << unknown
                                       << "elapsed 1:02:05  remaining 2:57:55  slowest 777 div/s";
    QTest::newRow("open-ended, frequency only")
        << 0 << 90061 << 800.0 << unknown
        << "elapsed 25:01:01  remaining open-ended  slowest 777 div/s  800 MHz";
    QTest::newRow("below freezing")
        << 60 << 60 << unknown << -3.4
        << "elapsed 0:01:00  remaining 0:00:00  slowest 777 div/s  -3 C";
}

// What the terminal's status line shows at a tick.
void TestCli::statusLine() {
    QFETCH(int, ticks);
    QFETCH(int, ticksRun);
    QFETCH(double, mhz);
    QFETCH(double, celsius);
    QFETCH(QString, expected);
    TRunRecord record;
    record.Ticks = ticks;
    record.TicksRun = ticksRun;
    record.SlowestRate = 777;
    record.FastestRate = 999;
    if (!qIsNaN(mhz)) {
        record.LastSensors.MeanMHz = mhz;
    }
    if (!qIsNaN(celsius)) {
        record.LastSensors.TemperatureC = celsius;
    }
    QCOMPARE(QString::fromStdString(TCliRun::StatusLine(record)), expected);
}

void TestCli::completedRun_data() {
    QTest::addColumn<bool>("stress");
    QTest::addColumn<int>("workers");
    QTest::newRow("benchmark") << false << 15;
    QTest::newRow("stress") << true << 15;
    QTest::newRow("benchmark, 3 workers") << false << 3;
}

// A whole run on real workers with short ticks: the status line rewritten at every tick and
// ended by a line end, and the record's two printed forms.
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

    const QString shown = QString::fromStdString(progress.str());
    QVERIFY(shown.endsWith('\n'));
    QCOMPARE(shown.count('\n'), 1);
    const QStringList lines = shown.chopped(1).split(QStringLiteral("\r\033[K"));
    QVERIFY(lines.first().isEmpty());
    QCOMPARE(lines.size(), 1 + ticks);
    // The frequency and temperature are shown when this machine has them.
    static const QRegularExpression form(QStringLiteral(
        R"(^elapsed (\d+):(\d\d):(\d\d)  remaining \d+:\d\d:\d\d  slowest \d+ div/s(  \d+ MHz)?(  -?\d+ C)?$)"));
    for (const int tick : {1, 2, ticks / 2, ticks}) {
        const QRegularExpressionMatch match = form.match(lines[tick]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[tick]));
        QCOMPARE(match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 +
                     match.captured(3).toInt(),
                 tick);
        QCOMPARE(match.hasCaptured(4), record.LastSensors.MeanMHz.has_value());
        QCOMPARE(match.hasCaptured(5), record.LastSensors.TemperatureC.has_value());
    }
    QCOMPARE(lines.last().toStdString(), TCliRun::StatusLine(record));
    QCOMPARE(record.EndText, DateTimeText(record.End, settings.Format));

    QByteArray expected = stress ? StressResultLine(record.EndText, "20min")
                                 : BenchmarkResultLine(record.EndText, record.Score);
    if (workers != 15) {
        expected += " (" + QByteArray::number(workers) + " workers)";
    }
    QCOMPARE(record.ResultLine(), expected);

    QJsonParseError error{};
    const QByteArray text = JsonReport::Result(record);
    const QJsonObject json = QJsonDocument::fromJson(text, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!text.contains('\n'));
    QCOMPARE(json["schema"].toInt(), JsonReport::SchemaVersion);
    QCOMPARE(json["test"].toString(), stress ? "stress" : "benchmark");
    QCOMPARE(json["duration"].toString(), stress ? "20min" : "");
    QCOMPARE(json["durationSeconds"].toInt(), ticks);
    QVERIFY(json.contains("interrupted") && json["interrupted"].isNull());
    QCOMPARE(json["duration"].isNull(), !stress);
    QCOMPARE(json["workers"].toInt(), workers);
    QCOMPARE(json["ticks"].toInt(), ticks);
    QCOMPARE(json["ticksRun"].toInt(), ticks);
    QCOMPARE(json["completed"].toBool(false), true);
    QCOMPARE(json.contains("score"), !stress);
    if (!stress) {
        // The score's worth is tst_clibenchmark's: 0.36 s of 15 workers on a busy machine may
        // not make a point.
        QCOMPARE(json["score"].toInteger(-1), record.Score);
    }
    const QJsonArray divisions = json["divisions"].toArray();
    QCOMPARE(divisions.size(), workers);
    for (int i = 0; i < workers; ++i) {
        QCOMPARE(divisions[i].toInteger(), record.Steps[static_cast<std::size_t>(i)]);
    }
    QCOMPARE(json["slowestToFastest"].toDouble(), record.SlowestToFastest());
    const auto start = QDateTime::fromString(json["start"].toString(), Qt::ISODate);
    const auto end = QDateTime::fromString(json["end"].toString(), Qt::ISODate);
    QVERIFY(start.isValid() && end.isValid());
    QVERIFY(start.toSecsSinceEpoch() >= begun.toSecsSinceEpoch());
    QVERIFY(start <= end);
    QCOMPARE(end.toSecsSinceEpoch(), record.End.toSecsSinceEpoch());
    const QJsonObject verification = json["verification"].toObject();
    QCOMPARE(verification["passed"], record.Check.Verified() ? QJsonValue(true) : QJsonValue());
    QVERIFY(verification["failedWorker"].isNull());
    QCOMPARE(json["resultLine"].toString().toUtf8(), expected);

    // This machine and this build, as the system record reads them; the sensors at every tick.
    QCOMPARE(json["system"].toObject(), JsonReport::System(TSystemRecord::Read()));
    QCOMPARE(json["system"]["usableProcessors"].toInt(), static_cast<int>(UsableCpuList().size()));
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
void TestCli::computationErrorEndsTheRun_data() {
    QTest::addColumn<bool>("pinned");
    QTest::newRow("pinned: its processor named") << true;
    // Where an unpinned block ended is not where it was computed.
    QTest::newRow("unpinned: no processor") << false;
}

// One flipped bit in one remainder: the run fails naming the worker (from 1) and, when pinned,
// its processor, with the block and both checksums in the JSON.
void TestCli::computationErrorEndsTheRun() {
    QFETCH(bool, pinned);
    const std::vector<int> cpus = pinned ? UsableCpuList() : std::vector<int>{};
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto settings = ShortRun(TTestKind::Stress, 2);
    settings.DurationIndex = 11;
    settings.WorkerFactory =
        FaultyFactory(1, SelfTest::FaultOf({TFault::TKind::WrongRemainder, 2}), release, cpus);
    settings.Pinned = pinned;
    const TRunRecord record = TCliRun::Run(settings, &SleepUntil, nullptr);
    release->store(true);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Failed);
    const int cpu = pinned ? cpus[1 % cpus.size()] : -1;
    const QString where = pinned ? QStringLiteral(" on CPU %1").arg(cpu) : QString();
    const QByteArray expected =
        StressFailedLine(record.EndText, "240min (4hrs)",
                         QStringLiteral("computation error in worker 2") + where) +
        " (2 workers)";
    QCOMPARE(record.ResultLine(), expected);
    const QJsonObject json = QJsonDocument::fromJson(JsonReport::Result(record)).object();
    QCOMPARE(json["completed"].toBool(true), false);
    const QJsonObject verification = json["verification"].toObject();
    QCOMPARE(verification["failedWorker"].toInt(), 2);
    const QJsonObject failure = verification["failure"].toObject();
    QCOMPARE(failure["cpu"].toInt(-1), cpu);
    QCOMPARE(failure["block"].toInteger(), 1);
    QCOMPARE(failure["divisorFirst"].toInteger(), Workload::BlockStart(1).Divisor);
    QVERIFY(failure["expected"].toString() != failure["found"].toString());
    QCOMPARE(json["resultLine"].toString().toUtf8(), expected);
}

void TestCli::signalFromTheWaiterEndsTheRun_data() {
    QTest::addColumn<bool>("openEnded");
    QTest::newRow("a stress run of a set length is interrupted") << false;
    QTest::newRow("an open-ended run completes") << true;
}

void TestCli::signalFromTheWaiterEndsTheRun() {
    QFETCH(bool, openEnded);
    int waits = 0;
    const auto waiter = [&waits](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return ++waits == 3 ? SIGTERM : 0;
    };
    auto settings = ShortRun(TTestKind::Stress);
    if (openEnded) {
        settings.CustomTicks = 0;
    }
    const TRunRecord record = TCliRun::Run(settings, waiter, nullptr);
    QCOMPARE(record.Outcome,
             openEnded ? TRunRecord::TOutcome::Completed : TRunRecord::TOutcome::Interrupted);
    QCOMPARE(record.Signal, SIGTERM);
    QCOMPARE(record.TicksRun, 2);
    const QJsonObject json = JsonObject(JsonReport::Result(record));
    QCOMPARE(json["completed"].toBool(!openEnded), openEnded);
    if (openEnded) {
        QCOMPARE(record.ResultLine(), StressResultLine(record.EndText, "2s"));
        // Stopped before a block was compared: no verified pass.
        QCOMPARE(json["verification"]["passed"].isNull(), !record.Check.Verified());
        QCOMPARE(json["verification"]["checkNote"].toString().toUtf8(), record.CheckLine());
        QCOMPARE(json["durationSeconds"].toInt(), 2);
        QVERIFY(json["interrupted"].isNull());
    } else {
        QCOMPARE(json["durationSeconds"].toInt(), 1200);
        QCOMPARE(json["interrupted"]["signal"].toString(), "SIGTERM");
        QCOMPARE(json["interrupted"]["afterSeconds"].toDouble(), record.SecondsRun());
        QVERIFY(json["resultLine"].isNull());
        QCOMPARE(record.InterruptionText(),
                 R"(stress test "20min" interrupted after )" +
                     LengthText(static_cast<std::int64_t>(record.SecondsRun())).toUtf8() +
                     " by SIGTERM");
    }
}

void TestCli::cycleNamesTheFaultyProcessor_data() {
    QTest::addColumn<int>("faultyTurn");
    QTest::addColumn<std::int64_t>("faultyBlock");
    QTest::newRow("the second turn, found in it") << 1 << std::int64_t{0};
    // Found by the second turn, which is the first to compute that block again: the error is
    // the first processor's.
    QTest::newRow("the first turn, found in the second") << 0 << std::int64_t{1};
}

// A cycle over two processors with a fault on one: its row has the error, the other none.
void TestCli::cycleNamesTheFaultyProcessor() {
    QFETCH(int, faultyTurn);
    QFETCH(std::int64_t, faultyBlock);
    std::vector<int> cpus = UsableCpuList();
    if (cpus.size() < 2) {
        QSKIP("skipped: one usable processor");
    }
    cpus.resize(2);
    auto release = std::make_shared<std::atomic<bool>>(false);
    TCycleRun::TSettings settings;
    settings.Cpus = cpus;
    // Long enough for the first turn to finish its first two blocks even in a sanitizer build on
    // a busy machine; the faulty turn ends as soon as its wrong block is compared.
    settings.TicksPerCpu = 60;
    settings.TickLength = std::chrono::milliseconds(100);
    settings.Machine.reset();
    TFault fault;
    fault.AtDivision = faultyBlock * Workload::BlockDivisions + Workload::BlockDivisions / 2;
    settings.FactoryFor = [&](int turn, int cpu) {
        return turn == faultyTurn ? FaultyFactory(0, fault, release, {cpu})
                                  : TWorkerTable::ThreadFactory({cpu});
    };
    const TCycleRun::TResult result = TCycleRun::Run(settings, &SleepUntil, nullptr);
    release->store(true);
    QVERIFY(result.Failed());
    QCOMPARE(result.Rows.size(), std::size_t(2));
    const auto faulty = static_cast<std::size_t>(faultyTurn);
    QCOMPARE(result.Rows[1 - faulty].Errors, 0);
    QCOMPARE(result.Rows[faulty].Cpu, cpus[faulty]);
    QCOMPARE(result.Rows[faulty].Errors, 1);
    QCOMPARE(result.Rows[faulty].FirstError->Block, std::optional<std::int64_t>(faultyBlock));
    QVERIFY(result.Rows[0].BlocksChecked > 0);
    QVERIFY(TTextWriter::CycleTable(result).contains("CPU " + QByteArray::number(cpus[faulty]) +
                                                     ": computation error"));
}

void TestCli::cycleNamesTheFaultyProcessorOfEveryWorkload_data() {
    QTest::addColumn<QByteArray>("workload");
    // Every workload whose self-test makes a lone worker err (the others are made of these).
    for (const TWorkloadKind kind : Workloads::All()) {
        if (!kind->SelfTest.empty() && kind->SelfTest.front().MinWorkers == 1) {
            QTest::newRow(kind->Name) << QByteArray(kind->Name);
        }
    }
}

// The second of two turns errs as a weak core does, in every block from the first on (the
// workload's first self-test fault): compared with the first turn's blocks, that processor is
// named, never before the block that shows the fault.
void TestCli::cycleNamesTheFaultyProcessorOfEveryWorkload() {
    QFETCH(QByteArray, workload);
    std::vector<int> cpus = UsableCpuList();
    if (cpus.size() < 2) {
        QSKIP("skipped: one usable processor");
    }
    cpus.resize(2);
    TCycleRun::TSettings settings;
    settings.Cpus = cpus;
    settings.TicksPerCpu = 40; // the faulty turn ends at its first wrong block
    settings.TickLength = std::chrono::milliseconds(100);
    settings.Machine.reset();
    settings.Workload.Kind = *Workloads::Find(workload.constData());
    settings.Workload.Isa = TFmaKernel::Best();
    settings.Workload.MemoryBlocks = 2;
    const TWorkloadEntry& entry = *settings.Workload.Kind;
    const TFault fault = entry.PlaceFault(entry.SelfTest.front().Kind, 1);
    auto release = std::make_shared<std::atomic<bool>>(false);
    settings.FactoryFor = [&](int turn, int cpu) {
        return turn == 1 ? FaultyFactory(settings.Workload, 0, fault, release, {cpu})
                         : settings.Workload.Factory({cpu});
    };
    const TCycleRun::TResult result = TCycleRun::Run(settings, &SleepUntil, nullptr);
    release->store(true);
    QCOMPARE(result.Rows.size(), std::size_t(2));
    QCOMPARE(result.Rows[0].Errors, 0);
    QVERIFY(result.Rows[0].BlocksChecked > 0);
    QCOMPARE(result.Rows[1].Errors, 1);
    // A wrong block not before the one that shows the fault, or a word that read back wrong
    // (the workloads that read back report it first, with no block).
    const std::optional<std::int64_t> block = result.Rows[1].FirstError->Block;
    QVERIFY(!block || *block >= entry.ShowingBlock(fault, settings.Workload));
}

// kill -STOP for 15 s at the third tick of a 10-second run on one worker: the missed ticks are
// not fired on waking (the run would complete early, and the lone worker that had no time to
// move would pass for stalled); the run lasts longer and says by how much.
void TestCli::stoppedProcessLastsLonger() {
    TFakeWorkers workers;
    workers.prepare = [](TFakeWorker& worker, int) { worker.Settle(); };
    auto settings = ShortRun(TTestKind::Stress, 1);
    settings.TickLength = 1s;
    settings.CustomTicks = 10;
    settings.CustomText = QStringLiteral("10s");
    settings.WorkerFactory = workers.Factory();
    settings.Machine.reset();
    auto now = std::chrono::steady_clock::time_point(std::chrono::hours(7));
    const auto start = now;
    settings.SteadyClock = [&now] { return now; };
    int waits = 0;
    const auto waiter = [&](TCliRun::Clock::time_point deadline) {
        now = std::max(now, deadline);
        if (++waits == 3) {
            now += 15s; // stopped: the worker does not move
        } else {
            workers.made.back()->count += 1000;
        }
        return 0;
    };
    const TRunRecord record = TCliRun::Run(settings, waiter, nullptr);
    QCOMPARE(record.Outcome, TRunRecord::TOutcome::Completed);
    QCOMPARE(record.TicksRun, 10);
    QCOMPARE(record.PausedSeconds, 15.0);
    // The tick under way when the process stopped starts again on waking.
    QCOMPARE(record.Seconds, 26.0);
    QCOMPARE(now - start, 26s);
    const QJsonObject json = JsonObject(JsonReport::Result(record));
    QCOMPARE(json["pausedSeconds"].toDouble(), 15.0);
    // The second under way when it stopped is not counted: the run was late by it.
    QCOMPARE(json["lateSeconds"].toDouble(), 1.0);
    QCOMPARE(json["starvedSeconds"].toArray(), QJsonArray{0.0});
}

void TestCli::command_data() {
    QTest::addColumn<QStringList>("arguments"); // R: the record's path, P: the metrics'
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error"); // what standard error says, in part
    QTest::newRow("benchmark, JSON, record and metrics")
        << QStringList{"--workers",    "1", "--json",   "--record", "R",
                       "--prometheus", "P", "benchmark"}
        << "" << 0 << "";
    QTest::newRow("stress test stopped by SIGTERM, JSON, record and metrics")
        << QStringList{"--json", "--record", "R", "--prometheus", "P", "stress", "20"} << "SIGTERM"
        << 143 << R"(stress test "20min" interrupted after )";
    QTest::newRow("computation error")
        << QStringList{"--workers", "2", "stress", "20"} << "off path" << 1 << "";
    // A computation error wins over any output that could not be written.
    QTest::newRow("computation error, full standard output")
        << QStringList{"--workers", "2", "stress", "20"} << "off path, full" << 1
        << "write error: No space left on device";
    QTest::newRow("computation error, metrics that cannot be written")
        << QStringList{"--prometheus", "P", "--workers", "2", "stress", "20"}
        << "off path, metrics gone" << 1 << "cannot replace";
    QTest::newRow("computation error, record on a full disk")
        << QStringList{"--record", "/dev/full", "--workers", "2", "stress", "20"}
        << "off path, record full" << 1 << "No space left on device";
    QTest::newRow("computation error in a cycle stopped by SIGTERM")
        << QStringList{"--json", "cycle", "--per-cpu", "20", "--cpus", "0,1"}
        << "cycle off path, SIGTERM" << 1 << "cycle interrupted after";
    QTest::newRow("full standard output")
        << QStringList{"benchmark"} << "full" << 4 << "write error: No space left on device";
    QTest::newRow("metrics that cannot be written")
        << QStringList{"--prometheus", "P", "benchmark"} << "metrics gone" << 4 << "cannot replace";
    // A run that never started leaves no record file behind.
    QTest::newRow("another run, JSON") << QStringList{"--json", "--record", "R", "stress", "20"}
                                       << "locked" << 5 << "Another test is running";
    QTest::newRow("threads refused, JSON")
        << QStringList{"--json", "--record", "R", "benchmark"} << "refused" << 3
        << "cannot run the test: Resource temporarily";
    QTest::newRow("cycle stopped by SIGTERM, JSON, record and metrics")
        << QStringList{"--json", "--record",  "R", "--prometheus", "P",
                       "cycle",  "--per-cpu", "2", "--cpus",       "0,1"}
        << "SIGTERM" << 143 << "cycle interrupted after ";
    // A warning of the machine's is said the moment the run has it, unless --quiet.
    QTest::newRow("thermal interrupts: a warning")
        << QStringList{"--json", "stress", "20"} << "throttle, SIGTERM" << 143
        << " (2 thermal interrupts on CPU 1)";
    QTest::newRow("thermal interrupts, quiet")
        << QStringList{"--quiet", "--json", "stress", "20"} << "throttle, SIGTERM" << 143 << "";
    QTest::newRow("cycle, JSON and record")
        << QStringList{"--json", "--record", "R", "cycle", "--per-cpu", "2", "--cpus", "0,1"} << ""
        << 0 << "";
    // Stopped while its first fault runs: no table and no verdict.
    QTest::newRow("selftest stopped by SIGTERM") << QStringList{"selftest"} << "SIGTERM" << 143
                                                 << "selftest interrupted by SIGTERM: no verdict";
}

// morvel-cli's command in process, with stand-in workers and 2 ms ticks: the exit status, what
// it prints and the files it writes.
void TestCli::command() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, trouble);
    QFETCH(int, status);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString record = dir.filePath("run.jsonl");
    const QString metrics = dir.filePath("morvel.prom");
    arguments.replaceInStrings(QRegularExpression("^R$"), record);
    arguments.replaceInStrings(QRegularExpression("^P$"), metrics);
    const TCliArguments options = TCliArguments::Parse(arguments, {0, 1});
    QVERIFY2(options.Action != TCliArguments::TAction::Error, qPrintable(options.Error));

    TFakeWorkers workers;
    workers.prepare = [&trouble](TFakeWorker& worker, int slot) {
        worker.Settle();
        if ((trouble.startsWith("off path") && slot == 1) || trouble.startsWith("cycle off")) {
            worker.candidate = TVerifier::KnownPrime - 2;
        }
    };
    if (trouble == "refused") {
        workers.refuseAt = 3;
    }
    const QString lockPath = dir.filePath("run.lock");
    TRunLock other(lockPath);
    if (trouble == "locked") {
        other.Acquire();
    }
    std::string out;
    std::string said;
    int waits = 0;
    RunCommand::TContext context;
    context.UsableCpus = {0, 1};
    context.FactoryFor = [&workers](const TWorkload&, const std::vector<int>&) {
        return workers.Factory();
    };
    context.TickLength = 2ms;
    context.Wait = [&](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        for (const auto& worker : workers.made) {
            worker->count += 1000;
        }
        if (++waits == 1 && trouble.endsWith("metrics gone")) {
            QDir().mkdir(metrics); // a folder where the metrics are to go
        }
        if (waits == 1 && trouble.startsWith("throttle")) {
            WriteInterrupts(dir.filePath("proc/interrupts"), 2);
        }
        return waits == 3 && trouble.endsWith("SIGTERM") ? SIGTERM : 0;
    };
    context.RunLock = [&lockPath] { return std::make_shared<TRunLock>(lockPath); };
    context.Machine.reset();
    if (trouble.startsWith("throttle")) {
        QVERIFY(QDir(dir.path()).mkpath("proc"));
        WriteInterrupts(dir.filePath("proc/interrupts"), 0);
        context.Machine = TSystemPaths{dir.filePath("sys"), dir.filePath("proc"), {}};
    }
    context.Format = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    context.Out = [&](const std::string& bytes) {
        if (trouble.endsWith(", full") || trouble == "full") {
            return DurableFile::TResult::Failed(QStringLiteral("standard output"), "cannot write",
                                                ENOSPC);
        }
        out += bytes;
        return DurableFile::TResult();
    };
    context.Error = [&said](const std::string& line) { said += line + '\n'; };
    const int exitStatus = RunCommand::Run(options, context);
    QVERIFY2(QString::fromStdString(said).contains(error), said.c_str());
    QCOMPARE(exitStatus, status);
    QCOMPARE(said.find("warning: ") != std::string::npos,
             trouble.startsWith("throttle") && !options.Quiet);
    if (options.Action == TCliArguments::TAction::SelfTest) {
        QCOMPARE(out, std::string());
        return;
    }
    if (trouble.endsWith("full") || trouble.endsWith("metrics gone")) {
        return;
    }
    const QByteArray printed = QByteArray::fromStdString(out);
    QVERIFY(printed.endsWith('\n'));
    if (!options.Json) {
        QCOMPARE(printed.count('\n'), 1);
        QVERIFY(printed.contains(status == 1 ? "computation error in worker 2" : "Completed"));
        return;
    }
    const QJsonObject result = JsonObject(printed.chopped(1));
    QVERIFY(!result.isEmpty());
    if (options.Action == TCliArguments::TAction::Run) {
        QCOMPARE(result["completed"].toBool(), status == 0);
    }
    if (status == 3 || status == 5) {
        QVERIFY(!QFileInfo::exists(record));
    } else if (!options.RecordPath.isEmpty()) {
        // The record: the run's first line, one line per tick, the result as its last.
        const QList<QByteArray> lines = Lines(record);
        QCOMPARE(lines.last() + '\n', printed);
        if (options.Action == TCliArguments::TAction::Run) {
            const int ticks = result["ticksRun"].toInt();
            QCOMPARE(ticks, status == 0 ? 180 : 2);
            QCOMPARE(lines.size(), 1 + ticks + 1);
        }
    }
    if (!options.PrometheusPath.isEmpty()) {
        const QList<QByteArray> written = Lines(metrics);
        const QByteArray test =
            options.Action == TCliArguments::TAction::Cycle ? "cycle" : "stress";
        const QByteArray expected = status == 0
                                        ? "morvel_score{test=\"benchmark\"} " +
                                              QByteArray::number(result["score"].toInteger())
                                        : "morvel_interrupted{test=\"" + test + "\"} 1";
        QVERIFY2(written.contains(expected), Lines(metrics).join('\n').constData());
    }
}

void TestCli::liveRecord_data() {
    QTest::addColumn<QString>("ending");
    QTest::newRow("completed") << "completed";
    QTest::newRow("failed") << "failed";
    QTest::newRow("stopped by a signal") << "signal";
}

// The live record of a run, appended to a file that already has a line: the run's first line
// with the system record, one line per tick, and the result, an interrupted run's too.
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
    std::shared_ptr<SThread> offPath;
    if (ending == "failed") {
        settings.WorkerFactory = [&offPath](int slot) {
            auto worker =
                SThread::Start(slot == Slot ? TVerifier::KnownPrime - 2 : SThread::StartCandidate);
            if (slot == Slot) {
                offPath = worker;
            }
            return worker;
        };
    }
    int waits = 0;
    const auto waiter = [&](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        // The worker off the path is judged once it is past the settled count: however slow
        // the machine, the ticks wait for it (a minute at most) rather than run out first.
        const auto limit = TCliRun::Clock::now() + std::chrono::minutes(1);
        while (offPath && offPath->StepCount() <= 2 * TVerifier::SettledCount &&
               TCliRun::Clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return ending == "signal" && ++waits == 6 ? SIGINT : 0;
    };
    DurableFile::TAppender file;
    QVERIFY(file.Open(path, 0644));
    TRecordWriter writer(file, [](const std::string&) {});
    const TRunRecord record = TCliRun::Run(settings, waiter, nullptr, &writer);
    writer.Ended(record);
    QVERIFY(!file.IsOpen());
    QVERIFY2(file.Status().Ok(), qPrintable(file.Status().Message()));

    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QVERIFY(text.endsWith('\n'));
    QList<QByteArray> lines = text.chopped(1).split('\n');
    QCOMPARE(lines.takeFirst(), earlier);
    const QJsonObject header = JsonObject(lines.takeFirst());
    QCOMPARE(header["system"].toObject(), JsonReport::System(TSystemRecord::Read()));
    QCOMPARE(header["test"].toString(), "benchmark");
    QCOMPARE(header["workers"].toInt(), 3);
    QCOMPARE(header["start"].toString(),
             JsonObject(JsonReport::Result(record))["start"].toString());
    QCOMPARE(header["durationSeconds"].toInt(), 180);

    // Every line says its version; the last one is the result however the run ended.
    QCOMPARE(lines.size(), record.TicksRun + 1);
    for (const QByteArray& line : std::as_const(lines)) {
        QCOMPARE(JsonObject(line)["schema"].toInt(), JsonReport::SchemaVersion);
    }
    QCOMPARE(header["schema"].toInt(), JsonReport::SchemaVersion);
    double seconds = 0;
    QDateTime time = record.Start;
    for (int tick = 1; tick <= record.TicksRun; ++tick) {
        const QJsonObject line = JsonObject(lines[tick - 1]);
        QCOMPARE(line["tick"].toInt(), tick);
        // The wall-clock time of the tick with its offset from UTC, in order.
        const QString timeText = line["time"].toString();
        static const QRegularExpression iso(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d)$)"));
        QVERIFY2(iso.match(timeText).hasMatch(), qPrintable(timeText));
        const QDateTime tickTime = QDateTime::fromString(timeText, Qt::ISODate);
        QVERIFY(tickTime.toSecsSinceEpoch() >= time.toSecsSinceEpoch());
        time = tickTime;
        QVERIFY(line["seconds"].toDouble() >= seconds);
        seconds = line["seconds"].toDouble();
        QCOMPARE(line["divisions"].toArray().size(), 3);
        QVERIFY(line["slowestRate"].toInteger() <= line["fastestRate"].toInteger());
        QCOMPARE(line["frequencyMHz"].isNull(), !record.LastSensors.MeanMHz);
        QCOMPARE(line["temperatureC"].isNull(), !record.LastSensors.TemperatureC);
    }
    QVERIFY(seconds > 0);
    const QJsonObject lastTick = JsonObject(lines[record.TicksRun - 1]);
    for (qsizetype i = 0; i < 3; ++i) {
        QCOMPARE(lastTick["divisions"][i].toInteger(), record.Steps[std::size_t(i)]);
    }
    QCOMPARE(lines.last(), JsonReport::Result(record));
    const QJsonObject last = JsonObject(lines.last());
    QCOMPARE(last["interrupted"]["signal"].toString(), ending == "signal" ? "SIGINT" : "");
    QCOMPARE(last["completed"].toBool(), ending == "completed");
    if (ending == "failed") {
        QCOMPARE(record.Failure->Worker.value_or(-1), Slot);
        QVERIFY(record.TicksRun < 180);
    } else {
        QCOMPARE(record.TicksRun, ending == "completed" ? 180 : 5);
    }
}

void TestCli::warningsInEveryOutput_data() {
    QTest::addColumn<QString>("writer");
    QTest::addColumn<bool>("cycle");
    QTest::addColumn<QByteArrayList>("said"); // on standard error after the result and its notes
    const QByteArrayList summary{"75.0 % of blocks checked", "warning: CPU 2 reached 100 \u00b0C",
                                 "warning: the clock fell to 1.2 GHz"};
    QTest::newRow("text") << "text" << false << summary;
    QTest::newRow("text, quiet") << "quiet" << false << QByteArrayList();
    QTest::newRow("JSON") << "JSON" << false << QByteArrayList();
    QTest::newRow("record") << "record" << false << QByteArrayList();
    QTest::newRow("cycle, text") << "text" << true << summary;
    QTest::newRow("cycle, JSON") << "JSON" << true << QByteArrayList();
    QTest::newRow("cycle, record") << "record" << true << QByteArrayList();
}

// A stress run's (or cycle's) warnings, made by hand: in the text's summary unless --quiet, in
// the JSON result, and in the live record's line of the tick that saw each and in its last.
void TestCli::warningsInEveryOutput() {
    QFETCH(QString, writer);
    QFETCH(bool, cycle);
    QFETCH(QByteArrayList, said);
    const std::vector<TWarning> warnings{
        {TWarning::TKind::Temperature, 2, 1.5, "CPU 2 reached 100 \u00b0C"},
        {TWarning::TKind::ClockDrop, std::nullopt, 3.25, "the clock fell to 1.2 GHz"}};
    const QJsonArray listed = QJsonDocument::fromJson(R"([
        {"kind": "temperature", "cpu": 2, "at": 1.5, "text": "CPU 2 reached 100 \u00b0C"},
        {"kind": "clockDrop", "cpu": null, "at": 3.25, "text": "the clock fell to 1.2 GHz"}])")
                                  .array();
    TRunRecord record = TRunEngine::PlannedRecord(TTestKind::Stress, 2, 0);
    record.Outcome = TRunRecord::TOutcome::Completed;
    record.Check = {40, 30, 0, 0};
    TCycleRun::TResult result;
    result.Rows.resize(1);
    result.Check = record.Check;
    result.Warnings = warnings;

    QTemporaryDir dir;
    DurableFile::TAppender file;
    QVERIFY(file.Open(dir.filePath("run.jsonl"), 0644));
    std::string out;
    QByteArrayList error;
    const TConsole console{
        [&out](const std::string& bytes) {
            out += bytes;
            return DurableFile::TResult();
        },
        [&error](const std::string& line) { error += QByteArray::fromStdString(line); }};
    std::unique_ptr<TResultWriter> written;
    if (writer == "record") {
        written = std::make_unique<TRecordWriter>(file, console.Error);
    } else if (writer == "JSON") {
        written = std::make_unique<TJsonWriter>(console);
    } else {
        written = std::make_unique<TTextWriter>(console, writer == "quiet");
    }
    if (cycle) {
        written->CycleEnded(result);
    } else {
        // The first warning at the first tick, the second at the second, none at the third.
        written->Started(record);
        for (const qsizetype seen : {1, 2, 2}) {
            record.Warnings.assign(warnings.begin(), warnings.begin() + seen);
            written->Ticked(record);
        }
        written->Ended(record);
    }
    QVERIFY(written->Written());
    QCOMPARE(error, said);
    if (writer == "JSON") {
        QCOMPARE(JsonObject(QByteArray::fromStdString(out))["warnings"].toArray(), listed);
    } else if (writer == "record") {
        const QList<QByteArray> lines = Lines(dir.filePath("run.jsonl"));
        QCOMPARE(JsonObject(lines.last())["warnings"].toArray(), listed);
        if (!cycle) {
            QCOMPARE(lines.size(), 5);
            QCOMPARE(JsonObject(lines[1])["warnings"].toArray(), QJsonArray{listed[0]});
            QCOMPARE(JsonObject(lines[2])["warnings"].toArray(), QJsonArray{listed[1]});
            QCOMPARE(JsonObject(lines[3])["warnings"].toArray(), QJsonArray());
        }
    }
}

// Two turns of a cycle, made by hand: the clock and temperature of both, the shared checker's
// counts and every turn's missed blocks, the warnings at seconds since the first turn's start.
void TestCli::cycleAddsItsTurns() {
    const auto sensors = [](int readings, double min, double mean, double max, double hottest) {
        TSensorSummary summary;
        summary.Readings = readings;
        summary.MinMHz = min;
        summary.MeanMHz = mean;
        summary.MaxMHz = max;
        summary.MaxTemperatureC = hottest;
        return summary;
    };
    const QDateTime start = QDateTime::currentDateTime();
    TRunRecord first = TRunEngine::PlannedRecord(TTestKind::Stress, 1, 0);
    first.Start = start;
    first.Sensors = sensors(2, 3000, 3500, 4000, 80);
    first.Check = {10, 8, 0, 1};
    first.Warnings = {{TWarning::TKind::ClockDrop, 0, 1, "fell"}};
    first.SleepProblem = "no bus";
    TRunRecord second = first;
    second.Start = start.addMSecs(2500);
    second.Sensors = sensors(6, 2000, 3900, 3900, 90);
    second.Check = {30, 25, 1, 2};
    second.Warnings = {{TWarning::TKind::Temperature, 1, 0.5, "hot"}};
    second.SleepProblem = "no bus either";
    TCycleRun::TResult result;
    result.Add(first);
    result.Add(second);
    QCOMPARE(RunSummary::Lines(result.Sensors, result.Check, result.Warnings).first(),
             "clock 2.0/3.8/4.0 GHz (min/mean/max), hottest 90 \u00b0C, 75.7 % of blocks "
             "checked");
    QCOMPARE(result.Check.Missed, 3);
    QCOMPARE(result.Warnings.size(), std::size_t(2));
    QCOMPARE(result.Warnings[1].At, 3.0);
    QCOMPARE(result.SleepProblem, "no bus");
}

QTEST_GUILESS_MAIN(TestCli)
// A deadline already passed (the ticks are catching up on a busy machine) still takes a stop
// signal that waits, so a catching-up run stops at once.
void TestCli::signalWaitingWhileTicksCatchUp() {
    const sigset_t stop = StopSignals::Set();
    sigset_t before;
    QCOMPARE(pthread_sigmask(SIG_BLOCK, &stop, &before), 0);
    QCOMPARE(raise(SIGTERM), 0); // blocked: it waits
    const auto passed = TCliRun::Clock::now() - std::chrono::seconds(1);
    const int first = TCliRun::WaitForStopSignal(passed);
    const int second = TCliRun::WaitForStopSignal(passed);
    QCOMPARE(pthread_sigmask(SIG_SETMASK, &before, nullptr), 0);
    QCOMPARE(first, SIGTERM);
    QCOMPARE(second, 0);
}

#include "tst_cli.moc"
