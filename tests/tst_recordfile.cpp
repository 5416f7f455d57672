// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// A live record read back as morvel-cli writes it: each run's start, its ticks and its result,
// and where a file stops being a record.
#include "JsonReport.h"
#include "RecordFile.h"

#include <QBuffer>
#include <QTest>

class TestRecordFile : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
};

namespace {

// Two runs of a record file as the writer makes them: the second with sensors, the first
// without, and its result.
QByteArray TwoRuns() {
    TRunRecord record;
    record.Workers = 2;
    QByteArray file = JsonReport::Header(record) + '\n';
    for (int tick = 1; tick <= 2; ++tick) {
        record.TicksRun = tick;
        record.Seconds = tick * 1.001;
        record.SlowestRate = 100 * tick;
        record.FastestRate = 150 * tick;
        file += JsonReport::Tick(record) + '\n';
    }
    record.Outcome = TRunRecord::TOutcome::Completed;
    record.Check = {40, 38, 1, 2};
    file += JsonReport::Result(record) + '\n';
    file += JsonReport::Header(record) + '\n';
    record.TicksRun = 1;
    record.LastSensors = {1200, 2400.5, 3400, 71.5, {}, {}, 35.2};
    file += JsonReport::Tick(record) + '\n';
    return file;
}

// What a reader saw, a word a line: "start", "tick 2 2.002 200 300 - - - -" (tick, seconds,
// slowest and fastest rate, mean and highest MHz, temperature, power), "result 38/40".
QString Seen(const TRecordLine& line) {
    const TRunRecord& r = line.Record;
    const auto figure = [](std::optional<double> value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    switch (line.Kind) {
    case TRecordLine::TKind::Start:
        return QStringLiteral("start");
    case TRecordLine::TKind::Tick:
        return QStringLiteral("tick %1 %2 %3 %4 %5 %6 %7 %8")
            .arg(r.TicksRun)
            .arg(r.Seconds)
            .arg(r.SlowestRate)
            .arg(r.FastestRate)
            .arg(figure(r.LastSensors.MeanMHz), figure(r.LastSensors.MaxMHz),
                 figure(r.LastSensors.TemperatureC), figure(r.LastSensors.PackageWatts));
    case TRecordLine::TKind::Result:
        return QStringLiteral("result %1/%2").arg(r.Check.Checked).arg(r.Check.Blocks);
    }
    return {};
}

} // namespace

void TestRecordFile::read_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("error");
    const QStringList runs = {"start",
                              "tick 1 1.001 100 150 - - - -",
                              "tick 2 2.002 200 300 - - - -",
                              "result 38/40",
                              "start",
                              "tick 1 2.002 200 300 2400.5 3400 71.5 35.2"};
    QTest::newRow("two runs") << TwoRuns() << runs << QString();
    QTest::newRow("blank and unknown lines")
        << QByteArray("\n{\"schema\":2}\n" + TwoRuns()) << runs << QString();
    // A file cut in the middle of a line (a machine that stopped) keeps what came before.
    QTest::newRow("cut short") << TwoRuns() + "{\"tick\":3,\"sec" << runs
                               << QStringLiteral("line 7 is not a JSON object");
    QTest::newRow("no record") << QByteArray(MaxRecordLine + 1, 'x') << QStringList()
                               << QStringLiteral("line 1 is longer than a record's line");
}

void TestRecordFile::read() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, seen);
    QFETCH(QString, error);
    QBuffer buffer(&file);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QStringList lines;
    QCOMPARE(ReadRecordFile(buffer, [&](const TRecordLine& line) { lines.append(Seen(line)); }),
             error);
    QCOMPARE(lines, seen);
}

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
