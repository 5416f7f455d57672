// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "THardwareErrors.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <charconv>
#include <string_view>

namespace {

// The rows of /proc/interrupts that count the processors' own reports.
struct TRow {
    std::string_view Name;
    THardwareKind Kind;
};
constexpr TRow Rows[] = {
    {"MCE", THardwareKind::MachineCheck},
    {"THR", THardwareKind::Corrected},
    {"DFR", THardwareKind::Uncorrected},
    {"TRM", THardwareKind::Thermal},
};

// The next blank-separated word of `text`, taken off its front.
std::string_view NextWord(std::string_view& text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto end = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

// A count as the kernel writes it: digits only.
std::optional<std::int64_t> Count(std::string_view word) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || word.front() == '-' || error != std::errc() ||
        end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}

// The processors of the columns, from the header line ("CPU0 CPU1 CPU3 ..."; offline processors
// have none); empty when the line is not such a header.
std::vector<int> Columns(std::string_view header) {
    std::vector<int> cpus;
    for (std::string_view word = NextWord(header); !word.empty(); word = NextWord(header)) {
        const auto cpu = word.substr(0, 3) == "CPU" ? Count(word.substr(3)) : std::nullopt;
        if (!cpu || *cpu > 1 << 20) {
            return {};
        }
        cpus.push_back(static_cast<int>(*cpu));
    }
    return cpus;
}

void ReadInterrupts(std::string_view text, std::vector<THardwareCounter>& counters) {
    std::size_t end = std::min(text.find('\n'), text.size());
    const std::vector<int> cpus = Columns(text.substr(0, end));
    if (cpus.empty()) {
        return;
    }
    while (end < text.size()) {
        text.remove_prefix(end + 1);
        end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        const std::string_view name = NextWord(line);
        const auto row = std::find_if(std::begin(Rows), std::end(Rows), [name](const TRow& each) {
            return name.size() == each.Name.size() + 1 && name.back() == ':' &&
                   name.substr(0, each.Name.size()) == each.Name;
        });
        if (row == std::end(Rows)) {
            continue;
        }
        std::vector<THardwareCounter> found;
        for (const int cpu : cpus) {
            const auto count = Count(NextWord(line));
            if (!count) {
                break; // a row that is not the kernel's counts counts nothing
            }
            found.push_back(
                {row->Kind,
                 QString::fromLatin1(row->Name.data(), static_cast<qsizetype>(row->Name.size())),
                 cpu, *count});
        }
        if (found.size() == cpus.size()) {
            counters.insert(counters.end(), found.begin(), found.end());
        }
    }
}

std::optional<std::int64_t> ReadCount(const std::string& path, std::string& buffer) {
    if (!ReadWholeFile(path, buffer)) {
        return std::nullopt;
    }
    while (!buffer.empty() && (buffer.back() == '\n' || buffer.back() == ' ')) {
        buffer.pop_back();
    }
    return Count(buffer);
}

} // namespace

QString THardwareCounter::Text() const {
    QString text;
    switch (Kind) {
    case THardwareKind::MachineCheck:
        text = QStringLiteral("machine check");
        break;
    case THardwareKind::Corrected:
        text = Cpu ? QStringLiteral("corrected error threshold")
                   : QStringLiteral("corrected memory error");
        break;
    case THardwareKind::Uncorrected:
        text = Cpu ? QStringLiteral("deferred error") : QStringLiteral("uncorrected memory error");
        break;
    case THardwareKind::Thermal:
        text = QStringLiteral("thermal event");
        break;
    }
    return Cpu ? text + QStringLiteral(" on CPU %1").arg(*Cpu)
               : text + QStringLiteral(" in ") + Name;
}

