#pragma once

#include <QColor>
#include <optional>

class QPalette;

// Colours as window designs and OLE colour properties hold them: 0x00BBGGRR,
// or, with the top bit set, a system colour by index.

// The plain 0x00BBGGRR value; the top byte is not looked at.
inline QColor BgrColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// System colour indices, as the classic colour scheme numbers them, taken from
// the palette roles that play the same part. Index 25 and 31 have no colour.
std::optional<QColor> SystemColor(int index, const QPalette& pal);
// Brushes: the top bit selects a system colour by the low five bits.
std::optional<QColor> BrushColor(qint32 ole, const QPalette& pal);
// Text colours follow the OLE translation: plain and palette-relative RGB
// values pass, a system colour needs a known index, anything else fails.
std::optional<QColor> ResolveColor(qint32 ole, const QPalette& pal);
