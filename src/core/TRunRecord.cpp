#include "TRunRecord.h"

#include "ResultLines.h"
#include "TRunEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// ISO 8601 with the local offset from UTC.
QString IsoText(const QDateTime& when) {
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

double TRunRecord::SlowestToFastest() const noexcept {
    if (Divisions.empty()) {
        return 0.0;
    }
    const auto [slowest, fastest] = std::minmax_element(Divisions.begin(), Divisions.end());
    if (*fastest <= 0) {
        return 0.0;
    }
    return static_cast<double>(*slowest) / static_cast<double>(*fastest);
}

QByteArray TRunRecord::ResultLine() const {
    const bool benchmark = Test == TTestKind::Benchmark;
    QByteArray line;
    if (Outcome == TOutcome::Failed && FailedWorker) {
        line = benchmark ? BenchmarkFailedLine(EndText, *FailedWorker)
                         : StressFailedLine(EndText, DurationText, *FailedWorker);
    } else {
        line = benchmark ? BenchmarkResultLine(EndText, Score)
                         : StressResultLine(EndText, DurationText);
    }
    if (Workers != TRunEngine::WorkerCount) {
        line += " (" + QByteArray::number(Workers) + " workers)";
    }
    return line;
}

QByteArray TRunRecord::ToJson() const {
    const bool benchmark = Test == TTestKind::Benchmark;
    const bool failed = Outcome == TOutcome::Failed;
    QJsonObject object;
    object.insert("test", benchmark ? "benchmark" : "stress");
    object.insert("duration", benchmark ? QJsonValue(QJsonValue::Null) : QJsonValue(DurationText));
    object.insert("workers", Workers);
    object.insert("ticks", Ticks);
    object.insert("ticksRun", TicksRun);
    object.insert("completed", Outcome == TOutcome::Completed);
    if (benchmark) {
        object.insert("score", Outcome == TOutcome::Completed ? QJsonValue(qint64(Score))
                                                              : QJsonValue(QJsonValue::Null));
    }
    QJsonArray divisions;
    for (const std::int64_t count : Divisions) {
        divisions.append(qint64(count));
    }
    object.insert("divisions", divisions);
    object.insert("slowestToFastest", SlowestToFastest());
    object.insert("start", IsoText(Start));
    object.insert("end", IsoText(End));
    QJsonObject verification;
    verification.insert("passed", !failed);
    verification.insert("failedWorker", failed && FailedWorker ? QJsonValue(*FailedWorker)
                                                               : QJsonValue(QJsonValue::Null));
    object.insert("verification", verification);
    object.insert("resultLine", QString::fromUtf8(ResultLine()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
