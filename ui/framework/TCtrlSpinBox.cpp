#include "ui/framework/TCtrlSpinBox.h"

#include "app/FieldValidation.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QWheelEvent>

#include <algorithm>

namespace {

const QRegularExpression& WholeNumberPattern() {
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)([0-9]*)$"));
    return pattern;
}

// Reads a whole number of any length (an empty entry or a sign alone is 0) and brings it into
// [lower, upper]; false when the entry is not a whole number.
bool ReadIntoBounds(const QString& entry, int lower, int upper, int& number) {
    const QRegularExpressionMatch match = WholeNumberPattern().match(entry.trimmed());
    if (!match.hasMatch())
        return false;
    QString digits = match.captured(2);
    while (digits.size() > 1 && digits.front() == QLatin1Char('0'))
        digits.remove(0, 1);
    const bool negative = match.captured(1) == QLatin1String("-");
    // More digits than any bound has: beyond it in the entry's direction.
    constexpr qsizetype MaxDigits = 12;
    const qint64 magnitude = digits.isEmpty()            ? 0
                             : digits.size() > MaxDigits ? qint64{1} << 50
                                                         : digits.toLongLong();
    const qint64 value = negative ? -magnitude : magnitude;
    number = static_cast<int>(std::clamp<qint64>(value, lower, upper));
    return true;
}

} // namespace

TCtrlSpinBox::TCtrlSpinBox(QWidget* parent) : QSpinBox(parent) {
    setSingleStep(1);
    // Qt would correct an unfinished entry back to the previous value, silently dropping what
    // was typed; the nearest bound keeps as much of the entry as fits.
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // The wheel must not grab the focus, so that it steps only a field the user is in.
    setFocusPolicy(Qt::StrongFocus);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { FEdited = true; });
}

int TCtrlSpinBox::LowerBound() const {
    return FBounds ? FBounds->first : minimum();
}

int TCtrlSpinBox::UpperBound() const {
    return FBounds ? FBounds->second : maximum();
}

void TCtrlSpinBox::SetValueAsIs(int value) {
    FEdited = false;
    RestoreBounds();
    if (value < minimum() || value > maximum()) {
        FBounds = std::make_pair(minimum(), maximum());
        setRange(std::min(value, minimum()), std::max(value, maximum()));
    }
    setValue(value);
}

void TCtrlSpinBox::RestoreBounds() {
    if (!FBounds)
        return;
    const auto [lower, upper] = *FBounds;
    FBounds.reset();
    setRange(lower, upper); // brings the value into the bounds
}

bool TCtrlSpinBox::TakeOverEntry() {
    if (!FEdited)
        return true;
    int number = 0;
    if (!ReadIntoBounds(cleanText(), LowerBound(), UpperBound(), number))
        return false;
    FEdited = false;
    RestoreBounds();
    setValue(number);
    return true;
}

QValidator::State TCtrlSpinBox::validate(QString& input, int& pos) const {
    // A number beyond the bounds may be typed in full (it is brought to the nearest bound when
    // taken over), rather than its last digit being refused and a different number kept.
    if (!WholeNumberPattern().match(input).hasMatch())
        return QValidator::Invalid;
    const QValidator::State state = QSpinBox::validate(input, pos);
    return state == QValidator::Acceptable ? state : QValidator::Intermediate;
}

void TCtrlSpinBox::ValidateEdit() {
    if (TakeOverEntry())
        return;
    const std::string entry = cleanText().toStdString();
    setFocus();
    selectAll();
    throw EFieldValidation("'" + entry + "' is not a valid integer value");
}

void TCtrlSpinBox::stepBy(int steps) {
    if (!FExactStep) {
        // Spin buttons, their auto-repeat and the wheel: QSpinBox multiplies by 10 with Ctrl.
        TakeOverEntry();
        steps = (steps > 0) - (steps < 0);
    }
    QSpinBox::stepBy(steps);
    FEdited = false;
    RestoreBounds();
}

void TCtrlSpinBox::StepExactly(int steps) {
    TakeOverEntry();
    FExactStep = true;
    stepBy(steps);
    FExactStep = false;
}

void TCtrlSpinBox::keyPressEvent(QKeyEvent* event) {
    const int largeSteps = std::max(1, FLargeStep / std::max(1, singleStep()));
    int steps = 0;
    switch (event->key()) {
    case Qt::Key_Up:
        steps = 1;
        break;
    case Qt::Key_Down:
        steps = -1;
        break;
    case Qt::Key_PageUp:
        steps = largeSteps;
        break;
    case Qt::Key_PageDown:
        steps = -largeSteps;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        TakeOverEntry();
        QSpinBox::keyPressEvent(event); // passes Enter on to the dialog's default button
        return;
    default:
        QSpinBox::keyPressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ControlModifier)
        StepExactly(steps);
    event->accept();
}

void TCtrlSpinBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore(); // leaves the wheel to the window under the field
        return;
    }
    QSpinBox::wheelEvent(event);
}

void TCtrlSpinBox::focusOutEvent(QFocusEvent* event) {
    const bool notANumber = !TakeOverEntry();
    QSpinBox::focusOutEvent(event);
    if (notANumber) {
        // QSpinBox's correction has brought the entry to the nearest value by now.
        FEdited = false;
        RestoreBounds();
    }
}
