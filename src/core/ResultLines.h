// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The report lines a completed test adds to the log, as UTF-8.
QByteArray BenchmarkResultLine(const QString& dateTimeText, std::int64_t score);
QByteArray StressResultLine(const QString& dateTimeText, const QString& durationText);

// The report lines of a run that ended early because worker `worker` (0 to 14) computed wrongly.
QByteArray BenchmarkFailedLine(const QString& dateTimeText, int worker);
QByteArray StressFailedLine(const QString& dateTimeText, const QString& durationText, int worker);

// The report lines of a run that the machine or the program did not survive, found at the next
// start; `minutes` are whole minutes done.
QByteArray BenchmarkInterruptedLine(const QString& dateTimeText, int ticks);
QByteArray StressInterruptedLine(const QString& dateTimeText, const QString& durationText,
                                 int minutes);
