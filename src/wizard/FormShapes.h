#pragma once

#include <QColor>
#include <QWidget>

// The two drawn decorations of a window design: a filled rectangle with a
// border, and a one-pixel line. Neither takes input.
class ShapeControl final : public QWidget
{
    Q_OBJECT
public:
    ShapeControl(QWidget* parent, QColor border, QColor fill);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_border;
    QColor m_fill;
};

class LineControl final : public QWidget
{
    Q_OBJECT
public:
    // A horizontal line from (x1, y) to (x2, y) in the parent's pixels.
    LineControl(QWidget* parent, int x1, int x2, int y, QColor colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_colour;
};
