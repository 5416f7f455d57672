// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TCliArguments.h"

#include "TRunEngine.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <sched.h>
#include <thread>

namespace {

TCliArguments Failure(QString error) {
    TCliArguments result;
    result.Action = TCliArguments::TAction::Error;
    result.Error = std::move(error);
    return result;
}

bool IsDecimal(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// A count written plainly: decimal digits without a leading zero, at most `most`; 0 when it is
// none.
int Count(const QString& text, int most) {
    if (!IsDecimal(text) || text.startsWith(QLatin1Char('0')) || text.size() > 9) {
        return 0;
    }
    const int count = text.toInt();
    return count <= most ? count : 0;
}

// The seconds of a length written as days, hours, minutes and seconds in that order, each part
// optional but one at least: "90s", "45m", "1h30m15s", "7d". Any total, 0 included; none when the
// text is not such a length.
std::optional<std::int64_t> LengthSeconds(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:(\d{1,9})d)?(?:(\d{1,9})h)?(?:(\d{1,9})m)?(?:(\d{1,9})s)?$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (text.isEmpty() || !match.hasMatch()) {
        return std::nullopt;
    }
    std::int64_t seconds = 0;
    const std::int64_t units[] = {std::int64_t{24} * 60 * 60, std::int64_t{60} * 60, 60, 1};
    for (int part = 1; part <= 4; ++part) {
        seconds += match.captured(part).toLongLong() * units[part - 1];
    }
    return seconds;
}

// Reads the stress test's DURATION into `result`; the error when it is none.
QString ReadDuration(const QString& text, TCliArguments& result) {
    const auto& durations = TTestPlan::Durations();
    result.DurationIndex = -1;
    if (text == QLatin1String("forever")) {
        return {};
    }
    std::optional<std::int64_t> seconds;
    for (const TTestPlan::TDuration& duration : durations) {
        if (text == duration.Text || text == QString::number(duration.Minutes)) {
            seconds = std::int64_t{duration.Minutes} * 60;
        }
    }
    if (!seconds && IsDecimal(text) && text.size() <= 9) {
        const QString number = QString::number(text.toLongLong());
        return number == QLatin1String("0")
                   ? QStringLiteral("duration '%1' is no length").arg(text)
                   : QStringLiteral("unknown duration '%1': write %2m or %2s").arg(text, number);
    }
    if (!seconds) {
        seconds = LengthSeconds(text);
    }
    if (!seconds) {
        return QStringLiteral("unknown duration '%1': give 20 to 240 minutes in steps of 20, a "
                              "length such as 90s, 45m or 1h30m, or forever")
            .arg(text);
    }
    if (*seconds == 0) {
        return QStringLiteral("duration '%1' is no length").arg(text);
    }
    if (*seconds > TCliArguments::MaxLengthSeconds) {
        return QStringLiteral("duration '%1' is longer than 366 days").arg(text);
    }
    result.StressSeconds = *seconds;
    result.DurationText = LengthText(*seconds);
    for (std::size_t i = 0; i < durations.size(); ++i) {
        if (std::int64_t{durations[i].Minutes} * 60 == *seconds) {
            result.DurationIndex = static_cast<int>(i);
            result.DurationText = durations[i].Text;
        }
    }
    return {};
}

// The processors of `list` as taskset writes them: "0-3,6".
QString CpuListText(const std::vector<int>& list) {
    QStringList parts;
    for (std::size_t i = 0; i < list.size();) {
        std::size_t last = i;
        while (last + 1 < list.size() && list[last + 1] == list[last] + 1) {
            ++last;
        }
        parts << (last == i ? QString::number(list[i])
                            : QStringLiteral("%1-%2").arg(list[i]).arg(list[last]));
        i = last + 1;
    }
    return parts.join(QLatin1Char(','));
}

// Reads --cpus, a list as taskset takes it ("0,2-5,7"), into `cpus`, ascending and each once;
// every processor named must be one of `usable` (ascending). The error when it cannot.
QString ReadCpus(const QString& text, const std::vector<int>& usable, std::vector<int>& cpus) {
    static const QRegularExpression item(QStringLiteral(R"(^(\d{1,7})(?:-(\d{1,7}))?$)"));
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = item.match(part);
        if (!match.hasMatch()) {
            return QStringLiteral("--cpus takes a list such as 0,2-5,7, not '%1'").arg(text);
        }
        const int first = match.captured(1).toInt();
        const int last = match.hasCaptured(2) ? match.captured(2).toInt() : first;
        if (last < first) {
            return QStringLiteral("--cpus: '%1' is not a range from low to high").arg(part);
        }
        // Every processor of the range must be usable, so the walk stops within usable's length.
        for (int cpu = first; cpu <= last; ++cpu) {
            if (!std::binary_search(usable.begin(), usable.end(), cpu)) {
                return QStringLiteral("--cpus: processor %1 is not one this process may run on "
                                      "(%2)")
                    .arg(cpu)
                    .arg(CpuListText(usable));
            }
            cpus.push_back(cpu);
        }
    }
    std::sort(cpus.begin(), cpus.end());
    cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    return {};
}

