#include "Artwork.h"

#include "Fonts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace Artwork {

QImage Logo(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // A parcel seen from above the front edge: a lid, a front and a side.
    const QPolygonF lid({{4, 10}, {16, 4}, {28, 10}, {16, 16}});
    const QPolygonF front({{4, 10}, {16, 16}, {16, 30}, {4, 24}});
    const QPolygonF side({{16, 16}, {28, 10}, {28, 24}, {16, 30}});
    p.setPen(QPen(QColor(0x6b, 0x45, 0x1c), 1.0));
    p.setBrush(QColor(0xf0, 0xc8, 0x82));
    p.drawPolygon(lid);
    p.setBrush(QColor(0xd9, 0xa1, 0x52));
    p.drawPolygon(front);
    p.setBrush(QColor(0xbf, 0x86, 0x3c));
    p.drawPolygon(side);

    // A blue band around the parcel.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xc0));
    p.drawPolygon(QPolygonF({{9, 7.5}, {11.5, 6.25}, {23.5, 12.25}, {23.5, 26.2}, {21, 27.5}, {21, 13.5}}));

    // A script page sticking out of the lid.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 0.8));
    p.setBrush(Qt::white);
    QPainterPath page;
    page.moveTo(17, 1.5);
    page.lineTo(25.5, 1.5);
    page.lineTo(25.5, 9.5);
    page.lineTo(17, 9.5);
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xc0), 0.9));
    for (double y = 3.5; y < 9; y += 2)
        p.drawLine(QPointF(18.5, y), QPointF(24, y));
    return image;
}

QIcon WindowIcon()
{
    QIcon icon;
    for (int size : {32, 24, 16})
        icon.addPixmap(QPixmap::fromImage(Logo(size)));
    return icon;
}

QPixmap HeaderLogo()
{
    return QPixmap::fromImage(Logo(32));
}

namespace {

// A sheet of paper with its top-right corner folded.
void Page(QPainter& p)
{
    const QPolygon sheet({{2, 0}, {10, 0}, {13, 3}, {13, 15}, {2, 15}});
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.setBrush(Qt::white);
    p.drawPolygon(sheet);
    p.setBrush(QColor(0xd8, 0xd8, 0xd8));
    p.drawPolygon(QPolygon({{10, 0}, {10, 3}, {13, 3}}));
}

} // namespace

QIcon FileIcon(FileKind kind)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    switch (kind) {
    case FileKind::Folder:
        // The classic manila folder: a tab behind, the front a shade lighter.
        p.setPen(QColor(0x9a, 0x7a, 0x20));
        p.setBrush(QColor(0xe8, 0xc4, 0x50));
        p.drawPolygon(QPolygon({{0, 3}, {5, 3}, {7, 5}, {14, 5}, {14, 14}, {0, 14}}));
        p.setBrush(QColor(0xff, 0xe0, 0x80));
        p.drawRect(0, 7, 14, 7);
        break;
    case FileKind::Image:
        p.setPen(QColor(0x50, 0x50, 0x50));
        p.setBrush(QColor(0x9c, 0xd0, 0xff));
        p.drawRect(0, 2, 15, 12);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xff, 0xd0, 0x20));
        p.drawEllipse(QPoint(11, 6), 2, 2);
        p.setBrush(QColor(0x30, 0x9a, 0x30));
        p.drawPolygon(QPolygon({{1, 14}, {6, 7}, {10, 12}, {12, 10}, {15, 14}}));
        break;
    case FileKind::Library:
        // Three building blocks: a component.
        p.setPen(QColor(0x20, 0x3a, 0x70));
        p.setBrush(QColor(0x5a, 0x8c, 0xe0));
        p.drawRect(1, 8, 6, 6);
        p.setBrush(QColor(0xe0, 0x8a, 0x30));
        p.drawRect(8, 8, 6, 6);
        p.setBrush(QColor(0x6a, 0xb0, 0x50));
        p.drawRect(4, 1, 6, 6);
        break;
    case FileKind::Archive:
        // A parcel with a zip down its middle.
        p.setPen(QColor(0x6b, 0x45, 0x1c));
        p.setBrush(QColor(0xe8, 0xc0, 0x70));
        p.drawRect(1, 2, 13, 12);
        p.setPen(Qt::black);
        for (int y = 3; y < 14; y += 2)
            p.drawLine(7, y, 8, y);
        break;
    default:
        Page(p);
        if (kind == FileKind::Text) {
            p.setPen(QColor(0x80, 0x80, 0x80));
            for (int y = 5; y <= 12; y += 2)
                p.drawLine(4, y, 11, y);
        } else if (kind == FileKind::Script) {
            // Indented lines of code in colour.
            const struct
            {
                int x1, x2;
                QColor colour;
            } lines[] = {{4, 9, QColor(0x10, 0x40, 0xc0)},
                         {6, 11, QColor(0x10, 0x90, 0x30)},
                         {6, 10, QColor(0xc0, 0x30, 0x30)},
                         {4, 8, QColor(0x10, 0x40, 0xc0)}};
            int y = 5;
            for (const auto& line : lines) {
                p.setPen(line.colour);
                p.drawLine(line.x1, y, line.x2, y);
                y += 2;
            }
        }
        break;
    }
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

