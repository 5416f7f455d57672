// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TMemoryInfo.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray ReadSmall(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(qint64{64} * 1024) : QByteArray();
}

// "32768K", "8M" or a plain number of bytes, as sysfs writes a cache's size.
std::optional<std::int64_t> SizeBytes(QByteArray text) {
    text = text.trimmed();
    std::int64_t unit = 1;
    if (text.endsWith('K')) {
        unit = 1024;
    } else if (text.endsWith('M')) {
        unit = std::int64_t{1024} * 1024;
    }
    if (unit != 1) {
        text.chop(1);
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value <= 0 || value > (std::int64_t{1} << 40) / unit) {
        return std::nullopt;
    }
    return std::int64_t{value} * unit;
}

} // namespace

TMemoryInfo TMemoryInfo::Read(const TSystemPaths& paths) {
    TMemoryInfo info;
    for (const QByteArray& line : ReadSmall(paths.Proc + QStringLiteral("/meminfo")).split('\n')) {
        if (line.startsWith("MemAvailable:")) {
            QByteArray figure = line.mid(13).trimmed();
            bool ok = false;
            if (figure.endsWith(" kB")) {
                figure.chop(3);
                const qlonglong kib = figure.toLongLong(&ok);
                if (ok && kib >= 0 && kib < (std::int64_t{1} << 50)) {
                    info.AvailableBytes = std::int64_t{kib} * 1024;
                }
            }
        }
    }
    const QDir caches(paths.Sys + QStringLiteral("/devices/system/cpu/cpu0/cache"));
    int highest = 0;
    for (const QString& entry :
         caches.entryList({QStringLiteral("index*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int level =
            ReadSmall(caches.filePath(entry) + QStringLiteral("/level")).trimmed().toInt(&ok);
        const auto size = SizeBytes(ReadSmall(caches.filePath(entry) + QStringLiteral("/size")));
        if (ok && size && level >= highest) {
            highest = level;
            info.LastLevelCacheBytes = size;
        }
    }
    return info;
}
