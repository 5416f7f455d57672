// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The system record and the processor sensors, read from fixture trees of three machines (an
// Intel laptop, an AMD desktop, a virtual machine) and from this machine, and the engine that
// reads them at the start and at every tick of a run.
#include "JsonReport.h"
#include "Processors.h"
#include "ResultLines.h"
#include "ResultWriter.h"
#include "RunObservers.h"
#include "TCycleRun.h"
#include "TFakeWorker.h"
#include "TRunEngine.h"
#include "TSensors.h"
#include "TSystemRecord.h"
#include "TWarningWatch.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

namespace {

TSystemPaths Fixture(const QString& root) {
    TSystemPaths paths;
    paths.Sys = root + QStringLiteral("/sys");
    paths.Proc = root + QStringLiteral("/proc");
    paths.OsRelease = {root + QStringLiteral("/etc/os-release"),
                       root + QStringLiteral("/usr/lib/os-release")};
    return paths;
}

TSystemPaths Fixture(const char* machine) {
    return Fixture(QStringLiteral(MORVEL_FIXTURES "/") + QLatin1String(machine));
}

QString Text(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 10) : QStringLiteral("null");
}
QString Text(const std::optional<std::int64_t>& value) {
    return value ? QString::number(*value) : QStringLiteral("null");
}

// A writable copy of a fixture tree.
bool CopyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target) ||
            !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner)) {
            return false;
        }
    }
    return true;
}

bool WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

// Replaces the line of a file that begins with the first word of `line`.
bool SetLine(const QString& path, const QString& line) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
    for (QString& each : lines) {
        each = each.startsWith(line.section(' ', 0, 0)) ? line : each;
    }
    return WriteFile(path, lines.join('\n').toLatin1());
}

} // namespace

class TestSensors : public QObject {
    Q_OBJECT
private slots:
    void cpuLists_data();
    void cpuLists();
    void systemRecordOfEachMachine_data();
    void systemRecordOfEachMachine();
    void sensorsOfEachMachine_data();
    void sensorsOfEachMachine();
    void packageEnergyOfEachMachine_data();
    void packageEnergyOfEachMachine();
    void engineReadsTheSensorsAtEveryTick();
    void warningsOfEachMachine_data();
    void warningsOfEachMachine();
    void hardwareErrorsOfEachMachine_data();
    void hardwareErrorsOfEachMachine();
    void cycleCountsTheHardwareErrorsOfEveryTurn();
    void thisMachine();
};

void TestSensors::cpuLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("range and singles") << "0-3,8,10-11\n" << QList<int>{0, 1, 2, 3, 8, 10, 11};
    QTest::newRow("one") << "5" << QList<int>{5};
    QTest::newRow("out of order, repeated") << "4,0-1,1" << QList<int>{0, 1, 4};
    QTest::newRow("empty") << "" << QList<int>{};
    QTest::newRow("range backwards") << "3-1" << QList<int>{};
    QTest::newRow("not a number") << "0-a" << QList<int>{};
    QTest::newRow("negative") << "-1" << QList<int>{};
}

void TestSensors::cpuLists() {
    QFETCH(QString, text);
    QFETCH(QList<int>, expected);
    const std::vector<int> cpus = ParseCpuList(text);
    QCOMPARE(QList<int>(cpus.begin(), cpus.end()), expected);
}

