// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TRunRecord.h"

#include "ResultLines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

QString SignalName(int signal) {
    if (const char* name = sigabbrev_np(signal)) {
        return QStringLiteral("SIG") + QString::fromLatin1(name);
    }
    return QStringLiteral("signal %1").arg(signal);
}

QString TRunFailure::Text(bool pinned) const {
    if (Kind == TKind::Hardware && Hardware) {
        return Hardware->Text();
    }
    const QString worker = Worker ? QStringLiteral("worker %1").arg(*Worker + 1) : QString();
    if (Kind == TKind::Stalled) {
        return worker + QStringLiteral(" stalled");
    }
    QString text = Word ? QStringLiteral("memory error") : QStringLiteral("computation error");
    if (Worker) {
        text += QStringLiteral(" in ") + worker;
    }
    if (Cpu && (pinned || !Worker)) {
        text += QStringLiteral(" on CPU %1").arg(*Cpu);
    }
    if (Word) {
        text += QStringLiteral(" at 0x%1 (bits %2)")
                    .arg(Word->Address, 0, 16)
                    .arg(Word->Bits, 16, 16, QLatin1Char('0'));
    }
    return text;
}

std::optional<std::pair<std::int64_t, std::int64_t>> TRunFailure::BlockRange() const {
    if (!Block || !Workload->BlockRange) {
        return std::nullopt;
    }
    return Workload->BlockRange(*Block);
}

double TCheckSummary::CheckedShare() const noexcept {
    const std::int64_t done = Blocks + Missed;
    return done > 0 ? static_cast<double>(Checked) / static_cast<double>(done) : 0.0;
}

namespace {

// "12 of 800 blocks", counting the blocks the check missed.
QByteArray CheckedOf(const TCheckSummary& check) {
    return QByteArray::number(check.Checked) + " of " +
           QByteArray::number(check.Blocks + check.Missed) + " blocks";
}

} // namespace

double TRunRecord::SlowestToFastest() const noexcept {
    if (Steps.empty()) {
        return 0.0;
    }
    const auto [slowest, fastest] = std::minmax_element(Steps.begin(), Steps.end());
    if (*fastest <= 0) {
        return 0.0;
    }
    return static_cast<double>(*slowest) / static_cast<double>(*fastest);
}

std::optional<std::int64_t> TRunRecord::DurationSeconds() const noexcept {
    constexpr std::int64_t msPerTick = TTestPlan::TickInterval.count();
    if (Ticks > 0) {
        return std::int64_t{Ticks} * msPerTick / 1000;
    }
    if (Outcome == TOutcome::Running) {
        return std::nullopt;
    }
    return std::int64_t{TicksRun} * msPerTick / 1000;
}

double TRunRecord::SecondsRun() const {
    return static_cast<double>(Start.msecsTo(End)) / 1000.0;
}

QByteArray TRunRecord::InterruptionText() const {
    QByteArray text = Test == TTestKind::Benchmark ? QByteArray("benchmark")
                                                   : "stress test \"" + DurationText.toUtf8() + '"';
    text += " interrupted after " +
            LengthText(static_cast<std::int64_t>(std::floor(SecondsRun()))).toUtf8();
    if (Signal != 0) {
        text += " by " + SignalName(Signal).toUtf8();
    }
    return text;
}

QByteArray TRunRecord::ResultLine() const {
    const bool benchmark = Test == TTestKind::Benchmark;
    QByteArray line;
    if (Outcome == TOutcome::Failed && Failure) {
        const QString reason = Failure->Text(Pinned);
        line = benchmark ? BenchmarkFailedLine(EndText, reason)
                         : StressFailedLine(EndText, DurationText, reason);
    } else {
        line = benchmark ? BenchmarkResultLine(EndText, Score)
                         : StressResultLine(EndText, DurationText);
    }
    QByteArrayList notes;
    if (Workers == 1 && Outcome != TOutcome::Failed) {
        notes += "1 worker, " + CheckedOf(Check) + " checked";
    } else if (Workers != TTestPlan::WorkerCount) {
        notes += QByteArray::number(Workers) + (Workers == 1 ? " worker" : " workers");
    }
    if (!Workload.IsDefault()) {
        notes += Workload.Name();
    }
    if (!notes.isEmpty()) {
        line += " (" + notes.join(", ") + ')';
    }
    return line;
}

QByteArray TRunRecord::CheckLine() const {
    if (Outcome != TOutcome::Completed) {
        return {};
    }
    QByteArrayList parts;
    if (!Check.Verified()) {
        parts += "nothing was checked: the run ended before a block was compared, so this is no "
                 "verified pass";
    } else if (Check.CheckedShare() < 0.5) {
        parts += "only " + CheckedOf(Check) + " (" +
                 QByteArray::number(Check.CheckedShare() * 100, 'f', 1) +
                 "%) were checked: more workers, or cycle, check more";
    }
    if (Check.Missed > 0) {
        parts += QByteArray::number(Check.Missed) +
                 (Check.Missed == 1 ? " block was" : " blocks were") +
                 " not checked: read too late from the workers";
    }
    return parts.join("; ");
}

QByteArrayList TRunRecord::Notes() const {
    const auto tenths = [](double seconds) { return QByteArray::number(seconds, 'f', 1) + " s"; };
    QByteArrayList notes;
    QByteArrayList starved;
    std::size_t longest = 0;
    double least = 0;
    for (std::size_t i = 0; i < StarvedSeconds.size(); ++i) {
        if (StarvedSeconds[i] >= NotedStarvedSeconds) {
            starved += "worker " + QByteArray::number(i + 1) + " for " + tenths(StarvedSeconds[i]);
            least = starved.size() == 1 ? StarvedSeconds[i] : std::min(least, StarvedSeconds[i]);
            longest = StarvedSeconds[i] > StarvedSeconds[longest] ? i : longest;
        }
    }
    // Many workers are a busy machine: a line says how much, not each one.
    if (starved.size() > NotedStarvedWorkers) {
        starved = {QByteArray::number(starved.size()) + " workers for " + tenths(least) + " to " +
                   tenths(StarvedSeconds[longest]) + " (the longest worker " +
                   QByteArray::number(longest + 1) + ')'};
    }
    if (!starved.isEmpty()) {
        notes += "starved, not stalled (given no processor time): " + starved.join(", ");
    }
    const double longer = PausedSeconds + LateSeconds;
    const double asked = Seconds - longer;
    if (longer > LongerSeconds && longer > LongerShare * asked) {
        QByteArrayList why;
        if (LateSeconds >= 0.05) {
            why += tenths(LateSeconds) + " late (ticks kept waiting, or cut short by a stop)";
        }
        if (PausedSeconds >= 0.05) {
            why += tenths(PausedSeconds) + " paused (the process was stopped)";
        }
        notes +=
            "the run took " + tenths(Seconds) + " for " + tenths(asked) + ": " + why.join(", ");
    }
    if (const QByteArray checked = CheckLine(); !checked.isEmpty()) {
        notes += checked;
    }
    if (HardwareErrors && !HardwareErrors->Warning().isEmpty()) {
        notes += HardwareErrors->Warning();
    }
    return notes;
}
