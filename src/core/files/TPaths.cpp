// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// An environment variable as a path, or empty unless it is an absolute one.
QString AbsoluteFromEnvironment(const char* name) {
    const QString value = QFile::decodeName(qgetenv(name));
    return value.startsWith(QLatin1Char('/')) ? value : QString();
}

QString HomeFromPasswordDatabase() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return QFile::decodeName(found->pw_dir);
    }
    return QString();
}

QString Below(const char* variable, const char* fallback) {
    const QString value = AbsoluteFromEnvironment(variable);
    return value.isEmpty() ? TPaths::Home() + QLatin1String(fallback) : value;
}

} // namespace

QString TPaths::Home() {
    QString home = AbsoluteFromEnvironment("HOME");
    if (!home.isEmpty()) {
        return home;
    }
    const QString fromDatabase = HomeFromPasswordDatabase();
    return fromDatabase.isEmpty() ? QDir::rootPath() : fromDatabase;
}

QString TPaths::DataHome() {
    return Below("XDG_DATA_HOME", "/.local/share");
}

QString TPaths::StateHome() {
    return Below("XDG_STATE_HOME", "/.local/state");
}

QString TPaths::StateFolder() {
    return StateHome() + QStringLiteral("/morvel");
}

QString TPaths::ReportFile() {
    return DataHome() + QStringLiteral("/morvel/MorvelReport.dat");
}

QString TPaths::RuntimeFolder() {
    const QString runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR");
    // Under a shared temporary folder the name carries the user, and the folder must be ours.
    QString folder = runtime.isEmpty()
                         ? QDir::tempPath() + QStringLiteral("/morvel-%1").arg(getuid())
                         : runtime + QStringLiteral("/morvel");
    const QByteArray path = QFile::encodeName(folder);
    if (!runtime.isEmpty()) {
        QDir().mkpath(runtime);
    }
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        throw std::runtime_error("Cannot create folder " + folder.toStdString() + ": " +
                                 std::generic_category().message(errno));
    }
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != getuid()) {
        throw std::runtime_error("Cannot use folder " + folder.toStdString() +
                                 ": not a folder of this user's");
    }
    return folder;
}

QString TPaths::Identity(const QString& path) {
    QString whole = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString folder = whole;
    QString rest;
    while (folder != QLatin1String("/")) {
        const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
        rest = folder.mid(slash) + rest;
        folder = slash <= 0 ? QStringLiteral("/") : folder.left(slash);
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty()) {
            return QDir::cleanPath(real + rest);
        }
    }
    return whole;
}

QString TPaths::IdentityKey(const QString& path) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QFile::encodeName(Identity(path)), QCryptographicHash::Sha256)
            .toHex()
            .left(32));
}