void TestSensors::systemRecordOfEachMachine_data() {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("expected"); // the machine's part of the record's JSON
    QTest::newRow("Intel laptop")
        << "intel-laptop"
        << R"j({"distribution":"Debian GNU/Linux 12 (bookworm)","governor":"powersave",)j"
           R"j("hostName":"laptop","kernel":"6.1.0-18-amd64","logicalProcessors":4,)j"
           R"j("processorModel":"Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz",)j"
           R"j("processorVendor":"GenuineIntel","scalingDriver":"intel_pstate","smt":true,)j"
           R"j("usableProcessors":4})j";
    QTest::newRow("AMD desktop")
        << "amd-desktop"
        << R"j({"distribution":"Ubuntu 24.04.1 LTS","governor":"schedutil","hostName":"desktop",)j"
           R"j("kernel":"6.8.0-45-generic","logicalProcessors":4,)j"
           R"j("processorModel":"AMD Ryzen 7 1700X Eight-Core Processor",)j"
           R"j("processorVendor":"AuthenticAMD","scalingDriver":"acpi-cpufreq","smt":true,)j"
           R"j("usableProcessors":4})j";
    QTest::newRow("virtual machine: no cpufreq, os-release under /usr/lib")
        << "vm"
        << R"j({"distribution":"Debian GNU/Linux 12 (bookworm)","governor":null,"hostName":"vm",)j"
           R"j("kernel":"6.1.0-25-cloud-amd64","logicalProcessors":2,)j"
           R"j("processorModel":"Intel(R) Xeon(R) Processor","processorVendor":"GenuineIntel",)j"
           R"j("scalingDriver":null,"smt":false,"usableProcessors":2})j";
    QTest::newRow("nothing readable: every machine field null")
        << "no-such-machine"
        << R"j({"distribution":null,"governor":null,"hostName":null,"kernel":null,)j"
           R"j("logicalProcessors":null,"processorModel":null,"processorVendor":null,)j"
           R"j("scalingDriver":null,"smt":null,"usableProcessors":null})j";
}

void TestSensors::systemRecordOfEachMachine() {
    QFETCH(QString, machine);
    QFETCH(QString, expected);
    QJsonObject json =
        JsonReport::System(TSystemRecord::Read(Fixture(machine.toLatin1().constData())));
    // The build's part is this build's, whatever the machine.
    QCOMPARE(json.take("version").toString(), QStringLiteral(MORVEL_VERSION));
    for (const char* key : {"gitRevision", "compiler", "buildType", "compilerFlags"}) {
        QVERIFY2(json.contains(key), key);
        json.remove(key);
    }
    QCOMPARE(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)), expected);
}

void TestSensors::sensorsOfEachMachine_data() {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QList<int>>("processors"); // empty: those the fixture's process may use
    // frequency min mean max (MHz) | temperature (°C) | throttle count | sources
    QTest::addColumn<QString>("expected");
    QTest::newRow("Intel laptop: cpufreq, coretemp, a counter per core and per package")
        << "intel-laptop" << QList<int>{} << "1200 2625 3400 | 71.5 | 20 | cpufreq, hwmon coretemp";
    QTest::newRow("Intel laptop, one processor: its core's and package's counters")
        << "intel-laptop" << QList<int>{2}
        << "1200 1200 1200 | 71.5 | 17 | cpufreq, hwmon coretemp";
    QTest::newRow("Intel laptop, SMT siblings: their core counted once")
        << "intel-laptop" << QList<int>{0, 2}
        << "1200 2300 3400 | 71.5 | 17 | cpufreq, hwmon coretemp";
    QTest::newRow("AMD desktop: k10temp's Tdie over Tctl, no GPU, no counters")
        << "amd-desktop" << QList<int>{}
        << "3600 4012.5 4550 | 61.25 | null | cpufreq, hwmon k10temp";
    QTest::newRow("virtual machine: /proc/cpuinfo, nothing else")
        << "vm" << QList<int>{} << "2593.912 2596.956 2600 | null | null | cpuinfo, ";
    QTest::newRow("virtual machine, second processor only")
        << "vm" << QList<int>{1} << "2593.912 2593.912 2593.912 | null | null | cpuinfo, ";
    QTest::newRow("figures out of range: only the sane ones count")
        << "broken-sensors" << QList<int>{}
        << "2400.5 2400.5 2400.5 | 45 | null | cpuinfo, hwmon coretemp";
    QTest::newRow("NaN MHz: no frequency")
        << "broken-sensors" << QList<int>{0}
        << "null null null | 45 | null | cpuinfo, hwmon coretemp";
    QTest::newRow("1e308 MHz: no frequency")
        << "broken-sensors" << QList<int>{1}
        << "null null null | 45 | null | cpuinfo, hwmon coretemp";
    QTest::newRow("nothing readable")
        << "no-such-machine" << QList<int>{} << "null null null | null | null | , ";
}

void TestSensors::sensorsOfEachMachine() {
    QFETCH(QString, machine);
    QFETCH(QList<int>, processors);
    QFETCH(QString, expected);
    TSensors sensors(Fixture(machine.toLatin1().constData()),
                     std::vector<int>(processors.begin(), processors.end()));
    const TSensorSample sample = sensors.Read();
    const QString actual = QStringLiteral("%1 %2 %3 | %4 | %5 | %6, %7")
                               .arg(Text(sample.MinMHz), Text(sample.MeanMHz), Text(sample.MaxMHz),
                                    Text(sample.TemperatureC), Text(sample.ThrottleCount),
                                    sensors.FrequencySource(), sensors.TemperatureSource());
    QCOMPARE(actual, expected);
}

