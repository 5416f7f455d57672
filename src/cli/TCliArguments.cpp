#include "TCliArguments.h"

namespace {

TCliArguments Failure(QString error) {
    TCliArguments result;
    result.Action = TCliArguments::TAction::Error;
    result.Error = std::move(error);
    return result;
}

} // namespace

const QStringList& TCliArguments::DurationTexts() {
    static const QStringList texts{
        "20min",  "40min",  "60min (1hrs)",  "80min",  "100min", "120min (2hrs)",
        "140min", "160min", "180min (3hrs)", "200min", "220min", "240min (4hrs)"};
    return texts;
}

QString TCliArguments::Usage() {
    QString usage = QStringLiteral(
        "Usage: morvel-cli [--quiet] [--json] benchmark\n"
        "       morvel-cli [--quiet] [--json] stress DURATION\n"
        "       morvel-cli --help | --version\n"
        "\n"
        "Runs fifteen worker threads on a fixed trial-division workload.\n"
        "  benchmark         180 one-second ticks; the score is the slowest worker's\n"
        "                    divisions in units of 100,000\n"
        "  stress DURATION   keeps the workers running for DURATION, one of:\n");
    for (int i = 0; i < DurationTexts().size(); ++i) {
        usage += QStringLiteral("                    %1 or %2\n")
                     .arg(QStringLiteral("\"%1\"").arg(DurationTexts()[i]), -16)
                     .arg((i + 1) * 20);
    }
    usage += QStringLiteral(
        "Every tick checks each worker against the known answer of the workload.\n"
        "\n"
        "Options:\n"
        "  --quiet     no progress lines on standard error\n"
        "  --json      print the result as one JSON object instead of the result line\n"
        "  --help      show this text\n"
        "  --version   show the version\n"
        "\n"
        "Exit status: 0 completed, 1 computation error found, 2 bad arguments,\n"
        "3 the workers could not be started, 130/143 stopped by SIGINT/SIGTERM.\n");
    return usage;
}

TCliArguments TCliArguments::Parse(const QStringList& arguments) {
    TCliArguments result;
    QStringList words;
    bool help = false;
    bool version = false;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            help = true;
        } else if (argument == QLatin1String("--version")) {
            version = true;
        } else if (argument == QLatin1String("--quiet") || argument == QLatin1String("-q")) {
            result.Quiet = true;
        } else if (argument == QLatin1String("--json")) {
            result.Json = true;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return Failure(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            words.append(argument);
        }
    }
    if (help) {
        result.Action = TAction::Help;
        return result;
    }
    if (version) {
        result.Action = TAction::Version;
        return result;
    }
    if (words.isEmpty()) {
        return Failure(QStringLiteral("no test given"));
    }
    const QString test = words.takeFirst();
    if (test == QLatin1String("benchmark")) {
        result.Test = TTestKind::Benchmark;
    } else if (test == QLatin1String("stress")) {
        result.Test = TTestKind::Stress;
        if (words.isEmpty()) {
            return Failure(QStringLiteral("stress needs a duration"));
        }
        const QString duration = words.takeFirst();
        for (int i = 0; i < DurationTexts().size(); ++i) {
            const int minutes = (i + 1) * 20;
            if (duration == DurationTexts()[i] || duration == QString::number(minutes)) {
                result.Minutes = minutes;
                result.DurationText = DurationTexts()[i];
            }
        }
        if (result.Minutes == 0) {
            return Failure(QStringLiteral("unknown duration '%1'").arg(duration));
        }
    } else {
        return Failure(QStringLiteral("unknown test '%1'").arg(test));
    }
    if (!words.isEmpty()) {
        return Failure(QStringLiteral("unexpected argument '%1'").arg(words.first()));
    }
    result.Action = TAction::Run;
    return result;
}
