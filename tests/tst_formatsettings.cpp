// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "ResultLines.h"
#include "TFormatSettings.h"

#include <QTest>

namespace {

const QString Morning = QString::fromUtf8("\xec\x98\xa4\xec\xa0\x84");
const QString Afternoon = QString::fromUtf8("\xec\x98\xa4\xed\x9b\x84");

TFormatSettings UnitedStates() {
    TFormatSettings f;
    f.ShortDateFormat = QStringLiteral("M/d/yyyy");
    f.TimeSeparator = QStringLiteral(":");
    f.TwelveHourClock = true;
    f.AmDesignator = QStringLiteral("AM");
    f.PmDesignator = QStringLiteral("PM");
    return f;
}

TFormatSettings DayFirst24() {
    TFormatSettings f;
    f.ShortDateFormat = QStringLiteral("dd/MM/yyyy");
    f.TimeSeparator = QStringLiteral(":");
    f.LeadingZeroHour = true;
    return f;
}

TFormatSettings Leading() {
    TFormatSettings f = UnitedStates();
    f.ShortDateFormat = QStringLiteral("yyyy. M. d.");
    f.AmDesignator = Morning;
    f.PmDesignator = Afternoon;
    f.DesignatorLeads = true;
    return f;
}

TFormatSettings DotSeparated() {
    TFormatSettings f;
    f.ShortDateFormat = QStringLiteral("d.M.yyyy");
    f.TimeSeparator = QStringLiteral(".");
    return f;
}

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// The fields read from a locale, in one line.
QString Fields(const TFormatSettings& f) {
    return QStringList{f.ShortDateFormat,
                       f.TimeSeparator,
                       f.LeadingZeroHour ? "0h" : "h",
                       f.TwelveHourClock ? "12" : "24",
                       f.DesignatorLeads ? "leads" : "follows",
                       f.PmDesignator}
        .join(" | ");
}

} // namespace

Q_DECLARE_METATYPE(TFormatSettings)

class TestFormatSettings : public QObject {
    Q_OBJECT
private slots:
    void dateTimeText_data();
    void dateTimeText();
    void fromLocale_data();
    void fromLocale();
    void localeText_data();
    void localeText();
    void resultLines_data();
    void resultLines();
};

void TestFormatSettings::dateTimeText_data() {
    QTest::addColumn<TFormatSettings>("format");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    QTest::newRow("US afternoon") << UnitedStates() << At(2026, 12, 7, 15, 5, 9)
                                  << "12/7/2026 3:05:09 PM";
    QTest::newRow("US midnight") << UnitedStates() << At(2026, 12, 7, 0, 0, 0) << "12/7/2026";
    QTest::newRow("midnight with milliseconds")
        << UnitedStates() << At(2026, 12, 7, 0, 0, 0, 999) << "12/7/2026";
    QTest::newRow("US a second after midnight")
        << UnitedStates() << At(2026, 12, 7, 0, 0, 1) << "12/7/2026 12:00:01 AM";
    QTest::newRow("US noon") << UnitedStates() << At(2026, 1, 2, 12, 0, 0)
                             << "1/2/2026 12:00:00 PM";
    QTest::newRow("US morning") << UnitedStates() << At(2026, 1, 2, 11, 59, 59)
                                << "1/2/2026 11:59:59 AM";
    QTest::newRow("US last second")
        << UnitedStates() << At(2026, 1, 2, 23, 59, 59) << "1/2/2026 11:59:59 PM";
    TFormatSettings usZero = UnitedStates();
    usZero.LeadingZeroHour = true;
    QTest::newRow("12-hour with leading zero")
        << usZero << At(2026, 1, 2, 13, 4, 5) << "1/2/2026 01:04:05 PM";
    QTest::newRow("24-hour leading zero")
        << DayFirst24() << At(2024, 3, 5, 5, 3, 2) << "05/03/2024 05:03:02";
    QTest::newRow("24-hour one digit")
        << DotSeparated() << At(2024, 3, 5, 5, 3, 2) << "5.3.2024 5.03.02";
    QTest::newRow("dot separator")
        << DotSeparated() << At(2026, 12, 7, 15, 5, 9) << "7.12.2026 15.05.09";
    QTest::newRow("designator leads, afternoon")
        << Leading() << At(2026, 12, 7, 15, 5, 9) << "2026. 12. 7. " + Afternoon + " 3:05:09";
    QTest::newRow("designator leads, morning")
        << Leading() << At(2026, 12, 7, 9, 0, 0) << "2026. 12. 7. " + Morning + " 9:00:00";
}