THardwareErrorCounts THardwareErrorCounts::Between(const std::vector<THardwareCounter>& before,
                                                   const std::vector<THardwareCounter>& after) {
    THardwareErrorCounts counts;
    const auto same = [](const THardwareCounter& a, const THardwareCounter& b) {
        return a.Kind == b.Kind && a.Cpu == b.Cpu && a.Name == b.Name;
    };
    for (std::size_t i = 0; i < after.size(); ++i) {
        const THardwareCounter& now = after[i];
        std::optional<std::int64_t>& total =
            now.Kind == THardwareKind::MachineCheck  ? counts.MachineChecks
            : now.Kind == THardwareKind::Corrected   ? counts.CorrectedErrors
            : now.Kind == THardwareKind::Uncorrected ? counts.UncorrectedErrors
                                                     : counts.ThermalEvents;
        total = total.value_or(0);
        // Both readings list the counters in the same order unless a processor came or went.
        const auto then =
            i < before.size() && same(before[i], now)
                ? before.begin() + static_cast<std::ptrdiff_t>(i)
                : std::find_if(before.begin(), before.end(),
                               [&](const THardwareCounter& b) { return same(b, now); });
        if (then == before.end() || now.Count <= then->Count) {
            continue;
        }
        THardwareCounter grown = now;
        grown.Count = now.Count - then->Count;
        *total += grown.Count;
        counts.Grown.push_back(grown);
    }
    return counts;
}

void THardwareErrorCounts::Add(const THardwareErrorCounts& other) {
    const auto add = [](std::optional<std::int64_t>& total,
                        const std::optional<std::int64_t>& more) {
        if (more) {
            total = total.value_or(0) + *more;
        }
    };
    add(MachineChecks, other.MachineChecks);
    add(CorrectedErrors, other.CorrectedErrors);
    add(UncorrectedErrors, other.UncorrectedErrors);
    add(ThermalEvents, other.ThermalEvents);
    Grown.insert(Grown.end(), other.Grown.begin(), other.Grown.end());
}

std::optional<THardwareCounter> THardwareErrorCounts::Failure() const {
    for (const THardwareCounter& counter : Grown) {
        if (counter.Kind == THardwareKind::MachineCheck ||
            counter.Kind == THardwareKind::Uncorrected) {
            return counter;
        }
    }
    return std::nullopt;
}

QByteArray THardwareErrorCounts::Warning() const {
    if (CorrectedErrors.value_or(0) == 0) {
        return {};
    }
    QStringList where;
    for (const THardwareCounter& counter : Grown) {
        if (counter.Kind == THardwareKind::Corrected) {
            where << (counter.Cpu
                          ? QStringLiteral("%1 on CPU %2").arg(counter.Name).arg(*counter.Cpu)
                          : counter.Name) +
                         QStringLiteral(": %1").arg(counter.Count);
        }
    }
    return QStringLiteral("warning: the hardware reported %1 corrected error%2 during the run (%3)")
        .arg(*CorrectedErrors)
        .arg(*CorrectedErrors == 1 ? "" : "s")
        .arg(where.join(QStringLiteral(", ")))
        .toUtf8();
}

THardwareErrors::THardwareErrors(const TSystemPaths& paths)
    : interruptsFile(QFile::encodeName(paths.Proc + QStringLiteral("/interrupts")).toStdString()) {
    const QDir edac(paths.Sys + QStringLiteral("/devices/system/edac/mc"));
    QStringList names = edac.entryList({QStringLiteral("mc*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    // mc2 before mc10.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const QString& name : names) {
        bool number = false;
        name.mid(2).toUInt(&number);
        if (!number) {
            continue;
        }
        const QString folder = edac.filePath(name) + QLatin1Char('/');
        controllers.push_back(
            {name, QFile::encodeName(folder + QStringLiteral("ce_count")).toStdString(),
             QFile::encodeName(folder + QStringLiteral("ue_count")).toStdString()});
    }
}

std::vector<THardwareCounter> THardwareErrors::Read() {
    std::vector<THardwareCounter> counters;
    if (ReadWholeFile(interruptsFile, buffer)) {
        ReadInterrupts(buffer, counters);
    }
    for (const TController& controller : controllers) {
        if (const auto count = ReadCount(controller.Corrected, buffer)) {
            counters.push_back({THardwareKind::Corrected, controller.Name, std::nullopt, *count});
        }
        if (const auto count = ReadCount(controller.Uncorrected, buffer)) {
            counters.push_back({THardwareKind::Uncorrected, controller.Name, std::nullopt, *count});
        }
    }
    return counters;
}
