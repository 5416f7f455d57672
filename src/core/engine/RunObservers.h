// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "THardwareErrors.h"
#include "TRunJournal.h"
#include "TRunLock.h"
#include "TRunObserver.h"
#include "TSensors.h"
#include "TSleepInhibitor.h"
#include "TSystemRecord.h"
#include "TWarningWatch.h"

#include <memory>
#include <optional>
#include <vector>

// The parts of a run that know nothing of it, as the engine tells them of its steps.

// The run holds the lock from before its first worker starts to its end, so that no other
// process runs a test meanwhile: a start under another process's lock throws ERunLocked.
class TLockObserver final : public TRunObserver {
public:
    explicit TLockObserver(std::shared_ptr<TRunLock> runLock) : lock(std::move(runLock)) {}
    void Starting(TRunRecord& record) override;
    void StartFailed() noexcept override { lock->Release(); }
    void Stopping(TRunRecord& record) override;

private:
    std::shared_ptr<TRunLock> lock;
};

// The run keeps the journal while it is active: written at the start and every JournalTicks
// ticks, removed when the run is stopped. A run that ends with a result leaves its result line
// in the journal: the front end removes it once that line is on disk. A journal that cannot be
// written is evidence lost, not a fault of the run: it goes on.
class TJournalObserver final : public TRunObserver {
public:
    static constexpr int JournalTicks = 10;
    explicit TJournalObserver(std::shared_ptr<TRunJournal> runJournal)
        : journal(std::move(runJournal)) {}
    void Started(TRunRecord& record, const QDateTime& now) override;
    void Ticked(TRunRecord& record, double seconds, bool last) override;
    void Ended(const TRunRecord& record) override;

private:
    std::shared_ptr<TRunJournal> journal;
};

// The run keeps the machine from sleeping while it is active: from its start, once its workers
// run (a run that could not start keeps nothing awake), to its end in any way. The record keeps
// why the machine could not be kept awake.
class TInhibitorObserver final : public TRunObserver {
public:
    explicit TInhibitorObserver(std::shared_ptr<TSleepInhibitor> sleepInhibitor)
        : inhibitor(std::move(sleepInhibitor)) {}
    void Started(TRunRecord& record, const QDateTime& now) override;
    void Stopping(TRunRecord& record) override;

private:
    std::shared_ptr<TSleepInhibitor> inhibitor;
};

// The machine a run reads: the system record and the sensors' baseline at its start, the
// sensors at every tick, the hardware's error counters at its start and its end. A machine check
// or an uncorrected error fails a run that would have completed.
class TMachineObserver final : public TRunObserver {
public:
    explicit TMachineObserver(TSystemPaths machine = {}) : paths(std::move(machine)) {}
    // The machine of the runs started from now on.
    void SetPaths(const TSystemPaths& machine) { paths = machine; }
    void Starting(TRunRecord& record) override;
    void Ticked(TRunRecord& record, double seconds, bool last) override;
    void Stopping(TRunRecord& record) override;

private:
    TSystemPaths paths;
    std::optional<TSensors> sensors;
    std::optional<THardwareErrors> hardware;
    std::vector<THardwareCounter> hardwareBefore; // read at the start
    std::optional<TWarningWatch> watch;           // the machine holding the processors back
};
