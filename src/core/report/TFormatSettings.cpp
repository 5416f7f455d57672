// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#include "TFormatSettings.h"

#include <QList>

#include <optional>

namespace {

// One piece of a QDateTime pattern: a run of one repeated letter, or literal text (quotes
// removed).
struct Token {
    QChar letter; // null for literal text
    qsizetype count = 0;
    QString text;
};

QList<Token> Tokenise(const QString& pattern) {
    QList<Token> tokens;
    auto addLiteral = [&tokens](QChar c) {
        if (tokens.isEmpty() || !tokens.last().letter.isNull()) {
            tokens.append(Token{});
        }
        tokens.last().text.append(c);
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                addLiteral(c); // '' is one quote
                i += 2;
                continue;
            }
            ++i;
            while (i < pattern.size()) {
                if (pattern[i] == u'\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                        addLiteral(pattern[i]);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                addLiteral(pattern[i]);
                ++i;
            }
            continue;
        }
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            qsizetype run = 1;
            while (i + run < pattern.size() && pattern[i + run] == c) {
                ++run;
            }
            tokens.append(Token{c, run, pattern.mid(i, run)});
            i += run;
            continue;
        }
        addLiteral(c);
        ++i;
    }
    return tokens;
}

// Widens a two-digit year ("yy") to four digits; everything else, quoted text included, stays.
QString WidenYear(const QString& pattern) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            quoted = !quoted;
            result.append(c);
            ++i;
            continue;
        }
        if (!quoted && c == u'y') {
            qsizetype run = 1;
            while (i + run < pattern.size() && pattern[i + run] == u'y') {
                ++run;
            }
            result.append(run == 2 ? QStringLiteral("yyyy") : pattern.mid(i, run));
            i += run;
            continue;
        }
        result.append(c);
        ++i;
    }
    return result;
}

enum class DesignatorCase { Upper, Lower, AsIs };

struct ClockPattern {
    QChar hourLetter;
    qsizetype hourDigits = 0;
    bool hasDesignator = false;
    bool designatorLeads = false;
    DesignatorCase designatorCase = DesignatorCase::AsIs;
    QString separator; // empty when the pattern gives no usable one
};

std::optional<ClockPattern> ReadClock(const QString& pattern) {
    const QList<Token> tokens = Tokenise(pattern);
    qsizetype hour = -1;
    qsizetype designator = -1;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QChar letter = tokens[i].letter;
        if (hour < 0 && (letter == u'h' || letter == u'H')) {
            hour = i;
        } else if (designator < 0 && (letter == u'a' || letter == u'A')) {
            designator = i;
        }
    }
    if (hour < 0) {
        return std::nullopt;
    }
    ClockPattern clock;
    clock.hourLetter = tokens[hour].letter;
    clock.hourDigits = tokens[hour].count;
    if (designator >= 0) {
        clock.hasDesignator = true;
        clock.designatorLeads = designator < hour;
        // As QTime::toString writes it: "AP" or "A" upper case, "ap" or "a" lower case, a mixed
        // "Ap" or "aP" as the locale spells it.
        const QChar first = tokens[designator].letter;
        QChar second = first == u'A' ? u'P' : u'p';
        if (tokens[designator].count == 1 && designator + 1 < tokens.size() &&
            tokens[designator + 1].letter.toLower() == u'p') {
            second = tokens[designator + 1].letter;
        }
        if (first == u'A' && second == u'P') {
            clock.designatorCase = DesignatorCase::Upper;
        } else if (first == u'a' && second == u'p') {
            clock.designatorCase = DesignatorCase::Lower;
        }
    }
    // The separator is the literal text between the hour and the minutes, if it is made of
    // punctuation or spaces only (not words such as "h" or a CJK hour sign).
    if (hour + 2 < tokens.size() && tokens[hour + 1].letter.isNull() &&
        tokens[hour + 2].letter == u'm') {
        const QString text = tokens[hour + 1].text;
        bool clean = !text.trimmed().isEmpty();
        for (QChar c : text) {
            if (c.isLetterOrNumber()) {
                clean = false;
            }
        }
        if (clean) {
            clock.separator = text;
        }
    }
    return clock;
}

QString Cased(const QString& text, DesignatorCase how) {
    switch (how) {
    case DesignatorCase::Upper:
        return text.toUpper();
    case DesignatorCase::Lower:
        return text.toLower();
    case DesignatorCase::AsIs:
        break;
    }
    return text;
}

QString TwoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

TFormatSettings TFormatSettings::FromLocale(const QLocale& locale) {
    TFormatSettings format;
    format.ShortDateFormat = WidenYear(locale.dateFormat(QLocale::ShortFormat));
    format.TimeSeparator = QStringLiteral(":");

    std::optional<ClockPattern> clock;
    QString separator;
    for (QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const std::optional<ClockPattern> read = ReadClock(locale.timeFormat(type));
        if (!read) {
            continue;
        }
        if (!clock) {
            clock = read;
        }
        if (separator.isEmpty()) {
            separator = read->separator;
        }
    }
    if (!separator.isEmpty()) {
        format.TimeSeparator = separator;
    }
    if (clock) {
        format.LeadingZeroHour = clock->hourDigits >= 2;
        // As with QTime::toString: "h" is a 12-hour clock only beside a designator.
        format.TwelveHourClock = clock->hourLetter == u'h' && clock->hasDesignator;
        format.DesignatorLeads = format.TwelveHourClock && clock->designatorLeads;
        format.AmDesignator = Cased(locale.amText(), clock->designatorCase);
        format.PmDesignator = Cased(locale.pmText(), clock->designatorCase);
    } else {
        format.AmDesignator = locale.amText();
        format.PmDesignator = locale.pmText();
    }
    return format;
}

QString DateTimeText(const QDateTime& when, const TFormatSettings& format) {
    QString text = when.date().toString(format.ShortDateFormat);
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0) {
        return text;
    }
    int hour = time.hour();
    QString designator;
    if (format.TwelveHourClock) {
        designator = hour < 12 ? format.AmDesignator : format.PmDesignator;
        hour %= 12;
        if (hour == 0) {
            hour = 12;
        }
    }
    const QString hourText = format.LeadingZeroHour ? TwoDigits(hour) : QString::number(hour);
    QString clock = hourText + format.TimeSeparator + TwoDigits(time.minute()) +
                    format.TimeSeparator + TwoDigits(time.second());
    if (!designator.isEmpty()) {
        clock = format.DesignatorLeads ? designator + u' ' + clock : clock + u' ' + designator;
    }
    text += u' ';
    text += clock;
    return text;
}

QString IsoDateTimeText(const QDateTime& when) {
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}
