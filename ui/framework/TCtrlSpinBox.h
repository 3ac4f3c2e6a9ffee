#pragma once

#include <QSpinBox>

#include <optional>
#include <utility>

// A spin field for whole numbers whose keyboard stepping works only while Ctrl is held:
// Ctrl+Up/Down step by 1, Ctrl+PageUp/PageDown by the large step; the same keys without Ctrl
// leave the value alone. The spin buttons step by 1 (also with Ctrl held, where QSpinBox would
// step by 10), and so does the mouse wheel, but only while the field has the focus. A typed
// entry is taken over when the field is left or Enter is pressed: an empty entry counts as 0
// and a number outside the bounds becomes the nearest bound.
//
// SetValueAsIs puts a value into the field even outside the bounds; the field shows and keeps
// it until the user steps or edits, and only then brings it into the bounds.
class TCtrlSpinBox : public QSpinBox {
    Q_OBJECT
    Q_PROPERTY(int largeStep READ LargeStep WRITE SetLargeStep)

public:
    explicit TCtrlSpinBox(QWidget* parent = nullptr);

    int LargeStep() const { return FLargeStep; }
    void SetLargeStep(int step) { FLargeStep = step; }

    // The bounds the user can reach (minimum() and maximum() widen while a value put in with
    // SetValueAsIs lies outside them).
    int LowerBound() const;
    int UpperBound() const;

    void SetValueAsIs(int value);

    // Takes a pending typed entry into the value. Raises EFieldValidation, after putting the
    // focus on the field, when the entry is not a whole number.
    void ValidateEdit();
    // The same without raising: false (and nothing changed) when the entry is not a number.
    bool TakeOverEntry();

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void StepExactly(int steps);
    void RestoreBounds();

    int FLargeStep = 10;
    bool FEdited = false;                       // the user typed since the last take-over
    bool FExactStep = false;                    // the step comes from our own key handling
    std::optional<std::pair<int, int>> FBounds; // the real bounds while they are widened
};
