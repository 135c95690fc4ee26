#pragma once

#include <QImage>

class QPainter;
class QPaintDevice;
class QPixmap;

// An off-screen drawing surface: an opaque image that callers paint into and
// then copy to a window in one block transfer. The progress bar keeps one as
// its frame buffer and one per picture it is given.
//
// The surface is made lazily and reused: a request that fits in the current
// size keeps the image (and its contents) even when it is larger than asked;
// only a request that exceeds it in width or height makes it anew at exactly
// the requested size.
class pcMemDC
{
public:
    pcMemDC() = default;
    ~pcMemDC();
    pcMemDC(const pcMemDC&) = delete;
    pcMemDC& operator=(const pcMemDC&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // On an existing surface these only change the stored numbers, unless the
    // new number exceeds the image itself (then the image is made anew).
    void setWidth(int Value);
    void setHeight(int Value);

    // The surface to paint into, made first when needed; nullptr when there is
    // none (a size of 0 or less on a fresh object, or the image could not be
    // allocated). The pointer stays owned by this object.
    QImage* hDC(int Width, int Height);
    // The current surface without making one; nullptr when there is none.
    const QImage* image() const { return m_surface.isNull() ? nullptr : &m_surface; }

    // Block-copies WidthSrc x HeightSrc from (xSrc, ySrc) of the surface to
    // (xDst, yDst) of hDC. A size of 0 or less means the stored Width
    // (Height). Without a surface, or with no target, nothing is drawn.
    void Draw(QPainter* hDC, int xSrc = 0, int ySrc = 0, int WidthSrc = 0, int HeightSrc = 0, int xDst = 0,
              int yDst = 0) const;
    void Draw(QPaintDevice* hDC, int xSrc = 0, int ySrc = 0, int WidthSrc = 0, int HeightSrc = 0,
              int xDst = 0, int yDst = 0) const;

    // Makes the surface the picture's size and copies its pixels, so that later
    // changes to the caller's picture are not seen here.
    void CreateFromPicture(const QImage& sPic);
    void CreateFromPicture(const QPixmap& sPic);

private:
    void CreateSurface(int w, int h);
    void DestroySurface();

    QImage m_surface;
    int m_width = 0;
    int m_height = 0;
};