// Reads --per-cpu: plain seconds or a length; the error when it is neither or out of range.
QString ReadPerCpu(const QString& text, int& seconds) {
    const std::optional<std::int64_t> length = IsDecimal(text) && text.size() <= 9
                                                   ? std::optional<std::int64_t>(text.toLongLong())
                                                   : LengthSeconds(text);
    if (!length || *length < 1 || *length > TCliArguments::MaxLengthSeconds) {
        return QStringLiteral("--per-cpu takes 1s to 366d as seconds or a length such as 5s or "
                              "2m, not '%1'")
            .arg(text);
    }
    seconds = static_cast<int>(*length);
    return {};
}

// A size in bytes: a whole number with K, M, G or T (powers of 1024) or none; none when it is no
// such size or above 2^50.
std::optional<std::int64_t> SizeBytes(const QString& text) {
    static const QRegularExpression form(QStringLiteral(R"(^(\d{1,15})([KMGT]?)i?B?$)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const int shift =
        static_cast<int>(QStringLiteral("KMGT").indexOf(match.captured(2).toUpper()) + 1) * 10;
    const std::int64_t value = match.captured(1).toLongLong();
    if (value > (std::int64_t{1} << (50 - shift))) {
        return std::nullopt;
    }
    return value << shift;
}

// The workloads of the table that `which` picks, by name, each with what it loads when
// `summaries` says so: "fma (fused multiply-adds on the widest vectors)".
template <class Which> QStringList WorkloadNames(bool summaries, Which which) {
    QStringList names;
    for (const TWorkloadKind kind : Workloads::All()) {
        if (which(kind)) {
            names += QString::fromUtf8(kind->Name) +
                     (summaries ? QStringLiteral(" (%1)").arg(QString::fromUtf8(kind->Summary))
                                : QString());
        }
    }
    return names;
}

// Items as a sentence lists them: "a, b or c" with `last` " or ".
QString Listed(const QStringList& items, const QString& last) {
    if (items.size() < 2) {
        return items.join(QString());
    }
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + last + items.back();
}

// An option's help: `text` after `first`, wrapped into lines of 79 columns at most under it.
QString Wrapped(const QString& first, const QString& text) {
    constexpr qsizetype width = 79;
    QString out;
    QString line = first;
    bool empty = true;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > width) {
            out += line + QLatin1Char('\n');
            line = QString(first.size(), QLatin1Char(' '));
            empty = true;
        }
        line += (empty ? QString() : QStringLiteral(" ")) + word;
        empty = false;
    }
    return out + line + QLatin1Char('\n');
}

