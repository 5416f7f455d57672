// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

// A detached thread whose body is the virtual Execute() of the most derived class.
//
// Threads are only ever started through Start(), which constructs the whole object first and
// only then launches the thread, so Execute() never runs on a half-built object. The running
// thread shares ownership of its object: whoever else holds it may drop it at any time, and the
// object is released once the body has returned and nobody refers to it any more. Nothing ever
// joins or waits for a thread; RequestStop() only raises the flag the body polls.
class TThread {
public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread() = default;

    // Constructs a T from args and starts its body on a new, detached thread, kept to its
    // processor when it has one. Throws std::system_error when the system will not run it
    // there (the processor gone offline, or not in the process's set): the thread is then told
    // to stop, and no result ever names a processor its worker did not run on.
    template <class T, class... Args> static std::shared_ptr<T> Start(Args&&... args) {
        auto thread = std::make_shared<T>(std::forward<Args>(args)...);
        std::thread body([thread]() mutable {
            thread->Run();
            thread.reset();
        });
        const int cpu = thread->PinnedCpu();
        const int refused = cpu >= 0 ? Pin(body, cpu) : 0;
        body.detach();
        if (refused != 0) {
            thread->RequestStop();
            throw std::system_error(refused, std::generic_category(),
                                    "cannot run a worker on processor " + std::to_string(cpu));
        }
        return thread;
    }

    // Asks the body to return at its next check. Never waits.
    void RequestStop() noexcept { stopRequested.store(true, std::memory_order_relaxed); }
    bool StopRequested() const noexcept { return stopRequested.load(std::memory_order_relaxed); }

    // The processor the thread is kept to, or -1.
    int PinnedCpu() const noexcept { return pinnedCpu; }

    // True once the body has returned.
    bool Finished() const noexcept { return finished.load(std::memory_order_acquire); }

    // The processor time the thread has had: 0 before its body starts, none once it has
    // returned or when the system does not say.
    std::optional<std::chrono::nanoseconds> CpuTime() const noexcept;

protected:
    // cpu: the processor the thread is kept to, or -1 to let the system choose.
    explicit TThread(int cpu = -1) noexcept : pinnedCpu(cpu) {}

    // The thread body. Polls StopRequested() and returns once it is set.
    virtual void Execute() = 0;

private:
    void Run() {
        KeepCpuClock();
        Execute();
        finished.store(true, std::memory_order_release);
    }
    // Called by the thread itself: the clock of its processor time, read by others.
    void KeepCpuClock() noexcept;
    // Keeps `thread` to processor `cpu`; 0, or the system's error number.
    static int Pin(std::thread& thread, int cpu) noexcept;

    const int pinnedCpu;

    enum class TClockState { NotStarted, Known, Unknown };
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finished{false};
    std::atomic<TClockState> clockState{TClockState::NotStarted};
    clockid_t cpuClock = 0; // written once, before clockState is Known
};
