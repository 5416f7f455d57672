// morvel-cli: the benchmark and the stress test without a window, for servers and scripts.

#include "Processors.h"
#include "TCliArguments.h"
#include "TCliRun.h"
#include "TOutputFiles.h"

#include <exception>
#include <iostream>
#include <optional>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const TCliArguments options = TCliArguments::Parse(arguments, UsableProcessors());
    switch (options.Action) {
    case TCliArguments::TAction::Help:
        std::cout << TCliArguments::Usage().toStdString() << std::flush;
        return 0;
    case TCliArguments::TAction::Version:
        std::cout << "morvel-cli " MORVEL_VERSION "\n" << std::flush;
        return 0;
    case TCliArguments::TAction::Error:
        std::cerr << "morvel-cli: " << options.Error.toStdString() << "\n\n"
                  << TCliArguments::Usage().toStdString() << std::flush;
        return 2;
    case TCliArguments::TAction::Run:
        break;
    }

    TCliRun::TSettings settings;
    settings.Test = options.Test;
    settings.DurationIndex = options.DurationIndex;
    settings.Workers = options.Workers;
    settings.Format = TFormatSettings::FromSystem();

    // Output files are checked before the run, so that a long stress test does not end in a
    // result with nowhere to go.
    TRecordFile recordFile;
    QString fileError;
    if (!options.RecordPath.isEmpty() && !recordFile.Open(options.RecordPath)) {
        fileError = recordFile.Error();
    } else if (!options.PrometheusPath.isEmpty()) {
        CanReplaceFile(options.PrometheusPath, &fileError);
    }
    if (!fileError.isEmpty()) {
        std::cerr << "morvel-cli: " << fileError.toStdString() << '\n' << std::flush;
        return 2;
    }

    // Before the workers start, so that they inherit the mask and a stop signal always reaches
    // the waiting main thread.
    TCliRun::BlockStopSignals();
    const bool showProgress = !options.Quiet && isatty(STDERR_FILENO) == 1;
    std::optional<TRunRecord> run;
    try {
        run =
            TCliRun::Run(settings, &TCliRun::WaitForStopSignal, showProgress ? &std::cerr : nullptr,
                         options.RecordPath.isEmpty() ? nullptr : &recordFile);
    } catch (const std::exception& error) {
        // Typically the system refusing another thread; the workers already started are stopped.
        std::cerr << "morvel-cli: cannot run the test: " << error.what() << '\n' << std::flush;
        return 3;
    }
    const TRunRecord& record = *run;
    if (!recordFile.Error().isEmpty()) {
        // The run went on; the record holds every line up to the failure.
        std::cerr << "morvel-cli: " << recordFile.Error().toStdString() << '\n' << std::flush;
    }

    if (record.Outcome == TRunRecord::TOutcome::Interrupted) {
        // The workers are told to stop; the process ends without waiting for them.
        return 128 + record.Signal;
    }
    const QByteArray text = options.Json ? record.ToJson() : record.ResultLine();
    std::cout.write(text.constData(), text.size());
    std::cout << '\n' << std::flush;
    if (!options.PrometheusPath.isEmpty() &&
        !ReplaceFile(options.PrometheusPath, record.ToPrometheus(), &fileError)) {
        std::cerr << "morvel-cli: " << fileError.toStdString() << '\n' << std::flush;
    }
    return record.Outcome == TRunRecord::TOutcome::Failed ? 1 : 0;
}
