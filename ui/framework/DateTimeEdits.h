#pragma once

#include "runtime/DateTime.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QTimeEdit>

class QPushButton;

// The drop-down calendar of the date field, with a "Today" button under the month.
class TTodayCalendar : public QCalendarWidget {
    Q_OBJECT
public:
    explicit TTodayCalendar(QWidget* parent = nullptr);

    // The month grid sizes itself without the button: add its height, or the last week is cut.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QPushButton* TodayButton() const { return FToday; }

private:
    void SelectToday();
    int ButtonSpace() const;

    QPushButton* FToday;
};

// Time of day in hours, minutes and seconds (24-hour form), shown with the regional time
// separator.
class TTimeEdit : public QTimeEdit {
    Q_OBJECT
public:
    explicit TTimeEdit(QWidget* parent = nullptr);

    // Takes a pending typed entry into the value; on an invalid entry focuses the field and
    // raises EFieldValidation.
    void ValidateEdit();

    TDateTime Value() const; // the time of day, whole seconds
    void SetValue(TDateTime value);
};

// A date from 1 January 2000 to 31 December 2099 in the regional short date format, with a
// drop-down calendar in English whatever the system's language.
class TDateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit TDateEdit(QWidget* parent = nullptr);

    // As TTimeEdit::ValidateEdit.
    void ValidateEdit();

    TDateTime Value() const; // the date, no time part
    void SetValue(TDateTime value);

    TTodayCalendar* Calendar() const { return FCalendar; }

private:
    TTodayCalendar* FCalendar;
};

// The locale of the date and time fields: English names, whatever the system's language.
QLocale FieldLocale();
