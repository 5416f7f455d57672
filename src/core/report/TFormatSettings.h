// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// How the user's locale writes a date and a time, read once at start-up.
struct TFormatSettings {
    QString ShortDateFormat; // a QDate::toString pattern; a two-digit year is widened to yyyy
    QString TimeSeparator;   // between hours, minutes and seconds
    bool LeadingZeroHour = false;
    bool TwelveHourClock = false;
    QString AmDesignator;         // morning designator of the 12-hour clock
    QString PmDesignator;         // afternoon designator of the 12-hour clock
    bool DesignatorLeads = false; // the designator stands before the hour

    static TFormatSettings FromLocale(const QLocale& locale);
    static TFormatSettings FromSystem() { return FromLocale(QLocale::system()); }
};

// The short date; then, unless the time is exactly 00:00:00 (milliseconds ignored), a space and
// the time with two-digit minutes and seconds.
QString DateTimeText(const QDateTime& when, const TFormatSettings& format);

// ISO 8601 with the local offset from UTC, for files that programs read.
QString IsoDateTimeText(const QDateTime& when);
