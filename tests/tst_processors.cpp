// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The per-processor reader against the fixture trees: every processor's frequency, its core's
// temperature and its use between two readings of /proc/stat.
#include "TProcessorReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One processor as a row of the expected list: "cpu MHz °C use", "-" for what is not known.
QString Row(const TProcessorState& state) {
    const auto figure = [](std::optional<double> value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    return QStringLiteral("%1 %2 %3 %4")
        .arg(state.Cpu)
        .arg(figure(state.MHz), figure(state.TemperatureC),
             figure(state.Use ? std::optional(*state.Use * 100) : std::nullopt));
}

bool Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

class TestProcessors : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
};

void TestProcessors::read_data() {
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("expected");
    const QByteArray intel = "cpu  0 0 0 0 0 0 0 0\n"
                             "cpu0 10 0 10 70 10 0 0 0 0 0\n"
                             "cpu1 0 0 0 100 0 0 0 0 0 0\n"
                             "cpu2 0 0 0 100 0 0 0 0 0 0\n"
                             "cpu3 50 0 0 50 0 0 0 0 0 0\n";
    // cpu0: 20 busy and 80 idle of 100 more; cpu1 all idle; cpu2 all busy (irq, softirq, steal);
    // cpu3 went back (offline and on again): no use.
    const QByteArray intelLater = "cpu  0 0 0 0 0 0 0 0\n"
                                  "cpu0 20 0 20 130 30 0 0 0 0 0\n"
                                  "cpu1 0 0 0 200 0 0 0 0 0 0\n"
                                  "cpu2 10 5 5 100 0 30 30 20 0 0\n"
                                  "cpu3 1 0 0 1 0 0 0 0 0 0\n";
    QTest::newRow("cpufreq and coretemp by core")
        << "intel-laptop" << intel << intelLater
        << QStringList{"0 3400 65 20", "1 2800 71.5 0", "2 1200 65 100", "3 3100 71.5 -"};
    // No cpufreq: the MHz of /proc/cpuinfo; no coretemp: no temperature. A processor that
    // came online between the readings has no use yet; one that went has no row.
    QTest::newRow("cpuinfo, no sensors")
        << "vm" << QByteArray("cpu0 1 0 0 1 0 0 0 0\ncpu1 5 0 0 5 0 0 0 0\n")
        << QByteArray("cpu0 4 0 0 2 0 0 0 0\ncpu2 7 0 0 7 0 0 0 0\n")
        << QStringList{"0 2600 - 75", "2 - - -"};
    // Frequencies no processor shows are no reading; a line that is no processor's is left out.
    QTest::newRow("figures out of bounds")
        << "broken-sensors" << QByteArray("cpu0 1 0 0 1\ncpu1 1 0 0 1\ncpu2 1 0 0 1\n")
        << QByteArray("cpu0 1 0 0 1\ncpu1 1 0 0 1\ncpu2 1 0 0 1\ncpu3 x 0 0 1\ncpux 1 0 0 1\n")
        << QStringList{"0 - - -", "1 - - -", "2 2400.5 - -"};
}

void TestProcessors::read() {
    QFETCH(QString, machine);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, expected);
    const QString root = QStringLiteral(MORVEL_FIXTURES "/") + machine;
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    QVERIFY(QFile::copy(root + QStringLiteral("/proc/cpuinfo"), proc.filePath("cpuinfo")));
    TSystemPaths paths;
    paths.Sys = root + QStringLiteral("/sys");
    paths.Proc = proc.path();
    TProcessorReader reader(paths);
    QVERIFY(Write(proc.filePath("stat"), before));
    for (const TProcessorState& state : reader.Read()) {
        QVERIFY(!state.Use); // one reading says nothing of the use
    }
    QVERIFY(Write(proc.filePath("stat"), after));
    QStringList rows;
    for (const TProcessorState& state : reader.Read()) {
        rows.append(Row(state));
    }
    QCOMPARE(rows, expected);
}

QTEST_GUILESS_MAIN(TestProcessors)
#include "tst_processors.moc"