void TestSensors::packageEnergyOfEachMachine_data() {
    QTest::addColumn<QString>("machine");
    // The package counter when the sensors are found, then before each reading.
    QTest::addColumn<QByteArrayList>("counters");
    QTest::addColumn<QString>("joules"); // each reading's energy since the sensors were found
    QTest::newRow("Intel: the package zone, not its core subzone or psys")
        << "intel-laptop" << QByteArrayList{"123456789", "123456789", "124456789"} << "0 1";
    QTest::newRow("Intel: the counter wraps at its range")
        << "intel-laptop" << QByteArrayList{"262142328850", "262143328850", "2000000"} << "1 3";
    QTest::newRow("AMD: the counter wraps at its own range")
        << "amd-desktop" << QByteArrayList{"65532110987", "1500000"} << "2";
    QTest::newRow("a counter past its range: no energy")
        << "amd-desktop" << QByteArrayList{"65532610988", "1"} << "null";
    QTest::newRow("an unreadable counter: no energy")
        << "intel-laptop" << QByteArrayList{"x", "1"} << "null";
    QTest::newRow("virtual machine: no powercap") << "vm" << QByteArrayList{} << "null";
}

void TestSensors::packageEnergyOfEachMachine() {
    QFETCH(QString, machine);
    QFETCH(QByteArrayList, counters);
    QFETCH(QString, joules);
    QTemporaryDir dir;
    QVERIFY(CopyTree(QStringLiteral(MORVEL_FIXTURES "/") + machine, dir.path()));
    const QString counter =
        dir.path() + QStringLiteral("/sys/class/powercap/intel-rapl:0/energy_uj");
    QStringList readings;
    std::optional<TSensors> sensors;
    for (const QByteArray& value : counters) {
        QVERIFY(WriteFile(counter, value + '\n'));
        if (!sensors) {
            sensors.emplace(Fixture(dir.path()));
            continue;
        }
        readings << Text(sensors->Read().EnergyJoules);
    }
    if (!sensors) {
        sensors.emplace(Fixture(dir.path()));
        readings << Text(sensors->Read().EnergyJoules);
    }
    QCOMPARE(readings.join(' '), joules);
    QCOMPARE(sensors->PowerSource().isEmpty(), joules == "null");
}

