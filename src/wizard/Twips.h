#pragma once

#include <QRect>
#include <QtMath>

// Window designs are measured in twips; at 96 dots per inch 15 twips make one pixel.
constexpr int TwipsPerPixel = 15;

inline int TwipsToPixels(int twips)
{
    return qRound(twips / double(TwipsPerPixel));
}

inline QRect TwipsRect(int left, int top, int width, int height)
{
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

inline QPoint TwipsPoint(int left, int top)
{
    return {TwipsToPixels(left), TwipsToPixels(top)};
}
