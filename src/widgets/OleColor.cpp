#include "widgets/OleColor.h"

#include <QPalette>

std::optional<QColor> SystemColor(int index, const QPalette& pal)
{
    using P = QPalette;
    switch (index) {
    case 0:
        return pal.color(P::Button); // scroll bar
    case 1:
        return pal.color(P::Window); // desktop
    case 2:
        return pal.color(P::Active, P::Highlight); // active caption
    case 3:
        return pal.color(P::Inactive, P::Highlight); // inactive caption
    case 4:
        return pal.color(P::Window); // menu
    case 5:
        return pal.color(P::Base); // window
    case 6:
        return pal.color(P::Shadow); // window frame
    case 7:
        return pal.color(P::WindowText); // menu text
    case 8:
        return pal.color(P::Text); // window text
    case 9:
        return pal.color(P::HighlightedText); // caption text
    case 10:
        return pal.color(P::Window); // active border
    case 11:
        return pal.color(P::Window); // inactive border
    case 12:
        return pal.color(P::Dark); // application workspace
    case 13:
        return pal.color(P::Highlight); // highlight
    case 14:
        return pal.color(P::HighlightedText); // highlight text
    case 15:
        return pal.color(P::Button); // button face
    case 16:
        return pal.color(P::Dark); // button shadow
    case 17:
        return pal.color(P::Disabled, P::Text); // grey text
    case 18:
        return pal.color(P::ButtonText); // button text
    case 19:
        return pal.color(P::Inactive, P::HighlightedText); // inactive caption text
    case 20:
        return pal.color(P::Light); // button highlight
    case 21:
        return pal.color(P::Shadow); // 3-D dark shadow
    case 22:
        return pal.color(P::Midlight); // 3-D light
    case 23:
        return pal.color(P::ToolTipText); // info text
    case 24:
        return pal.color(P::ToolTipBase); // info background
    case 26:
        return pal.color(P::Link); // hot-tracked item
    case 27:
        return pal.color(P::Active, P::Highlight); // caption gradient
    case 28:
        return pal.color(P::Inactive, P::Highlight); // inactive caption gradient
    case 29:
        return pal.color(P::Highlight); // menu highlight
    case 30:
        return pal.color(P::Window); // menu bar
    default:
        return std::nullopt;
    }
}

std::optional<QColor> BrushColor(qint32 ole, const QPalette& pal)
{
    const quint32 v = quint32(ole);
    if (v & 0x80000000u)
        return SystemColor(int(v & 31), pal);
    return BgrColor(v);
}

std::optional<QColor> ResolveColor(qint32 ole, const QPalette& pal)
{
    const quint32 v = quint32(ole);
    switch (v >> 24) {
    case 0x00:
    case 0x01:
    case 0x02:
        return BgrColor(v);
    case 0x80:
        return (v & 0xFF) <= 30 ? SystemColor(int(v & 0xFF), pal) : std::nullopt;
    default:
        return std::nullopt;
    }
}