// A run on a machine whose sensors change between the start and the first tick: the frequency and
// temperature figures are the ticks', the throttle events those since the start. A run without a
// machine (the window's) keeps neither.
void TestSensors::engineReadsTheSensorsAtEveryTick() {
    QTemporaryDir dir;
    QVERIFY(CopyTree(QStringLiteral(MORVEL_FIXTURES "/intel-laptop"), dir.path()));
    const QString cpu = dir.path() + QStringLiteral("/sys/devices/system/cpu/");

    TFakeWorkers workers;
    workers.prepare = [](TFakeWorker& worker, int) { worker.Settle(); };
    TRunEngine engine(workers.Factory(), 3);
    engine.Start(TTestKind::Stress);
    QVERIFY(!engine.Record().System && !engine.Record().Sensors);
    engine.Tick();
    QVERIFY(!engine.Record().Sensors);
    QCOMPARE(
        QJsonDocument::fromJson(JsonReport::Result(engine.Record())).object()["sensors"].isNull(),
        true);

    // The package's power: 60 J in the 2 s to the first tick, 50 J in the 1 s to the second.
    auto now = std::chrono::steady_clock::now();
    engine.SetSteadyClock([&now] { return now; });
    const QString energy =
        dir.path() + QStringLiteral("/sys/class/powercap/intel-rapl:0/energy_uj");
    QVERIFY(WriteFile(energy, "1000000\n"));
    engine.Observe(std::make_shared<TMachineObserver>(Fixture(dir.path())));
    engine.Start(TTestKind::Stress);
    now += std::chrono::seconds(2);
    QVERIFY(WriteFile(energy, "61000000\n"));
    QCOMPARE(engine.Record().System->Kernel.value_or(QString()), QStringLiteral("6.1.0-18-amd64"));
    QVERIFY(WriteFile(cpu + "cpu2/cpufreq/scaling_cur_freq", "2000000\n"));
    QVERIFY(WriteFile(cpu + "cpu0/thermal_throttle/core_throttle_count", "9\n"));
    for (const char* each : {"cpu0", "cpu1", "cpu2", "cpu3"}) {
        // Every processor of the package shows the package's one counter.
        QVERIFY(WriteFile(cpu + each + "/thermal_throttle/package_throttle_count", "14\n"));
    }
    QVERIFY(WriteFile(dir.path() + "/sys/class/hwmon/hwmon1/temp1_input", "88000\n"));
    engine.Tick();
    QCOMPARE(engine.Record().LastSensors.PackageWatts.value_or(0), 30.0);
    QVERIFY(WriteFile(dir.path() + "/sys/class/hwmon/hwmon1/temp1_input", "60000\n"));
    now += std::chrono::seconds(1);
    QVERIFY(WriteFile(energy, "111000000\n"));
    engine.Tick();

    const TRunRecord& record = engine.Record();
    QCOMPARE(record.LastSensors.TemperatureC.value_or(0), 71.5);
    const QJsonObject sensors =
        QJsonDocument::fromJson(JsonReport::Result(record)).object()["sensors"].toObject();
    QCOMPARE(QString::fromUtf8(QJsonDocument(sensors).toJson(QJsonDocument::Compact)),
             QStringLiteral(R"j({"frequencyMaxMHz":3400,"frequencyMeanMHz":2825,)j"
                            R"j("frequencyMinMHz":2000,"frequencySource":"cpufreq",)j"
                            R"j("powerMaxW":50,"powerMeanW":40,)j"
                            R"j("powerSource":"powercap intel-rapl",)j"
                            R"j("readings":2,"temperatureMaxC":88,)j"
                            R"j("temperatureSource":"hwmon coretemp","throttleEvents":6})j"));
    const QJsonObject tick = QJsonDocument::fromJson(JsonReport::Tick(record)).object();
    QCOMPARE(tick["tick"].toInt(), 2);
    QCOMPARE(tick["frequencyMHz"].toDouble(), 2825.0);
    QCOMPARE(tick["temperatureC"].toDouble(), 71.5);
    QCOMPARE(tick["throttleEvents"].toInt(), 6);
    QCOMPARE(tick["powerW"].toDouble(), 50.0);
    QCOMPARE(record.Warnings.size(), std::size_t(1));
    QCOMPARE(record.Warnings[0].Text, "the processor throttled at 2s (thermal throttle count +6)");
}

