#include "widgets/pcMemDC.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>

pcMemDC::~pcMemDC()
{
    DestroySurface();
}

void pcMemDC::setWidth(int Value)
{
    if (Value == m_width)
        return;
    m_width = Value;
    hDC(m_width, m_height);
}

void pcMemDC::setHeight(int Value)
{
    if (Value == m_height)
        return;
    m_height = Value;
    hDC(m_width, m_height);
}

QImage* pcMemDC::hDC(int Width, int Height)
{
    if (!m_surface.isNull()) {
        // The stored numbers can be raised past the image by setWidth/setHeight;
        // comparing with the image too keeps callers from being handed a
        // surface smaller than the size they were told it has.
        if (Width > m_width || Height > m_height || Width > m_surface.width() || Height > m_surface.height())
            CreateSurface(Width, Height);
    } else if (Width > 0 && Height > 0) {
        CreateSurface(Width, Height);
    }
    return m_surface.isNull() ? nullptr : &m_surface;
}

void pcMemDC::Draw(QPainter* hDC, int xSrc, int ySrc, int WidthSrc, int HeightSrc, int xDst, int yDst) const
{
    if (!hDC || !hDC->isActive() || m_surface.isNull())
        return;
    const int w = WidthSrc > 0 ? WidthSrc : m_width;
    const int h = HeightSrc > 0 ? HeightSrc : m_height;
    // Only the part that lies on the image is copied, at the place it would
    // have had in a copy of the whole rectangle.
    const QRect wanted(xSrc, ySrc, w, h);
    const QRect src = wanted.intersected(m_surface.rect());
    if (src.isEmpty())
        return;
    const QPoint dst(xDst + (src.left() - xSrc), yDst + (src.top() - ySrc));
    const QPainter::CompositionMode mode = hDC->compositionMode();
    hDC->setCompositionMode(QPainter::CompositionMode_Source);
    hDC->drawImage(dst, m_surface, src);
    hDC->setCompositionMode(mode);
}

void pcMemDC::Draw(QPaintDevice* hDC, int xSrc, int ySrc, int WidthSrc, int HeightSrc, int xDst,
                   int yDst) const
{
    if (!hDC || m_surface.isNull())
        return;
    QPainter painter(hDC);
    Draw(&painter, xSrc, ySrc, WidthSrc, HeightSrc, xDst, yDst);
}

void pcMemDC::CreateFromPicture(const QImage& sPic)
{
    setWidth(sPic.width());
    setHeight(sPic.height());
    if (m_surface.isNull() || sPic.isNull())
        return;
    // Painting converts the picture into the surface's own pixels: a deep copy,
    // not a share of the caller's image data.
    QPainter painter(&m_surface);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), sPic);
}

void pcMemDC::CreateFromPicture(const QPixmap& sPic)
{
    CreateFromPicture(sPic.toImage());
}

void pcMemDC::CreateSurface(int w, int h)
{
    DestroySurface();
    // Like a fresh display-compatible bitmap: opaque and black. A size the
    // system cannot allocate yields a null image, that is no surface.
    QImage surface(w, h, QImage::Format_RGB32);
    if (surface.isNull())
        return;
    surface.fill(Qt::black);
    m_surface = std::move(surface);
    m_width = w;
    m_height = h;
}

void pcMemDC::DestroySurface()
{
    m_surface = QImage();
    m_width = 0;
    m_height = 0;
}
