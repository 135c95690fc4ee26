#include "TreeStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

TreeStyle* TreeStyle::instance()
{
    static QPointer<TreeStyle> style;
    if (!style) {
        style = new TreeStyle;
        style->setParent(qApp);
    }
    return style;
}

TreeStyle::TreeStyle() : m_classic(QStyleFactory::create(QStringLiteral("Windows"))) {}

TreeStyle::~TreeStyle() = default;

void TreeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (element == PE_IndicatorBranch && m_classic) {
        m_classic->drawPrimitive(element, option, painter, widget);
        return;
    }
    if (element != PE_IndicatorItemViewItemCheck) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }

    // A 13 px box centred in the indicator's place, as the classic list has it.
    const QRect r = option->rect;
    const QRect box(r.x() + (r.width() - 13) / 2, r.y() + (r.height() - 13) / 2, 13, 13);
    const bool enabled = option->state & State_Enabled;
    const QColor ink = enabled ? QColor(0x1c, 0x1c, 0x1c) : QColor(0x80, 0x80, 0x80);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(box, enabled ? Qt::white : QColor(0xf4, 0xf4, 0xf4));
    painter->setPen(ink);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    if (option->state & (State_On | State_NoChange)) {
        // The classic 7 x 7 tick, three pixels thick.
        const QPoint o = box.topLeft() + QPoint(3, 3);
        for (int i = 0; i < 3; ++i) {
            painter->drawLine(o + QPoint(0, 2 + i), o + QPoint(2, 4 + i));
            painter->drawLine(o + QPoint(2, 4 + i), o + QPoint(6, 0 + i));
        }
    }
    painter->restore();
}
