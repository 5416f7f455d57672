// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The built morvel-cli running a whole real benchmark (three minutes, on one worker): the JSON
// result with this machine's system record and the sensors of every tick, the record of all 180
// ticks and the result, and metrics that promtool accepts. Labelled slow.
#include "Processors.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestCliBenchmark : public QObject {
    Q_OBJECT
private slots:
    void benchmarkWithRecordAndMetrics();
};

void TestCliBenchmark::benchmarkWithRecordAndMetrics() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A run lock of its own, in a state folder of its own: the tests beside it run tests of
    // their own meanwhile.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    QProcess benchmark;
    benchmark.setProcessEnvironment(environment);
    benchmark.start(QStringLiteral(MORVEL_CLI_PATH),
                    {"--workers", "1", "--json", "--record", dir.filePath("run.jsonl"),
                     "--prometheus", dir.filePath("morvel.prom"), "benchmark"});
    QVERIFY(benchmark.waitForStarted());
    if (!benchmark.waitForFinished(600000)) {
        benchmark.kill();
        benchmark.waitForFinished();
        QFAIL("the benchmark did not end in 10 minutes");
    }
    QCOMPARE(benchmark.exitStatus(), QProcess::NormalExit);
    QCOMPARE(benchmark.exitCode(), 0);
    const QByteArray out = benchmark.readAllStandardOutput();
    QVERIFY(out.endsWith('\n') && out.count('\n') == 1);
    const QJsonObject result = QJsonDocument::fromJson(out).object();
    QCOMPARE(result["ticksRun"].toInt(), 180);
    QVERIFY(result["score"].toInteger() > 0);
    const QJsonObject system = result["system"].toObject();
    QCOMPARE(system["version"].toString(), QStringLiteral(MORVEL_VERSION));
    QCOMPARE(system["usableProcessors"].toInt(), static_cast<int>(UsableCpuList().size()));
    QCOMPARE(system["logicalProcessors"].toInt(), int(sysconf(_SC_NPROCESSORS_ONLN)));
    QCOMPARE(result["sensors"]["readings"].toInt(), 180);

    QFile record(dir.filePath("run.jsonl"));
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = record.readAll().chopped(1).split('\n');
    QCOMPARE(lines.size(), 1 + 180 + 1);
    QCOMPARE(QJsonDocument::fromJson(lines.first()).object()["system"].toObject(), system);
    QCOMPARE(QJsonDocument::fromJson(lines[180]).object()["tick"].toInt(), 180);
    QCOMPARE(lines.last() + '\n', out);

    QFile metrics(dir.filePath("morvel.prom"));
    QVERIFY(metrics.open(QIODevice::ReadOnly));
    const QByteArray text = metrics.readAll();
    QVERIFY(text.contains("\nmorvel_score{test=\"benchmark\"} " +
                          QByteArray::number(result["score"].toInteger()) + '\n'));
    if (QStandardPaths::findExecutable("promtool").isEmpty()) {
        QSKIP("needs promtool (Debian package prometheus)");
    }
    QProcess promtool;
    promtool.setStandardInputFile(metrics.fileName());
    promtool.start("promtool", {"check", "metrics"});
    QVERIFY(promtool.waitForFinished(30000));
    QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());
}

QTEST_GUILESS_MAIN(TestCliBenchmark)
#include "tst_clibenchmark.moc"