void TestFormatSettings::dateTimeText() {
    QFETCH(TFormatSettings, format);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(DateTimeText(when, format), text);
}

void TestFormatSettings::fromLocale_data() {
    // The row name is the locale's.
    QTest::addColumn<QString>("fields"); // date | separator | hour | clock | designator | pm
    QTest::newRow("en_US") << QString("M/d/yyyy | : | h | 12 | follows | PM");
    QTest::newRow("en_GB") << QString("dd/MM/yyyy | : | 0h | 24 | follows | pm");
    QTest::newRow("de_DE") << QString("dd.MM.yyyy | : | 0h | 24 | follows | PM");
    QTest::newRow("fi_FI") << QString("d.M.yyyy | . | h | 24 | follows | ip.");
    QTest::newRow("da_DK") << QString("dd.MM.yyyy | . | 0h | 24 | follows | PM");
    QTest::newRow("ko_KR") << "yyyy. M. d. | : | h | 12 | leads | " + Afternoon;
    // Designator written upper case by the "AP" of the pattern.
    QTest::newRow("hi_IN") << QString("d/M/yyyy | : | h | 12 | follows | PM");
    // Quoted text stays as it is while the year is widened.
    QTest::newRow("bg_BG") << QString::fromUtf8("d.MM.yyyy '\xd0\xb3'. | : | h | 24 | follows | "
                                                "\xd1\x81\xd0\xbb.\xd0\xbe\xd0\xb1.");
    // Words between hour and minutes are no separator.
    QTest::newRow("fr_CA") << QString("yyyy-MM-dd | : | 0h | 24 | follows | p.m.");
}

void TestFormatSettings::fromLocale() {
    QFETCH(QString, fields);
    const QLocale locale(QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(Fields(TFormatSettings::FromLocale(locale)), fields);
}

void TestFormatSettings::localeText_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    const QDateTime afternoon = At(2026, 12, 7, 15, 5, 9);
    QTest::newRow("en_US") << "en_US" << afternoon << "12/7/2026 3:05:09 PM";
    QTest::newRow("en_US just after midnight")
        << "en_US" << At(2026, 12, 7, 0, 0, 9) << "12/7/2026 12:00:09 AM";
    QTest::newRow("ko_KR") << "ko_KR" << afternoon << "2026. 12. 7. " + Afternoon + " 3:05:09";
    QTest::newRow("zh_CN") << "zh_CN" << At(2026, 12, 7, 5, 5, 9) << "2026/12/7 05:05:09";
    QTest::newRow("fi_FI") << "fi_FI" << At(2026, 12, 7, 5, 5, 9) << "7.12.2026 5.05.09";
    QTest::newRow("da_DK") << "da_DK" << afternoon << "07.12.2026 15.05.09";
    QTest::newRow("fr_CA") << "fr_CA" << afternoon << "2026-12-07 15:05:09";
}

void TestFormatSettings::localeText() {
    QFETCH(QString, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(DateTimeText(when, TFormatSettings::FromLocale(QLocale(locale))), text);
}

// The lines other programs read from the report file: one row for each kind, a UTF-8 date among
// them.
void TestFormatSettings::resultLines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    const QString at = QStringLiteral("05/03/2024 14:07:09");
    const QString korean = "2026. 12. 7. " + Afternoon + " 3:05:09";
    QTest::newRow("benchmark") << BenchmarkResultLine(at, 4321)
                               << QByteArray("05/03/2024 14:07:09     Benchmark Test Score : 4321");
    QTest::newRow("stress 60min")
        << StressResultLine(at, QStringLiteral("60min (1hrs)"))
        << QByteArray("05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : "
                      "60min (1hrs) test completed.");
    QTest::newRow("benchmark failed, UTF-8")
        << BenchmarkFailedLine(korean, QStringLiteral("computation error in worker 3"))
        << QByteArray("2026. 12. 7. \xec\x98\xa4\xed\x9b\x84 3:05:09     Benchmark Test FAILED : "
                      "computation error in worker 3");
    QTest::newRow("stress 4 hours, worker 15 stalled")
        << StressFailedLine(at, QStringLiteral("240min (4hrs)"),
                            QStringLiteral("worker 15 stalled"))
        << QByteArray(
               "05/03/2024 14:07:09     Stress Test (w/ multi-thread process) : 240min (4hrs) "
               "test FAILED: worker 15 stalled.");
}

void TestFormatSettings::resultLines() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(line, expected);
}

QTEST_GUILESS_MAIN(TestFormatSettings)
#include "tst_formatsettings.moc"
