// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TSystemRecord.h"

#include <QFile>

#include "GitRevision.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#ifndef MORVEL_VERSION
#error "MORVEL_VERSION and the other build facts come from src/core/machine/CMakeLists.txt"
#endif

namespace {

// A small text file whole, or nothing when it cannot be read.
std::optional<QByteArray> ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // sysfs and procfs files report size 0: read until the end.
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return text;
}

std::optional<QString> Text(const char* value) {
    const QString text = QString::fromUtf8(value).trimmed();
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

// The value of the first "key : value" line of /proc/cpuinfo with one of the keys.
std::optional<QString> CpuInfoField(const QByteArray& cpuinfo,
                                    std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        for (const QByteArray& line : cpuinfo.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed() == key) {
                const QString value = QString::fromUtf8(line.mid(colon + 1)).trimmed();
                if (!value.isEmpty()) {
                    return value;
                }
            }
        }
    }
    return std::nullopt;
}

// PRETTY_NAME of an os-release file, its quotes and escapes removed.
std::optional<QString> PrettyName(const QByteArray& osRelease) {
    for (const QByteArray& raw : osRelease.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("PRETTY_NAME=")) {
            continue;
        }
        QByteArray value = line.mid(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.mid(1, value.size() - 2);
        }
        QByteArray unescaped;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                ++i;
            }
            unescaped += value[i];
        }
        return unescaped.isEmpty() ? std::nullopt
                                   : std::optional<QString>(QString::fromUtf8(unescaped));
    }
    return std::nullopt;
}

} // namespace

std::vector<int> ParseCpuList(const QString& text) {
    std::vector<int> cpus;
    const QString list = text.trimmed();
    if (list.isEmpty()) {
        return cpus;
    }
    for (const QString& part : list.split(QLatin1Char(','))) {
        bool firstOk = false;
        bool lastOk = true;
        const int first = part.section(QLatin1Char('-'), 0, 0).toInt(&firstOk);
        const int last = part.contains(QLatin1Char('-'))
                             ? part.section(QLatin1Char('-'), 1, 1).toInt(&lastOk)
                             : first;
        if (!firstOk || !lastOk || first < 0 || last < first || last - first > (1 << 20)) {
            return {};
        }
        for (int cpu = first; cpu <= last; ++cpu) {
            cpus.push_back(cpu);
        }
    }
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    return cpus;
}

std::optional<QString> ReadLine(const QString& path) {
    const std::optional<QByteArray> text = ReadText(path);
    if (!text) {
        return std::nullopt;
    }
    const QString line = QString::fromUtf8(text->left(text->indexOf('\n'))).trimmed();
    if (line.isEmpty()) {
        return std::nullopt;
    }
    return line;
}

std::vector<int> UsableProcessorList(const TSystemPaths& paths) {
    const std::optional<QByteArray> status = ReadText(paths.Proc + QStringLiteral("/self/status"));
    if (!status) {
        return {};
    }
    for (const QByteArray& line : status->split('\n')) {
        if (line.startsWith("Cpus_allowed_list:")) {
            return ParseCpuList(QString::fromLatin1(line.mid(18)));
        }
    }
    return {};
}

TSystemRecord TSystemRecord::Read(const TSystemPaths& paths) {
    TSystemRecord record;
    const QString cpuRoot = paths.Sys + QStringLiteral("/devices/system/cpu");
    const QByteArray cpuinfo =
        ReadText(paths.Proc + QStringLiteral("/cpuinfo")).value_or(QByteArray());
    // x86 names the model and vendor; other architectures name fewer things, or none.
    record.ProcessorModel = CpuInfoField(cpuinfo, {"model name", "cpu model", "cpu"});
    record.ProcessorVendor = CpuInfoField(cpuinfo, {"vendor_id", "vendor"});

    if (const auto online = ReadLine(cpuRoot + QStringLiteral("/online"))) {
        if (const std::vector<int> cpus = ParseCpuList(*online); !cpus.empty()) {
            record.LogicalProcessors = static_cast<int>(cpus.size());
        }
    }
    if (!record.LogicalProcessors) {
        const QList<QByteArray> lines = cpuinfo.split('\n');
        const int entries = static_cast<int>(
            std::count_if(lines.cbegin(), lines.cend(), [](const QByteArray& line) {
                const qsizetype colon = line.indexOf(':');
                return colon > 0 && line.left(colon).trimmed() == "processor";
            }));
        if (entries > 0) {
            record.LogicalProcessors = entries;
        }
    }
    const std::vector<int> usable = UsableProcessorList(paths);
    if (!usable.empty()) {
        record.UsableProcessors = static_cast<int>(usable.size());
    }
    if (const auto smt = ReadLine(cpuRoot + QStringLiteral("/smt/active"))) {
        if (*smt == QLatin1String("0") || *smt == QLatin1String("1")) {
            record.Smt = *smt == QLatin1String("1");
        }
    }
    record.Kernel = ReadLine(paths.Proc + QStringLiteral("/sys/kernel/osrelease"));
    record.HostName = ReadLine(paths.Proc + QStringLiteral("/sys/kernel/hostname"));
    for (const QString& path : paths.OsRelease) {
        if (const auto text = ReadText(path)) {
            record.Distribution = PrettyName(*text);
            break;
        }
    }

    record.Version = QStringLiteral(MORVEL_VERSION);
    record.GitRevision = Text(MORVEL_GIT_REVISION);
    record.Compiler = Text(MORVEL_COMPILER);
    record.BuildType = Text(MORVEL_BUILD_TYPE);
    record.CompilerFlags = Text(MORVEL_CXX_FLAGS);

    const int first = usable.empty() ? 0 : usable.front();
    const QString cpufreq = cpuRoot + QStringLiteral("/cpu%1/cpufreq/").arg(first);
    record.ScalingDriver = ReadLine(cpufreq + QStringLiteral("scaling_driver"));
    record.Governor = ReadLine(cpufreq + QStringLiteral("scaling_governor"));
    return record;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            text.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

std::string_view Trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}
