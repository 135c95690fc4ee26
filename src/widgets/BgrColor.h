#pragma once

#include <QColor>

// A colour as window designs and OLE colours store it: 0x00BBGGRR. The top
// byte is not looked at; callers that give it a meaning test it first.
inline QColor BgrColor(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