namespace {

void SunkenBox(QPainter& p, const QRect& r, const QColor& fill)
{
    p.fillRect(r, fill);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Qt::white);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

// Bold the way the host draws its single-weight dialog font: the regular
// glyphs struck twice, one pixel apart. Qt does not embolden that face.
void BoldText(QPainter& p, const QRect& r, int flags, const QString& text)
{
    p.drawText(r, flags, text);
    p.drawText(r.translated(1, 0), flags, text);
}

void PaintButton(QPainter& p, const QRect& r, const QString& caption, bool enabled)
{
    p.fillRect(r, QColor(0xec, 0xe9, 0xd8));
    p.setPen(QColor(0x00, 0x3c, 0x74));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setPen(enabled ? Qt::black : QColor(0xa1, 0xa1, 0x92));
    p.drawText(r, Qt::AlignCenter, caption);
}

} // namespace

QImage ImportPrompt()
{
    const QColor face(0xec, 0xe9, 0xd8);
    QImage image(402, 247, QImage::Format_RGB32);
    image.fill(face);
    QPainter p(&image);
    const QFont plain = Fonts::MsSansSerif(8.25);
    p.setFont(plain);

    // Frame and title bar, painted: the preview has no frame of its own.
    p.setPen(QColor(0x00, 0x2d, 0x96));
    p.drawRect(0, 0, 401, 246);
    QLinearGradient title(0, 0, 0, 22);
    title.setColorAt(0, QColor(0x3d, 0x95, 0xff));
    title.setColorAt(0.5, QColor(0x00, 0x54, 0xe3));
    title.setColorAt(1, QColor(0x00, 0x3c, 0xb8));
    p.fillRect(1, 1, 400, 21, title);
    p.setPen(Qt::white);
    BoldText(p, QRect(8, 1, 340, 21), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Import Script"));
    const QRect close(377, 4, 17, 15);
    p.setPen(Qt::white);
    p.setBrush(QColor(0xe0, 0x4a, 0x22));
    p.drawRoundedRect(close, 2, 2);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(close.topLeft() + QPoint(5, 4), close.bottomRight() - QPoint(5, 4));
    p.drawLine(close.topRight() + QPoint(-5, 4), close.bottomLeft() + QPoint(5, -4));

    // The introductory line.
    p.setPen(Qt::black);
    p.drawText(QRect(16, 32, 376, 28), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
               QStringLiteral("You are about to import the following script into Messenger Plus! Live:"));

    // The two fields, empty: the preview writes the name and description into them.
    SunkenBox(p, QRect(116, 70, 276, 17), Qt::white);
    SunkenBox(p, QRect(116, 89, 276, 50), Qt::white);
    // SunkenBox leaves its white highlight pen behind.
    p.setPen(Qt::black);
    BoldText(p, QRect(16, 70, 95, 17), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Name:"));
    BoldText(p, QRect(16, 90, 95, 15), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Description:"));

    // The warning, with its sign.
    const QPolygon sign({QPoint(28, 150), QPoint(40, 172), QPoint(16, 172)});
    p.setPen(QColor(0x80, 0x60, 0x00));
    p.setBrush(QColor(0xff, 0xd7, 0x00));
    p.drawPolygon(sign);
    p.setPen(Qt::black);
    BoldText(p, QRect(24, 155, 9, 16), Qt::AlignCenter, QStringLiteral("!"));
    p.drawText(QRect(50, 148, 342, 30), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
               QStringLiteral("Scripts can run programs on your computer. Only import scripts that come "
                              "from people you trust."));

    // The acceptance check box, unticked.
    SunkenBox(p, QRect(50, 186, 13, 13), Qt::white);
    p.setPen(Qt::black);
    p.drawText(QRect(70, 184, 322, 17), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("I trust the author of this script"));

    // The buttons: import is disabled until the box is ticked.
    PaintButton(p, QRect(232, 214, 75, 23), QStringLiteral("Import"), false);
    PaintButton(p, QRect(316, 214, 75, 23), QStringLiteral("Cancel"), true);
    return image;
}

} // namespace Artwork
