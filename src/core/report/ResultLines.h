// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The report lines a completed test adds to the log, as UTF-8.
QByteArray BenchmarkResultLine(const QString& dateTimeText, std::int64_t score);
QByteArray StressResultLine(const QString& dateTimeText, const QString& durationText);

// The report lines of a run that ended early; `reason` says what went wrong and where, as in
// "computation error in worker 3".
QByteArray BenchmarkFailedLine(const QString& dateTimeText, const QString& reason);
QByteArray StressFailedLine(const QString& dateTimeText, const QString& durationText,
                            const QString& reason);

// The report lines of a run that the machine or the program did not survive, found at the next
// start; `minutes` are whole minutes done.
QByteArray BenchmarkInterruptedLine(const QString& dateTimeText, int ticks);
QByteArray StressInterruptedLine(const QString& dateTimeText, const QString& durationText,
                                 int minutes);

// A length as result lines name it, in the style of the stress presets: under a minute "10s",
// whole minutes "45min", whole hours "120min (2hrs)", otherwise "90min 15s".
QString LengthText(std::int64_t seconds);
