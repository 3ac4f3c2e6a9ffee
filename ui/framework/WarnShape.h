#pragma once

#include <QWidget>

// A small yellow filled circle that marks a panel whose last operation did not complete.
class TWarnShape : public QWidget {
    Q_OBJECT
public:
    explicit TWarnShape(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {7, 7}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};