void TestSensors::warningsOfEachMachine_data() {
    QTest::addColumn<QString>("machine");
    // "file|text" written before the watch starts, and before its first tick; the line of
    // /proc/interrupts that begins with the text's first word.
    QTest::addColumn<QStringList>("start");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QList<double>>("clocks"); // the fastest clock of each tick; none: 2 ticks
    QTest::addColumn<QStringList>("warnings");
    const QString cpu = QStringLiteral("sys/devices/system/cpu/");
    const QString k10temp = QStringLiteral("sys/class/hwmon/hwmon2/");
    const QString coretemp = QStringLiteral("sys/class/hwmon/hwmon1/");
    const QString zone = QStringLiteral("sys/class/thermal/thermal_zone0/");
    QList<double> clocks(5, 4500); // a boost while the load settles
    clocks << 4000 << 4000 << 4100 << 3900 << 4000 << 4000 << 4000 << 4000 << 4000 << 4000;
    clocks << 3500 << 3500 << 4000;         // ticks 16-18: a dip is no drop
    clocks << 3500 << 3500 << 3500 << 3700; // 19-22: a drop, not over at 3.7 GHz
    clocks << 3500 << 3500 << 3500 << 3950; // 23-26: the same drop, over
    clocks << 3000 << 3000 << 3000;         // 27-29: another
    QTest::newRow("clock: a drop once an episode")
        << "intel-laptop" << QStringList{} << QStringList{} << clocks
        << QStringList{"clock fell from 4.0 to 3.5 GHz at 19s",
                       "clock fell from 4.0 to 3.0 GHz at 27s"};
    QTest::newRow("processor at its critical limit, once; k10temp's fixed maximum is none")
        << "amd-desktop" << QStringList{k10temp + "temp1_crit|95000", k10temp + "temp2_max|70000"}
        << QStringList{k10temp + "temp1_input|95000", k10temp + "temp2_input|80000"}
        << QList<double>{} << QStringList{"95 °C reached at 1s (k10temp Tctl, critical 95 °C)"};
    QTest::newRow("thermal zone at its lowest hot or critical trip point")
        << "intel-laptop"
        << QStringList{zone + "trip_point_0_type|critical", zone + "trip_point_0_temp|105000",
                       zone + "trip_point_1_type|hot",      zone + "trip_point_1_temp|99000",
                       zone + "trip_point_2_type|passive",  zone + "trip_point_2_temp|90000"}
        << QStringList{zone + "temp|99000"} << QList<double>{}
        << QStringList{"99 °C reached at 1s (thermal x86_pkg_temp, hot 99 °C)"};
    QTest::newRow("thermal interrupts of any vendor, once")
        << "vm" << QStringList{} << QStringList{"proc/interrupts|TRM: 0 3"} << QList<double>{}
        << QStringList{"the processor throttled at 1s (3 thermal interrupts on CPU 1)"};
    QTest::newRow("a temperature alarm rises; one set at the start or of cold is none")
        << "intel-laptop"
        << QStringList{coretemp + "temp1_crit_alarm|0", coretemp + "temp2_crit_alarm|1",
                       coretemp + "temp3_min_alarm|0"}
        << QStringList{coretemp + "temp1_crit_alarm|1", coretemp + "temp3_min_alarm|1"}
        << QList<double>{} << QStringList{"temperature alarm at 1s (coretemp temp1_crit_alarm)"};
    QStringList alarms;
    for (std::size_t i = 1; i <= TThrottleSensors::FilesPerTick + 10; ++i) {
        alarms << coretemp + QStringLiteral("temp%1_crit_alarm|0").arg(i);
    }
    QTest::newRow("a server's many files are read a share a tick, in turn")
        << "intel-laptop" << alarms << QStringList{coretemp + "temp9_crit_alarm|1"}
        << QList<double>{} << QStringList{"temperature alarm at 2s (coretemp temp9_crit_alarm)"};
    QTest::newRow("a frequency limit lowered; the user's own at the start is none")
        << "intel-laptop"
        << QStringList{cpu + "cpu0/cpufreq/cpuinfo_max_freq|4200000",
                       cpu + "cpu0/cpufreq/scaling_max_freq|4200000",
                       cpu + "cpu1/cpufreq/cpuinfo_max_freq|4200000",
                       cpu + "cpu1/cpufreq/scaling_max_freq|3000000"}
        << QStringList{cpu + "cpu0/cpufreq/scaling_max_freq|2000000"} << QList<double>{}
        << QStringList{
               "frequency limit lowered to 2.0 GHz at 1s (CPU 0, hardware maximum 4.2 GHz)"};
}

// The watch over ticks one second apart, on a machine that changes after its start.
void TestSensors::warningsOfEachMachine() {
    QFETCH(QString, machine);
    QFETCH(QStringList, start);
    QFETCH(QStringList, changes);
    QFETCH(QList<double>, clocks);
    QFETCH(QStringList, warnings);
    QTemporaryDir dir;
    QVERIFY(CopyTree(QStringLiteral(MORVEL_FIXTURES "/") + machine, dir.path()));
    const auto write = [&dir](const QStringList& files) {
        for (const QString& change : files) {
            const QString path = dir.filePath(change.section('|', 0, 0));
            const QString text = change.section('|', 1);
            if (!(path.endsWith("interrupts") ? SetLine(path, text)
                                              : WriteFile(path, text.toUtf8() + '\n'))) {
                return false;
            }
        }
        return true;
    };
    QVERIFY(write(start));
    TSensors sensors(Fixture(dir.path()));
    TWarningWatch watch(TThrottleSensors(Fixture(dir.path())), sensors.Read());
    QVERIFY(write(changes));
    QStringList texts;
    for (qsizetype tick = 0; tick < std::max<qsizetype>(clocks.size(), 2); ++tick) {
        TSensorSample sample = sensors.Read();
        if (!clocks.isEmpty()) {
            sample.MaxMHz = clocks[tick];
        }
        for (const TWarning& warning : watch.Tick(static_cast<double>(tick + 1), sample)) {
            texts << warning.Text;
        }
    }
    QCOMPARE(texts, warnings);
}

