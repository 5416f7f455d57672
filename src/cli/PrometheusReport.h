// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include "TCycleRun.h"
#include "TRunRecord.h"

#include <QByteArray>
#include <QString>

#include <vector>

// morvel-cli's metrics (--prometheus) in the Prometheus text exposition format, for the node
// exporter's textfile collector.
namespace PrometheusReport {

// An ended run: completed, failed or interrupted (morvel_interrupted 1).
QByteArray Metrics(const TRunRecord& record);
// An ended cycle, as test="cycle", and each processor's figures as morvel_cycle_<name>{cpu}.
QByteArray Cycle(const TCycleRun::TResult& result);
// One sample with its help and type lines: morvel_<name>{labels} value.
void AddMetric(QByteArray& text, const char* name, const char* help, const QByteArray& labels,
               double value);
// A label value with the text format's escapes, quoted.
QByteArray LabelValue(const QString& value);
// What the hardware's error counters counted, as morvel_<name>{cpu,kind,<labels>}: one sample
// per kind ("machine_check", "corrected", "uncorrected", "thermal") and processor that counted
// some, one without a processor for the memory controllers' counts, and a single 0 for a kind
// the machine counts that counted nothing. Kinds the machine has no counter of are left out.
void AddHardwareErrors(QByteArray& text, const char* name, const THardwareErrorCounts& counts,
                       const QByteArray& labels);

// The warnings of a run by kind, as morvel_warnings{kind,<labels>}: one sample for each kind,
// 0 when there was none of it.
void AddWarnings(QByteArray& text, const std::vector<TWarning>& warnings, const QByteArray& labels);

} // namespace PrometheusReport