// Reads --workload, --isa and --memory into `result`; the error when they are wrong.
QString ReadWorkload(const QString& name, const QString& isa, const QString& memory,
                     const TMemoryInfo& machine, TCliArguments& result) {
    if (!name.isNull()) {
        const auto kind = TWorkload::FromName(name.toLatin1().constData());
        if (!kind) {
            return QStringLiteral("--workload takes %1, not '%2'")
                .arg(Listed(WorkloadNames(false, [](TWorkloadKind) { return true; }),
                            QStringLiteral(" or ")),
                     name);
        }
        result.Workload = *kind;
    }
    TWorkload chosen;
    chosen.Kind = result.Workload;
    if (!isa.isNull()) {
        if (!chosen.UsesFma()) {
            return QStringLiteral("--isa applies to the %1 workloads only")
                .arg(Listed(WorkloadNames(false, [](TWorkloadKind kind) { return kind->TakesIsa; }),
                            QStringLiteral(" and ")));
        }
        result.Isa = TFmaKernel::FromName(isa.toLatin1().constData());
        if (!result.Isa) {
            return QStringLiteral("--isa takes avx512, avx2 or plain, not '%1'").arg(isa);
        }
        if (!TFmaKernel::Supported(*result.Isa)) {
            return QStringLiteral("--isa %1: this processor does not run it").arg(isa);
        }
    }
    if (!memory.isNull()) {
        if (!chosen.UsesMemory()) {
            return QStringLiteral("--memory applies to the %1 workloads only")
                .arg(Listed(
                    WorkloadNames(false, [](TWorkloadKind kind) { return kind->TakesMemory; }),
                    QStringLiteral(" and ")));
        }
        result.MemoryBytes = SizeBytes(memory);
        if (!result.MemoryBytes) {
            return QStringLiteral("--memory takes a size such as 512M or 4G, not '%1'").arg(memory);
        }
        if (!TWorkload::MemoryFits(*result.MemoryBytes, machine)) {
            return QStringLiteral("--memory %1 is more than the %2 MiB this machine has available")
                .arg(memory)
                .arg(*machine.AvailableBytes >> 20);
        }
        const int workers = result.Action == TCliArguments::TAction::Cycle ? 1 : result.Workers;
        if (!TWorkload::MemoryBlocksFor(result.MemoryBytes, workers, {})) {
            return QStringLiteral("--memory %1 leaves less than %2 MiB to each of %3 workers")
                .arg(memory)
                .arg(TWorkload::MinBytesPerWorker >> 20)
                .arg(workers);
        }
    }
    return {};
}

} // namespace

QString TCliArguments::Usage() {
    QString usage =
        QStringLiteral(
            "Usage: morvel-cli [OPTION]... benchmark\n"
            "       morvel-cli [OPTION]... stress DURATION\n"
            "       morvel-cli [OPTION]... selftest\n"
            "       morvel-cli [OPTION]... cycle [--per-cpu SECONDS] [--rounds N] [--cpus LIST]\n"
            "       morvel-cli --help | --version\n"
            "\n"
            "Runs worker threads (fifteen unless told otherwise) on a fixed workload: trial\n"
            "division unless --workload chooses another, each result checked.\n"
            "  benchmark         %1 one-second ticks; the score is the slowest worker's\n"
            "                    divisions in units of 100,000\n"
            "  stress DURATION   keeps the workers running for DURATION, one of:\n")
            .arg(TTestPlan::BenchmarkTicks);
    for (const TTestPlan::TDuration& duration : TTestPlan::Durations()) {
        usage += QStringLiteral("                    %1 or %2\n")
                     .arg(QStringLiteral("\"%1\"").arg(duration.Text), -16)
                     .arg(duration.Minutes);
    }
    usage +=
        QStringLiteral(
            "                    forever          until a stop signal\n"
            "                    or a length in days, hours, minutes and seconds, in that\n"
            "                    order: 10s, 90s, 45m, 2h, 1h30m15s, 7d, up to 366d (a plain\n"
            "                    number is minutes only when listed above). The result line\n"
            "                    names a length as the presets do: 10s, 45min,\n"
            "                    120min (2hrs), and 90min 15s for 1h30m15s\n"
            "  selftest          injects each kind of fault into real workers (1, 2, 3 and\n"
            "                    15 of them) and shows that the check finds and names it\n"
            "                    within two ticks of the blocks that show it\n"
            "  cycle             loads one processor at a time, each for --per-cpu, over\n"
            "                    the processors of --cpus, --rounds times over, to find a\n"
            "                    single faulty core; exits 1 naming each processor that erred\n"
            "Every tick compares the checksums of the blocks of divisions the workers have\n"
            "done; a worker that disagrees, leaves the known path or stops ends the run.\n"
            "\n"
            "Options:\n"
            "  -q, --quiet           no progress lines, warnings or summary on standard error\n"
            "      --json            print the result as one JSON object instead of the\n"
            "                        result line, with the system record, a summary of\n"
            "                        the sensors and the machine's warnings\n"
            "  -w, --workers N|all   benchmark and stress: run N workers (1 to %1, default\n"
            "                        %2), or with all or 0 one per processor this process\n"
            "                        may run on; scores compare only at equal counts\n"
            "      --record FILE     append a live record to FILE: a JSON line with the\n"
            "                        system record, then one JSON line per tick (divisions,\n"
            "                        rates, frequency, temperature), then the result;\n"
            "                        flushed to disk every 10 ticks\n"
            "      --prometheus FILE write the result of a completed or failed run as\n"
            "                        Prometheus metrics to FILE, replaced in one step (for\n"
            "                        the node exporter's textfile collector: FILE ends in\n"
            "                        .prom)\n"
            "%4"
            "%5"
            "%6"
            "      --per-cpu SECONDS cycle: how long each processor is loaded, in seconds or\n"
            "                        as a length such as 5s or 2m (default 60)\n"
            "      --rounds N        cycle: how many times to go over the processors, 1 to\n"
            "                        %3 (default 1)\n"
            "      --cpus LIST       cycle: the processors to load, listed as taskset lists\n"
            "                        them, for example 0,2-5,7 (default: every processor\n"
            "                        this process may run on)\n"
            "  -h, --help            show this text\n"
            "  -V, --version         show the version\n"
            "A word after -- is no option, whatever it starts with.\n"
            "\n"
            "Exit status: 0 completed, 1 computation error found, 2 bad arguments or an output\n"
            "file that cannot be opened, 3 the workers could not be started, 4 the output could\n"
            "not be written, 5 another test is running, 6 the run lock cannot be used,\n"
            "7 selftest inconclusive (too little processor time to judge, none missed),\n"
            "129/130/131/143 stopped by SIGHUP/SIGINT/SIGQUIT/SIGTERM.\n")
            .arg(TRunEngine::MaxWorkerCount)
            .arg(TTestPlan::WorkerCount)
            .arg(MaxRounds)
            .arg(Wrapped(QStringLiteral("      --workload NAME   "),
                         QStringLiteral("benchmark, stress and cycle: what the workers compute; ") +
                             Listed(WorkloadNames(true, [](TWorkloadKind) { return true; }),
                                    QStringLiteral(" or ")) +
                             QStringLiteral("; scores compare only within one workload")))
            .arg(Wrapped(
                QStringLiteral("      --isa NAME        "),
                Listed(WorkloadNames(false, [](TWorkloadKind kind) { return kind->TakesIsa; }),
                       QStringLiteral(" and ")) +
                    QStringLiteral(": avx512, avx2 or plain instead of the widest the "
                                   "processor runs")))
            .arg(Wrapped(
                QStringLiteral("      --memory SIZE     "),
                Listed(WorkloadNames(false, [](TWorkloadKind kind) { return kind->TakesMemory; }),
                       QStringLiteral(" and ")) +
                    QStringLiteral(": the buffers of all workers together, such as 512M "
                                   "or 4G (default: half of the available memory, at "
                                   "least four times the last-level cache per worker)")));
    return usage;
}