void TestSensors::hardwareErrorsOfEachMachine_data() {
    QTest::addColumn<QString>("machine");
    // What changes during the run: "file|text" writes the file, or the line of /proc/interrupts
    // that begins with the text's first word.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QString>("counts"); // machine checks, corrected, uncorrected, thermal
    // The failure in the result line, or the warning of corrected errors ("warning: ...").
    QTest::addColumn<QString>("said");
    const QString interrupts = QStringLiteral("proc/interrupts|");
    const QString mc0 = QStringLiteral("sys/devices/system/edac/mc/mc0/");
    QTest::newRow("Intel laptop, nothing reported: no DFR row, no EDAC")
        << "intel-laptop" << QStringList{} << "0 0 null 0"
        << "";
    QTest::newRow("Intel laptop: a machine check fails the run")
        << "intel-laptop" << QStringList{interrupts + "MCE: 0 0 0 1"} << "1 0 null 0"
        << "machine check on CPU 3";
    QTest::newRow("Intel laptop: thermal events are counted, no more")
        << "intel-laptop" << QStringList{interrupts + "TRM: 3 6 1 0"} << "0 0 null 2"
        << "";
    QTest::newRow("AMD desktop: corrected errors are a warning")
        << "amd-desktop" << QStringList{interrupts + "THR: 0 3 0 0", mc0 + "ce_count|5"}
        << "0 3 0 0"
        << "warning: the hardware reported 3 corrected errors during the run (THR on CPU 1: 2, "
           "mc0: 1)";
    QTest::newRow("AMD desktop: a deferred error fails the run")
        << "amd-desktop" << QStringList{interrupts + "DFR: 0 0 1 0"} << "0 0 1 0"
        << "deferred error on CPU 2";
    QTest::newRow("AMD desktop: an uncorrected memory error fails the run")
        << "amd-desktop" << QStringList{mc0 + "ue_count|1"} << "0 0 1 0"
        << "uncorrected memory error in mc0";
    QTest::newRow("AMD desktop: a counter reset counts nothing")
        << "amd-desktop" << QStringList{mc0 + "ce_count|0"} << "0 0 0 0"
        << "";
    QTest::newRow("virtual machine: thermal events only")
        << "vm" << QStringList{} << "null null null 0"
        << "";
    QTest::newRow("CPU 2 offline: columns named by the header; rows not the kernel's left out")
        << "broken-sensors" << QStringList{interrupts + "THR: 0 0 1"} << "null 1 null null"
        << "warning: the hardware reported 1 corrected error during the run (THR on CPU 3: 1)";
    QTest::newRow("no counters at all")
        << "no-such-machine" << QStringList{} << "null null null null"
        << "";
}

// A one-tick run on a machine whose counters change during it: the counts, the failure the
// hardware reported in the result line, and the warning of corrected errors.
void TestSensors::hardwareErrorsOfEachMachine() {
    QFETCH(QString, machine);
    QFETCH(QStringList, changes);
    QFETCH(QString, counts);
    QFETCH(QString, said);
    const bool warned = said.startsWith("warning:");
    const QString failure = warned ? QString() : said;
    const QString warning = warned ? said : QString();
    QTemporaryDir dir;
    QVERIFY(CopyTree(QStringLiteral(MORVEL_FIXTURES "/") + machine, dir.path()) ||
            machine == "no-such-machine");
    TFakeWorkers workers;
    workers.prepare = [](TFakeWorker& worker, int) { worker.Settle(); };
    TRunEngine engine(workers.Factory(), 1);
    engine.Observe(std::make_shared<TMachineObserver>(Fixture(dir.path())));
    engine.StartStress(1, QStringLiteral("1s"));
    for (const QString& change : changes) {
        const QString path = dir.filePath(change.section('|', 0, 0));
        const QString text = change.section('|', 1);
        QVERIFY(path.endsWith("interrupts") ? SetLine(path, text)
                                            : WriteFile(path, text.toLatin1() + '\n'));
    }
    workers.made.back()->count += 1000;
    engine.Tick();

    const TRunRecord& record = engine.Record();
    QCOMPARE(record.Outcome,
             failure.isEmpty() ? TRunRecord::TOutcome::Completed : TRunRecord::TOutcome::Failed);
    if (!failure.isEmpty()) {
        QCOMPARE(record.ResultLine(),
                 StressFailedLine(record.EndText, "1s", failure) + " (1 worker)");
    }
    const QJsonObject json =
        QJsonDocument::fromJson(JsonReport::Result(record)).object()["hardwareErrors"].toObject();
    QStringList actual;
    for (const char* key :
         {"machineChecks", "correctedErrors", "uncorrectedErrors", "thermalEvents"}) {
        actual << (json[key].isNull() ? "null" : QString::number(json[key].toInteger(-1)));
    }
    QCOMPARE(actual.join(' '), counts);
    QCOMPARE(QString::fromUtf8(record.HardwareErrors->Warning()), warning);
}

