// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TSystemRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a counter of the kernel's counts.
enum class THardwareKind {
    MachineCheck, // machine-check exceptions (MCE)
    Corrected,    // errors the hardware corrected (THR thresholds, EDAC ce_count)
    Uncorrected,  // errors it could not correct (DFR deferred errors, EDAC ue_count)
    Thermal,      // thermal event interrupts (TRM)
};

// One of the kernel's error counters: a row of /proc/interrupts on one processor, or a memory
// controller's EDAC count.
struct THardwareCounter {
    THardwareKind Kind = THardwareKind::MachineCheck;
    QString Name;           // the interrupts row ("MCE", "THR", "DFR", "TRM") or "mc0"
    std::optional<int> Cpu; // the processor of an interrupts row
    std::int64_t Count = 0;

    // The counter as a result line names a failure it shows: "machine check on CPU 3",
    // "deferred error on CPU 5", "uncorrected memory error in mc0".
    QString Text() const;
};

// What the counters counted between two readings. Each kind is none when the machine shows no
// counter of it.
struct THardwareErrorCounts {
    std::optional<std::int64_t> MachineChecks;
    std::optional<std::int64_t> CorrectedErrors;
    std::optional<std::int64_t> UncorrectedErrors;
    std::optional<std::int64_t> ThermalEvents;
    // The counters that grew, each by how much, in the order the machine lists them.
    std::vector<THardwareCounter> Grown;

    // The counts between `before` and `after` (of the same machine). A counter missing from
    // `before` (its processor came online) or that went back (reset) counts nothing.
    static THardwareErrorCounts Between(const std::vector<THardwareCounter>& before,
                                        const std::vector<THardwareCounter>& after);
    // Adds the counts of another stretch (a cycle's turns).
    void Add(const THardwareErrorCounts& other);
    // The first machine check or uncorrected error: the hardware itself failed the run.
    std::optional<THardwareCounter> Failure() const;
    // The line after a result that had corrected errors: "warning: the hardware corrected 3
    // errors during the run (THR on CPU 1: 2, mc0: 1)"; empty when it had none.
    QByteArray Warning() const;
};

// The processors' own error reports: the machine-check, threshold, deferred-error and thermal
// rows of <proc>/interrupts (per processor) and the EDAC memory controllers'
// <sys>/devices/system/edac/mc/mc*/ce_count and ue_count. Read at the start and the end of a run,
// not at every tick: /proc/interrupts grows with the processors.
class THardwareErrors {
public:
    explicit THardwareErrors(const TSystemPaths& paths = {});

    // Every counter found, in the machine's order; those that cannot be read are left out.
    std::vector<THardwareCounter> Read();

private:
    std::string interruptsFile;
    struct TController {
        QString Name;
        std::string Corrected;   // ce_count
        std::string Uncorrected; // ue_count
    };
    std::vector<TController> controllers;
    std::string buffer;
};
