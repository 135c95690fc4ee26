#include "FormShapes.h"

#include <QPainter>

ShapeControl::ShapeControl(QWidget* parent, QColor border, QColor fill)
    : QWidget(parent), m_border(border), m_fill(fill)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_fill);
    p.setPen(m_border);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

LineControl::LineControl(QWidget* parent, int x1, int x2, int y, QColor colour)
    : QWidget(parent), m_colour(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(x1, y, qMax(1, x2 - x1), 1);
}

void LineControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), m_colour);
}
