#pragma once

#include "runtime/DateTime.h"

#include <QDate>
#include <QString>
#include <QTime>

// Between the windows' date and time values and the system's date-time values (days since
// 30 December 1899, the fraction being the time of day).
QTime ToQTime(TDateTime value);
TDateTime FromQTime(QTime time);
QDate ToQDate(TDateTime value);
TDateTime FromQDate(QDate date);

// Qt display formats built from the regional settings: the short date format ("d", "m", "y"
// in either case, "/" for the date separator) and hours, minutes and seconds with the time
// separator.
QString QtDateFormat();
QString QtTimeFormat();
