#include "ui/framework/DateTimeConvert.h"

#include "runtime/FormatSettings.h"

namespace {
// Text that a Qt display format shows as it is.
QString Literal(QChar ch) {
    if (ch.isLetter())
        return QStringLiteral("'") + ch + QStringLiteral("'");
    if (ch == QLatin1Char('\''))
        return QStringLiteral("''");
    return QString(ch);
}
} // namespace

QTime ToQTime(TDateTime value) {
    const TTimeParts t = DecodeTime(value);
    return QTime(t.Hour, t.Minute, t.Second, t.MSec);
}

TDateTime FromQTime(QTime time) {
    return EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
}

QDate ToQDate(TDateTime value) {
    const TDateParts d = DecodeDate(value);
    return QDate(d.Year, d.Month, d.Day);
}

TDateTime FromQDate(QDate date) {
    return EncodeDate(date.year(), date.month(), date.day());
}

QString QtDateFormat() {
    QString result;
    for (const char c : FormatSettings.ShortDateFormat) {
        switch (c) {
        case 'd':
        case 'D':
            result += QLatin1Char('d');
            break;
        case 'm':
        case 'M':
            result += QLatin1Char('M');
            break;
        case 'y':
        case 'Y':
            result += QLatin1Char('y');
            break;
        case '/':
            result += Literal(QLatin1Char(FormatSettings.DateSeparator));
            break;
        default:
            result += Literal(QLatin1Char(c));
        }
    }
    return result;
}

QString QtTimeFormat() {
    const QString sep = Literal(QLatin1Char(FormatSettings.TimeSeparator));
    return QStringLiteral("HH") + sep + QStringLiteral("mm") + sep + QStringLiteral("ss");
}
