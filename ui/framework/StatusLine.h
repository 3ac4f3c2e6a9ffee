#pragma once

#include <QLabel>

// The window's status line: a label that wraps onto a second line rather than cutting a long
// message off, carries the full text as its tool tip, and presents itself to screen readers as a
// status bar whose name is the text shown, announcing every new text (a repeated one too).
class TStatusLine : public QLabel {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    void ShowText(const QString& text);
};