// A cycle over two processors: a machine check on CPU 1 while CPU 0 had its turn goes to CPU 1's
// row; corrected errors in the second turn are added to the first turn's counts.
void TestSensors::cycleCountsTheHardwareErrorsOfEveryTurn() {
    QTemporaryDir dir;
    QVERIFY(CopyTree(QStringLiteral(MORVEL_FIXTURES "/intel-laptop"), dir.path()));
    const QString interrupts = dir.filePath("proc/interrupts");
    TFakeWorkers workers;
    workers.prepare = [](TFakeWorker& worker, int) { worker.Settle(); };
    TCycleRun::TSettings settings;
    settings.Cpus = {0, 1};
    settings.TicksPerCpu = 2;
    settings.TickLength = std::chrono::milliseconds(2);
    settings.Machine = Fixture(dir.path());
    settings.FactoryFor = [&workers](int, int) { return workers.Factory(); };
    int waits = 0;
    const auto waiter = [&](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        workers.made.back()->count += 1000;
        if (++waits == 1) {
            SetLine(interrupts, "MCE: 0 1 0 0");
        } else if (waits == 3) {
            SetLine(interrupts, "THR: 2 0 0 0");
        }
        return 0;
    };
    const TCycleRun::TResult result = TCycleRun::Run(settings, waiter, nullptr);
    QCOMPARE(result.Rows.size(), std::size_t(2));
    QCOMPARE(result.Rows[0].Errors, 0);
    QCOMPARE(result.Rows[1].Errors, 1);
    QVERIFY(result.Failed());
    const QByteArray table = TTextWriter::CycleTable(result);
    QVERIFY2(
        table.endsWith("CPU 1: machine check on CPU 1\nwarning: the hardware reported 2 corrected "
                       "errors during the run (THR on CPU 0: 2)\n"),
        table.constData());
    const QJsonObject json = QJsonDocument::fromJson(JsonReport::Cycle(result)).object();
    QCOMPARE(
        QJsonDocument(json["hardwareErrors"].toObject()).toJson(QJsonDocument::Compact),
        R"({"correctedErrors":2,"machineChecks":1,"thermalEvents":0,"uncorrectedErrors":null})");
}

// This machine, read through the default roots: the same facts as the system's own calls give.
void TestSensors::thisMachine() {
    const TSystemRecord system = TSystemRecord::Read();
    utsname names{};
    QCOMPARE(uname(&names), 0);
    QCOMPARE(system.Kernel.value_or(QString()), QString::fromUtf8(names.release));
    QCOMPARE(system.HostName.value_or(QString()), QString::fromUtf8(names.nodename));
    QCOMPARE(system.LogicalProcessors.value_or(0), int(sysconf(_SC_NPROCESSORS_ONLN)));
    QCOMPARE(system.UsableProcessors.value_or(0), static_cast<int>(UsableCpuList().size()));
    if (QFile::exists("/etc/os-release") || QFile::exists("/usr/lib/os-release")) {
        QVERIFY(system.Distribution);
    }
    TSensors sensors;
    const TSensorSample sample = sensors.Read();
    // Every machine Morvel runs on shows a frequency somewhere; temperature may be missing.
    QVERIFY2(sample.MeanMHz && *sample.MinMHz > 0 && *sample.MinMHz <= *sample.MaxMHz,
             qPrintable(sensors.FrequencySource()));
    QCOMPARE(sample.TemperatureC.has_value(), !sensors.TemperatureSource().isEmpty());
}

QTEST_GUILESS_MAIN(TestSensors)
#include "tst_sensors.moc"
