// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TStartup.h"

#include <cstdio>
#include <cstdlib>

TStartupAction StartupAction(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help")) {
            return TStartupAction::Help;
        }
        if (argument == QLatin1String("--version")) {
            return TStartupAction::Version;
        }
    }
    return TStartupAction::Run;
}

QString StartupHelp() {
    return QStringLiteral(
        "Usage: morvel [QT OPTION]...\n"
        "  or:  morvel --help | --version\n"
        "The CPU benchmark and stress test in a window: fifteen worker threads run the same\n"
        "trial-division workload, each checked against the known answer, and every completed\n"
        "test adds a dated line to the report log.\n"
        "\n"
        "      --help      show this help and exit\n"
        "      --version   show the version and exit\n"
        "\n"
        "Qt's options are taken too, such as -platform NAME (xcb, wayland, offscreen) and\n"
        "-display DISPLAY. Without a display (no DISPLAY or WAYLAND_DISPLAY) the program says\n"
        "so and exits with status 1; morvel-cli runs the same tests without a window.\n");
}

QString StartupVersion() {
    return QStringLiteral("morvel " MORVEL_VERSION "\n");
}

TDisplayEnvironment TDisplayEnvironment::FromSystem() {
    return {qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("DISPLAY"),
            qEnvironmentVariable("WAYLAND_DISPLAY")};
}

QString MissingDisplay(const QStringList& arguments, const TDisplayEnvironment& environment) {
    // Qt reads "-platform NAME" and "--platform NAME" alike.
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("-platform") ||
            arguments[i] == QLatin1String("--platform")) {
            return {};
        }
    }
    if (!environment.Platform.isEmpty() || !environment.Display.isEmpty() ||
        !environment.WaylandDisplay.isEmpty()) {
        return {};
    }
    return QStringLiteral("no display: DISPLAY and WAYLAND_DISPLAY are not set");
}

TStartupMessages::TStartupMessages() {
    held = new std::vector<THeld>;
    previous = qInstallMessageHandler(&TStartupMessages::Hold);
}

TStartupMessages::~TStartupMessages() {
    Release();
}

void TStartupMessages::Release() {
    if (held == nullptr) {
        return;
    }
    qInstallMessageHandler(previous);
    const std::vector<THeld> messages = std::move(*held);
    delete held;
    held = nullptr;
    for (const THeld& message : messages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.Category.constData());
        previous(message.Type, context, message.Text);
    }
}

void TStartupMessages::Hold(QtMsgType type, const QMessageLogContext& context,
                            const QString& text) {
    if (type != QtFatalMsg) {
        held->push_back({type, QByteArray(context.category), text});
        return;
    }
    // The platform's own reason ("could not connect to display :9", "Failed to create
    // wl_display"), else the first line of Qt's last word.
    QString reason = text;
    for (const THeld& message : *held) {
        const bool fromPlatform =
            message.Category.startsWith("qt.qpa.") && message.Category != "qt.qpa.plugin";
        if (fromPlatform || message.Type == QtCriticalMsg) {
            reason = message.Text;
            break;
        }
    }
    reason = reason.section(QLatin1Char('\n'), 0, 0).trimmed();
    std::fprintf(stderr, "morvel: no display: %s\n", reason.toLocal8Bit().constData());
    std::fflush(stderr);
    // Nothing of the program's own is open yet: no handler, no destructor has anything to do.
    std::_Exit(1);
}
