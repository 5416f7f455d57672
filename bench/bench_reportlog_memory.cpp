// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// Memory and time of big or odd report files, printed as figures:
//  1. a file of 100 MB of empty lines (50 million CR LF pairs): the memory the loaded log takes,
//     against the target of the file's size plus 32 bytes a line;
//  2. a line of 20 MiB: the time the list takes to get the text it shows for it.
// Times are the thread's CPU time, so that what else the machine runs does not count.
//
// Usage: bench_reportlog_memory [megabytes, default 100]
#include "TReportLog.h"
#include "ThreadClock.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// A figure of /proc/self/status in KiB, e.g. "VmRSS" or "VmHWM".
long long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::atoll(line.c_str() + field.size() + 1);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/MorvelReport.dat");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        const QByteArray block = QByteArray("\r\n").repeated(512 * 1024); // 1 MiB
        for (long long i = 0; i < megabytes * 1000000 / block.size(); ++i) {
            file.write(block);
        }
    }
    const double fileBytes = static_cast<double>(QFile(path).size());

    const long long before = StatusKiB("VmRSS");
    TReportLog log(path);
    double start = Bench::ThreadSeconds();
    log.Load();
    const double loadSeconds = Bench::ThreadSeconds() - start;
    const long long after = StatusKiB("VmRSS");
    const long long peak = StatusKiB("VmHWM");
    const double lines = log.Count();
    const double kept = static_cast<double>(after - before) * 1024;
    const double target = fileBytes + 32 * lines;
    std::printf("file:            %.0f bytes, %.0f lines\n", fileBytes, lines);
    std::printf("load:            %.2f s CPU\n", loadSeconds);
    std::printf(
        "memory kept:     %.1f MB = %.1f bytes a line  (target < %.1f MB: file + 32 B/line)\n",
        kept / 1e6, kept / lines, target / 1e6);
    std::printf("peak process:    %.1f MB\n", static_cast<double>(peak) * 1024 / 1e6);

    TReportLog longLine(dir.path() + QStringLiteral("/long.dat"));
    longLine.AddLine(QByteArray(20 << 20, 'x'));
    start = Bench::ThreadSeconds();
    const QString shown = longLine.data(longLine.index(0)).toString();
    std::printf("20 MiB line:     shown as %lld characters in %.3f ms CPU\n",
                static_cast<long long>(shown.size()), (Bench::ThreadSeconds() - start) * 1e3);
    return kept < target ? 0 : 1;
}
