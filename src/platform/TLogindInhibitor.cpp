// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TLogindInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

// How long logind may take to answer before the run goes on without it.
constexpr int ReplyMilliseconds = 5000;

} // namespace

TLogindInhibitor::TLogindInhibitor(Warn warnWith, QString reason)
    : warn(std::move(warnWith)), why(std::move(reason)) {}

TLogindInhibitor::~TLogindInhibitor() {
    Release();
}

void TLogindInhibitor::Hold() noexcept {
    if (Holding()) {
        return;
    }
    try {
        const QString error = Take();
        problem =
            error.isEmpty()
                ? QString()
                : QStringLiteral("cannot keep the machine from sleeping during the run: ") + error;
        if (!problem.isEmpty() && !warned) {
            warned = true;
            if (warn) {
                warn(problem);
            }
        }
    } catch (...) {
        // Out of memory in the middle of a D-Bus call: the run goes on all the same.
        warned = true;
    }
}

QString TLogindInhibitor::Take() {
    // A connection of its own for the call, closed again: the descriptor outlives it.
    const QString name = QStringLiteral("morvel-inhibit-") + QUuid::createUuid().toString();
    QString error;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (!bus.isConnected()) {
            error = bus.lastError().message();
            if (error.isEmpty()) {
                error = QStringLiteral("no system bus");
            }
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            call << QStringLiteral("sleep") << QStringLiteral("Morvel") << why
                 << QStringLiteral("block");
            const QDBusMessage reply = bus.call(call, QDBus::Block, ReplyMilliseconds);
            if (reply.type() != QDBusMessage::ReplyMessage) {
                error = reply.errorMessage();
                if (error.isEmpty()) {
                    error = reply.errorName();
                }
            } else if (reply.arguments().isEmpty() ||
                       !reply.arguments().constFirst().canConvert<QDBusUnixFileDescriptor>()) {
                error = QStringLiteral("logind answered without a file descriptor");
            } else {
                const auto descriptor =
                    reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
                fd = descriptor.isValid() ? ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0)
                                          : -1;
                if (fd < 0) {
                    error = QStringLiteral("logind answered without a file descriptor");
                }
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return error;
}

void TLogindInhibitor::Release() noexcept {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}
