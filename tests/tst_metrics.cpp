// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The metrics of a run as the node exporter's textfile collector takes them, checked by promtool
// and served by a real node exporter (skipped where the tools are missing). Apart from tst_cli,
// since ThreadSanitizer does not allow starting the tools from a process that ran workers.
#include "DurableFile.h"
#include "PrometheusReport.h"
#include "TCliRun.h"
#include "TFakeWorker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TCliRun::TSettings ShortRun(TTestKind test, int workers) {
    TCliRun::TSettings settings;
    settings.Test = test;
    settings.Workers = workers;
    settings.TickLength = 2ms;
    settings.Format = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    return settings;
}

// A TCP port on the loopback interface that nothing listens on just now.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// The body of GET /metrics on the loopback port; empty when nothing answers.
QByteArray Scrape(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    QByteArray response;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(fd, request.constData(), static_cast<std::size_t>(request.size()), 0) ==
            request.size()) {
            char chunk[65536];
            ssize_t got = 0;
            while ((got = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
                response.append(chunk, got);
            }
        }
    }
    ::close(fd);
    return response.mid(response.indexOf("\r\n\r\n") + 4);
}

// The samples of a metrics text, "name{labels}" to value. An empty label is no label (the node
// exporter gives every sample of a metric the same labels, empty where a sample had none).
QMap<QByteArray, double> Samples(const QByteArray& text) {
    static const QRegularExpression empty(R"((?<=[{,])\w+="",?)");
    QMap<QByteArray, double> samples;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#')) {
            const qsizetype space = line.lastIndexOf(' ');
            const QString name = QString::fromUtf8(line.left(space)).remove(empty);
            samples.insert(name.toUtf8().replace(",}", "}"), line.mid(space + 1).toDouble());
        }
    }
    return samples;
}

// The sample names of `samples` that start with `prefix`.
QList<QByteArray> Keys(const QMap<QByteArray, double>& samples, const QByteArray& prefix) {
    QList<QByteArray> keys;
    for (auto key = samples.keyBegin(); key != samples.keyEnd(); ++key) {
        if (key->startsWith(prefix)) {
            keys.append(*key);
        }
    }
    return keys;
}

} // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void metricsForTheNodeExporter_data();
    void metricsForTheNodeExporter();
};

void TestMetrics::metricsForTheNodeExporter_data() {
    QTest::addColumn<bool>("fail");
    QTest::addColumn<bool>("interrupt"); // a stop signal ends the run at its third tick
    QTest::newRow("completed benchmark") << false << false;
    QTest::newRow("failed stress test") << true << false;
    QTest::newRow("interrupted stress test") << false << true;
}

