// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where the machine's facts are read from. Tests point these at small fixture trees.
struct TSystemPaths {
    QString Sys = QStringLiteral("/sys");
    QString Proc = QStringLiteral("/proc");
    // os-release files in the order they are tried.
    QStringList OsRelease = {QStringLiteral("/etc/os-release"),
                             QStringLiteral("/usr/lib/os-release")};
};

// The machine and the build behind a result, read once per run. Every field the machine does
// not expose stays empty (null in JSON); nothing is guessed.
struct TSystemRecord {
    std::optional<QString> ProcessorModel;
    std::optional<QString> ProcessorVendor;
    std::optional<int> LogicalProcessors; // online on the machine
    std::optional<int> UsableProcessors;  // those this process may run on
    std::optional<bool> Smt;              // simultaneous multithreading active
    std::optional<QString> Kernel;        // kernel release
    std::optional<QString> Distribution;  // PRETTY_NAME of os-release
    std::optional<QString> HostName;
    QString Version;                      // Morvel's
    std::optional<QString> GitRevision;   // of the source the build was made from
    std::optional<QString> Compiler;      // name and version
    std::optional<QString> BuildType;     // CMake build type
    std::optional<QString> CompilerFlags; // the optimisation and other flags of the build
    std::optional<QString> ScalingDriver; // cpufreq driver of the first usable processor
    std::optional<QString> Governor;      // its governor

    static TSystemRecord Read(const TSystemPaths& paths = {});
};

// The first line of a small file (sysfs, procfs), trimmed; nothing when it is missing, cannot be
// read or the line is empty.
std::optional<QString> ReadLine(const QString& path);

// Reads a whole file into `text` with plain system calls (sysfs and procfs report size 0); false
// when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& text);
// `text` without the spaces, tabs and line ends at either end.
std::string_view Trimmed(std::string_view text);

// The processors this process may run on (Cpus_allowed_list of <proc>/self/status), ascending;
// empty when it cannot be read.
std::vector<int> UsableProcessorList(const TSystemPaths& paths);

// A kernel CPU list such as "0-3,8,10-11", ascending; empty when it is malformed.
std::vector<int> ParseCpuList(const QString& text);
