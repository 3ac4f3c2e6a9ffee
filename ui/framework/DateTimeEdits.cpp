#include "ui/framework/DateTimeEdits.h"

#include "app/FieldValidation.h"
#include "runtime/Format.h"
#include "ui/framework/DateTimeConvert.h"

#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace {

// Raises for a typed entry that the field does not accept, after focusing the field.
[[noreturn]] void Reject(QWidget& field, const QString& text, const char* what) {
    field.setFocus();
    throw EFieldValidation(Format("'%s' is not a valid %s", {text.toStdString(), what}));
}

// Selects the section under a click in a date or time field, so that digits typed next replace
// it as after Tab; Qt leaves a bare cursor there, and a full section refuses more digits. A
// selection the user drags stays as it is.
class TSelectSectionOnClick : public QObject {
public:
    TSelectSectionOnClick(QDateTimeEdit& field, QLineEdit& editor)
        : QObject(&field), FField(field), FEditor(editor) {
        editor.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &FEditor || event->type() != QEvent::MouseButtonRelease ||
            static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        // The editor places its cursor first; the section under it is then the current one.
        static_cast<QObject&>(FEditor).event(event);
        if (!FEditor.hasSelectedText() && FField.currentSection() != QDateTimeEdit::NoSection)
            FField.setSelectedSection(FField.currentSection());
        return true;
    }

private:
    QDateTimeEdit& FField;
    QLineEdit& FEditor;
};

} // namespace

QLocale FieldLocale() {
    return QLocale(QLocale::English, QLocale::UnitedKingdom);
}

TTodayCalendar::TTodayCalendar(QWidget* parent)
    : QCalendarWidget(parent), FToday(new QPushButton(tr("Today"), this)) {
    FToday->setObjectName("btnToday");
    FToday->setAccessibleName("Today");
    setLocale(FieldLocale());
    setGridVisible(false);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    if (layout() != nullptr)
        layout()->addWidget(FToday);
    connect(FToday, &QPushButton::clicked, this, &TTodayCalendar::SelectToday);
}

int TTodayCalendar::ButtonSpace() const {
    const int spacing = layout() != nullptr ? qMax(layout()->spacing(), 0) : 0;
    return FToday->sizeHint().height() + spacing + 2;
}

QSize TTodayCalendar::sizeHint() const {
    QSize size = QCalendarWidget::sizeHint();
    size.rheight() += ButtonSpace();
    return size;
}

QSize TTodayCalendar::minimumSizeHint() const {
    QSize size = QCalendarWidget::minimumSizeHint();
    size.rheight() += ButtonSpace();
    return size;
}

void TTodayCalendar::SelectToday() {
    const QDate today = qBound(minimumDate(), QDate::currentDate(), maximumDate());
    setSelectedDate(today);
    // The date field's popup takes a click on a day as the choice and closes.
    emit clicked(today);
}

TTimeEdit::TTimeEdit(QWidget* parent) : QTimeEdit(parent) {
    setLocale(FieldLocale());
    setDisplayFormat(QtTimeFormat());
    setTime(QTime(0, 0, 0));
    new TSelectSectionOnClick(*this, *lineEdit());
}

void TTimeEdit::ValidateEdit() {
    // Parsed strictly by the display format and read back: Qt's date parser quietly repairs
    // some entries (31.02. becomes 28.02.) instead of rejecting them.
    const QString text = lineEdit()->text();
    const QTime entry = FieldLocale().toTime(text, displayFormat());
    if (!entry.isValid() || FieldLocale().toString(entry, displayFormat()) != text)
        Reject(*this, text, "time");
    setTime(entry);
}

TDateTime TTimeEdit::Value() const {
    const QTime t = time();
    return FromQTime(QTime(t.hour(), t.minute(), t.second()));
}

void TTimeEdit::SetValue(TDateTime value) {
    const QTime t = ToQTime(value);
    setTime(QTime(t.hour(), t.minute(), t.second()));
}

TDateEdit::TDateEdit(QWidget* parent) : QDateEdit(parent), FCalendar(new TTodayCalendar(this)) {
    setLocale(FieldLocale());
    setDisplayFormat(QtDateFormat());
    setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
    setCalendarPopup(true);
    setCalendarWidget(FCalendar);
    setDate(QDate(2000, 1, 1));
    new TSelectSectionOnClick(*this, *lineEdit());
}

void TDateEdit::ValidateEdit() {
    const QString text = lineEdit()->text();
    const QDate entry = FieldLocale().toDate(text, displayFormat());
    if (!entry.isValid() || FieldLocale().toString(entry, displayFormat()) != text ||
        entry < minimumDate() || entry > maximumDate())
        Reject(*this, text, "date");
    setDate(entry);
}

TDateTime TDateEdit::Value() const {
    return FromQDate(date());
}

void TDateEdit::SetValue(TDateTime value) {
    setDate(ToQDate(value));
}