// The metrics of a run as the node exporter's textfile collector takes them: replaced in one
// step, readable by the collector's user, accepted by promtool, served by a real node exporter.
void TestMetrics::metricsForTheNodeExporter() {
    QFETCH(bool, fail);
    QFETCH(bool, interrupt);
    const bool stress = fail || interrupt;
    auto settings = ShortRun(stress ? TTestKind::Stress : TTestKind::Benchmark, 2);
    // A stand-in worker off the path fails the run at its first tick.
    TFakeWorkers workers;
    if (fail) {
        workers.prepare = [](TFakeWorker& worker, int slot) {
            worker.Settle();
            worker.candidate = slot == 0 ? TVerifier::KnownPrime - 2 : worker.candidate;
        };
        settings.WorkerFactory = workers.Factory();
    }
    int waits = 0;
    const auto waiter = [&](TCliRun::Clock::time_point deadline) {
        std::this_thread::sleep_until(deadline);
        return interrupt && ++waits == 3 ? SIGINT : 0;
    };
    TRunRecord record = TCliRun::Run(settings, waiter, nullptr);
    if (fail) {
        // As the hardware's counters would have counted them: a machine check on CPU 3, two
        // corrected memory errors, no thermal events, and no counter of deferred errors.
        record.HardwareErrors = THardwareErrorCounts{
            1,
            2,
            std::nullopt,
            0,
            {{THardwareKind::MachineCheck, "MCE", 3, 1}, {THardwareKind::Corrected, "mc0", {}, 2}}};
        record.Warnings = {{TWarning::TKind::Temperature, 3, 1, "CPU 3 reached 100 \u00b0C"},
                           {TWarning::TKind::Temperature, 1, 2, "CPU 1 reached 100 \u00b0C"}};
    }
    QCOMPARE(record.Outcome, fail        ? TRunRecord::TOutcome::Failed
                             : interrupt ? TRunRecord::TOutcome::Interrupted
                                         : TRunRecord::TOutcome::Completed);

    QTemporaryDir dir;
    const QString path = dir.filePath("morvel.prom");
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    const mode_t mask = ::umask(022);
    const DurableFile::TResult replaced =
        DurableFile::Replace(path, PrometheusReport::Metrics(record), 0644);
    ::umask(mask);
    QVERIFY2(replaced, qPrintable(replaced.Message()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"morvel.prom"});
    QVERIFY(QFile::permissions(path) & QFile::ReadOther);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();

    const QMap<QByteArray, double> samples = Samples(text);
    const QByteArray test = stress ? R"({test="stress"})" : R"({test="benchmark"})";
    QCOMPARE(samples.value("morvel_completed" + test, -1), fail || interrupt ? 0.0 : 1.0);
    QCOMPARE(samples.value("morvel_interrupted" + test, -1), interrupt ? 1.0 : 0.0);
    // A run that compared no block has no verdict to serve.
    QCOMPARE(samples.value("morvel_verification_passed" + test, -1), fail ? 0.0
                                                                     : record.Check.Verified()
                                                                         ? 1.0
                                                                         : -1.0);
    // The failed worker, counted from 1, is a label of one sample.
    const auto failed =
        std::find_if(samples.keyBegin(), samples.keyEnd(), [](const QByteArray& key) {
            return key.startsWith("morvel_failed{") && key.contains(R"(test="stress")") &&
                   key.contains(R"(worker="1")");
        });
    QCOMPARE(failed != samples.keyEnd(), fail);
    QCOMPARE(samples.contains("morvel_score" + test), !stress);
    if (!stress) {
        QCOMPARE(samples.value("morvel_score" + test), double(record.Score));
    }
    if (fail) {
        QCOMPARE(Keys(samples, "morvel_hardware_errors{"),
                 QList<QByteArray>(
                     {R"(morvel_hardware_errors{cpu="3",kind="machine_check",test="stress"})",
                      R"(morvel_hardware_errors{kind="corrected",test="stress"})",
                      R"(morvel_hardware_errors{kind="thermal",test="stress"})"}));
        QCOMPARE(samples.value(R"(morvel_hardware_errors{kind="corrected",test="stress"})"), 2.0);
    }
    // Every kind of warning has its count, 0 included.
    const QByteArray kind = "morvel_warnings{kind=";
    QCOMPARE(samples.value(kind + R"("temperature",)" + test.mid(1), -1), fail ? 2.0 : 0.0);
    QCOMPARE(samples.value(kind + R"("clockDrop",)" + test.mid(1), -1), 0.0);
    QCOMPARE(samples.value("morvel_workers" + test), 2.0);
    QCOMPARE(samples.value("morvel_ticks" + test), double(record.TicksRun));
    QCOMPARE(qint64(samples.value("morvel_end_time_seconds" + test)),
             record.End.toSecsSinceEpoch());
    QCOMPARE(samples.value("morvel_frequency_mean_hertz" + test, -1),
             record.Sensors->MeanMHz ? *record.Sensors->MeanMHz * 1e6 : -1.0);
    // The build is the same whatever ran: its one sample has no test label.
    const QList<QByteArray> builds = Keys(samples, "morvel_build_info{");
    QCOMPARE(builds.size(), 1);
    QVERIFY2(builds.first().contains("revision=") && builds.first().contains("version=") &&
                 !builds.first().contains("test="),
             builds.first().constData());

    if (QStandardPaths::findExecutable("promtool").isEmpty()) {
        QSKIP("needs promtool (Debian package prometheus)");
    }
    QProcess promtool;
    promtool.start("promtool", {"check", "metrics"});
    QVERIFY(promtool.waitForStarted());
    promtool.write(text);
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(30000));
    QVERIFY2(promtool.exitCode() == 0, promtool.readAll().constData());

    if (QStandardPaths::findExecutable("prometheus-node-exporter").isEmpty()) {
        QSKIP("needs prometheus-node-exporter");
    }
    const int port = FreePort();
    QVERIFY(port > 0);
    QProcess exporter;
    exporter.setProcessChannelMode(QProcess::MergedChannels);
    exporter.start("prometheus-node-exporter",
                   {QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port),
                    "--collector.disable-defaults", "--collector.textfile",
                    "--collector.textfile.directory=" + dir.path()});
    QVERIFY(exporter.waitForStarted());
    QByteArray served;
    for (int attempt = 0; attempt < 100 && served.isEmpty(); ++attempt) {
        if (exporter.state() != QProcess::Running) {
            break;
        }
        served = Scrape(port);
        if (served.isEmpty()) {
            QTest::qWait(100);
        }
    }
    // Stopped by its own id.
    ::kill(static_cast<pid_t>(exporter.processId()), SIGTERM);
    if (!exporter.waitForFinished(10000)) {
        exporter.kill();
        exporter.waitForFinished();
    }
    QVERIFY2(!served.isEmpty(), exporter.readAll().constData());
    const QMap<QByteArray, double> scraped = Samples(served);
    QCOMPARE(scraped.value("node_textfile_scrape_error", -1), 0.0);
    for (auto sample = samples.cbegin(); sample != samples.cend(); ++sample) {
        QVERIFY2(scraped.contains(sample.key()), sample.key().constData());
        QCOMPARE(scraped.value(sample.key()), sample.value());
    }
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