QString TCliArguments::ErrorMessage() const {
    return QStringLiteral("morvel-cli: %1\nTry 'morvel-cli --help' for more information.\n")
        .arg(Error);
}

TCliArguments TCliArguments::Parse(const QStringList& arguments, const std::vector<int>& usableCpus,
                                   const TMemoryInfo& memoryInfo) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")}, {});
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")}, {});
    const QCommandLineOption json(QStringLiteral("json"), {});
    const QCommandLineOption workers({QStringLiteral("w"), QStringLiteral("workers")}, {},
                                     QStringLiteral("N"));
    const QCommandLineOption record(QStringLiteral("record"), {}, QStringLiteral("FILE"));
    const QCommandLineOption prometheus(QStringLiteral("prometheus"), {}, QStringLiteral("FILE"));
    const QCommandLineOption perCpu(QStringLiteral("per-cpu"), {}, QStringLiteral("SECONDS"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), {}, QStringLiteral("N"));
    const QCommandLineOption cpus(QStringLiteral("cpus"), {}, QStringLiteral("LIST"));
    const QCommandLineOption workload(QStringLiteral("workload"), {}, QStringLiteral("NAME"));
    const QCommandLineOption isa(QStringLiteral("isa"), {}, QStringLiteral("NAME"));
    const QCommandLineOption memory(QStringLiteral("memory"), {}, QStringLiteral("SIZE"));
    QCommandLineParser parser;
    parser.addOptions({help, version, quiet, json, workers, record, prometheus, perCpu, rounds,
                       cpus, workload, isa, memory});
    if (!parser.parse(QStringList{QStringLiteral("morvel-cli")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString& name = unknown.first();
            return Failure(
                QStringLiteral("unknown option '%1%2'")
                    .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
        }
        // "Missing value after '--record'.", as a line of this program's.
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.'))) {
            error.chop(1);
        }
        return Failure(error.isEmpty() ? QStringLiteral("bad arguments")
                                       : error.front().toLower() + error.mid(1));
    }
    TCliArguments result;
    if (parser.isSet(help)) {
        result.Action = TAction::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.Action = TAction::Version;
        return result;
    }

    QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        return Failure(QStringLiteral("no command given"));
    }
    const QString command = words.takeFirst();
    // The options that belong to some commands only, and the commands they belong to.
    const std::pair<const QCommandLineOption*, QStringList> belonging[] = {
        {&workers, {QStringLiteral("benchmark"), QStringLiteral("stress")}},
        {&perCpu, {QStringLiteral("cycle")}},
        {&rounds, {QStringLiteral("cycle")}},
        {&cpus, {QStringLiteral("cycle")}},
        {&workload,
         {QStringLiteral("benchmark"), QStringLiteral("stress"), QStringLiteral("cycle")}},
        {&isa, {QStringLiteral("benchmark"), QStringLiteral("stress"), QStringLiteral("cycle")}},
        {&memory, {QStringLiteral("benchmark"), QStringLiteral("stress"), QStringLiteral("cycle")}},
    };
    if (command == QLatin1String("benchmark") || command == QLatin1String("selftest") ||
        command == QLatin1String("cycle")) {
        result.Action = command == QLatin1String("benchmark")  ? TAction::Run
                        : command == QLatin1String("selftest") ? TAction::SelfTest
                                                               : TAction::Cycle;
    } else if (command == QLatin1String("stress")) {
        result.Action = TAction::Run;
        result.Test = TTestKind::Stress;
        if (words.isEmpty()) {
            return Failure(QStringLiteral("stress needs a duration"));
        }
        if (QString error = ReadDuration(words.takeFirst(), result); !error.isEmpty()) {
            return Failure(error);
        }
    } else {
        return Failure(QStringLiteral("unknown command '%1'").arg(command));
    }
    if (!words.isEmpty()) {
        return Failure(QStringLiteral("unexpected argument '%1'").arg(words.first()));
    }
    for (const auto& [option, commands] : belonging) {
        if (parser.isSet(*option) && !commands.contains(command)) {
            return Failure(QStringLiteral("--%1 does not apply to %2")
                               .arg(option->names().constLast(), command));
        }
    }

    result.Quiet = parser.isSet(quiet);
    result.Json = parser.isSet(json);
    result.Workers = TTestPlan::WorkerCount;
    if (parser.isSet(workers)) {
        const QString value = parser.value(workers);
        const int usable = TRunEngine::PerCpuWorkers(usableCpus);
        result.PerCpu = value == QLatin1String("all") || value == QLatin1String("0");
        result.Workers = result.PerCpu ? usable : Count(value, TRunEngine::MaxWorkerCount);
        if (result.Workers == 0) {
            return Failure(QStringLiteral("--workers takes 1 to %1, 'all' or 0, not '%2'")
                               .arg(TRunEngine::MaxWorkerCount)
                               .arg(value));
        }
    }
    for (const auto& [option, path] :
         {std::pair{&record, &result.RecordPath}, std::pair{&prometheus, &result.PrometheusPath}}) {
        if (parser.isSet(*option)) {
            *path = parser.value(*option);
            if (path->isEmpty()) {
                return Failure(QStringLiteral("--%1 needs a file").arg(option->names().first()));
            }
        }
    }
    if (parser.isSet(perCpu)) {
        if (QString error = ReadPerCpu(parser.value(perCpu), result.PerCpuSeconds);
            !error.isEmpty()) {
            return Failure(error);
        }
    }
    if (parser.isSet(rounds)) {
        result.Rounds = Count(parser.value(rounds), MaxRounds);
        if (result.Rounds == 0) {
            return Failure(QStringLiteral("--rounds takes 1 to %1, not '%2'")
                               .arg(MaxRounds)
                               .arg(parser.value(rounds)));
        }
    }
    const auto value = [&parser](const QCommandLineOption& option) {
        return parser.isSet(option) ? parser.value(option) : QString();
    };
    if (QString error =
            ReadWorkload(value(workload), value(isa), value(memory), memoryInfo, result);
        !error.isEmpty()) {
        return Failure(error);
    }
    if (parser.isSet(cpus)) {
        std::vector<int> usable = usableCpus;
        std::sort(usable.begin(), usable.end());
        if (QString error = ReadCpus(parser.value(cpus), usable, result.Cpus); !error.isEmpty()) {
            return Failure(error);
        }
    }
    return result;
}
