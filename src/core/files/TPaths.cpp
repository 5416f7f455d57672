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

// A path as bytes, or empty when its bytes would not survive as a QString (not UTF-8): a
// path written under another name than the one given is never used.
QString KeptBytes(const QByteArray& bytes) {
    const QString path = QFile::decodeName(bytes);
    return QFile::encodeName(path) == bytes ? path : QString();
}

// An environment variable as a path, or empty unless it is an absolute one.
QString AbsoluteFromEnvironment(const char* name) {
    const QString value = KeptBytes(qgetenv(name));
    return value.startsWith(QLatin1Char('/')) ? value : QString();
}

// A folder of this user's, not a link, without any of the `denied` mode bits: made (0700) when
// missing. Empty when it cannot be made or is not such a folder.
QString PrivateFolder(const QString& folder, mode_t denied, QString* problem) {
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *problem +=
            QStringLiteral("; cannot make %1: %2")
                .arg(folder, QString::fromStdString(std::generic_category().message(errno)));
        return QString();
    }
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid() || (status.st_mode & denied) != 0) {
        *problem += QStringLiteral("; %1 is not a folder of this user's alone (mode %2)")
                        .arg(folder, denied == 077 ? QStringLiteral("0700")
                                                   : QStringLiteral("0755 or stricter"));
        return QString();
    }
    return folder;
}

QString HomeFromPasswordDatabase() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return KeptBytes(found->pw_dir);
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

QString TPaths::LockFolder() {
    QString problem;
    // The user's own state folder, taken when nobody else may write in it. Below the home of the
    // password database, not $HOME: a command run through sudo, which may keep the caller's
    // HOME, meets root's other runs.
    const QString home = HomeFromPasswordDatabase();
    const QString stateHome = AbsoluteFromEnvironment("XDG_STATE_HOME");
    const QString state = !stateHome.isEmpty() ? stateHome + QStringLiteral("/morvel")
                          : !home.isEmpty()    ? home + QStringLiteral("/.local/state/morvel")
                                               : StateFolder();
    if (QDir().mkpath(QFileInfo(state).absolutePath())) {
        QString own = PrivateFolder(state, 022, &problem);
        if (!own.isEmpty()) {
            return own;
        }
    } else {
        problem += QStringLiteral("; cannot make %1").arg(QFileInfo(state).absolutePath());
    }
    // Else a folder named for the user in the shared temporary folder, unless another user took
    // the name first.
    QString shared = PrivateFolder(QDir::tempPath() + QStringLiteral("/morvel-%1").arg(::geteuid()),
                                   077, &problem);
    if (!shared.isEmpty()) {
        return shared;
    }
    throw std::runtime_error(("No folder for the run lock" + problem).toStdString());
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
