#pragma once

#include "widgets/pcMemDC.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>

class QImage;
class QPainter;
class QPaintDevice;
class QPixmap;

// A windowless progress bar: it owns no widget of its own but paints into any
// widget given as DrawObject. Every property change (but Tag) composes a new
// frame off screen at once and has the target show it in one blit.
//
// Two ways of painting: themed, with the target's QStyle progress-bar elements
// (XpStyle on, no background picture, and a style that gives a usable chunk
// metric), and classic: colour or picture fills, optional segments, a caption
// in two colours and a flat or 3-D border.
//
// Colours are OLE colours: 0x00BBGGRR, or with the top bit set a system colour
// by index, taken from the target's palette. An index the palette has no
// colour for (the default -1 is index 31) gives no fill at all.
class cProgressBar : public QObject
{
    Q_OBJECT

public:
    explicit cProgressBar(QObject* parent = nullptr);
    ~cProgressBar() override;

    QString Tag() const { return m_tag; }
    void setTag(const QString& Value) { m_tag = Value; }

    bool Segments() const { return m_segments; }
    void setSegments(bool Value) { Set(m_segments, Value); }
    bool XpStyle() const { return m_xpStyle; }
    void setXpStyle(bool Value) { Set(m_xpStyle, Value); }

    QString Text() const { return m_text; }
    void setText(const QString& Value) { Set(m_text, Value); }
    // 0 left, 1 centre, 2 right.
    qint32 TextAlignX() const { return m_textAlignX; }
    void setTextAlignX(qint32 Value) { Set(m_textAlignX, Value); }
    // 0 top, 1 centre, 2 bottom.
    qint32 TextAlignY() const { return m_textAlignY; }
    void setTextAlignY(qint32 Value) { Set(m_textAlignY, Value); }
    bool ShowText() const { return m_showText; }
    void setShowText(bool Value) { Set(m_showText, Value); }

    // (Value - Min) / (Max - Min) as a percentage, clamped to 0..100.
    double Percent() const;
    qint32 Min() const { return m_min; }
    void setMin(qint32 Value) { Set(m_min, Value); }
    qint32 Max() const { return m_max; }
    void setMax(qint32 Value) { Set(m_max, Value); }
    // Not limited to Min..Max; the bar shows it clamped.
    qint32 Value() const { return m_value; }
    void setValue(qint32 Value) { Set(m_value, Value); }

    // 0 none, 1 sunken, 2 raised; 3 and above shrink the bar without a border.
    qint32 BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(qint32 Value) { Set(m_borderStyle, Value); }
    // 0 flat, 1 thin 3-D, 2 3-D.
    qint32 Appearance() const { return m_appearance; }
    void setAppearance(qint32 Value) { Set(m_appearance, Value); }

    // The paint target, not owned; forgotten when the widget is destroyed.
    QWidget* DrawObject() const { return m_drawObject.data(); }
    void setDrawObject(QWidget* Value);

    qint32 BackColor() const { return m_backColor; }
    void setBackColor(qint32 Value) { Set(m_backColor, Value); }
    qint32 ForeColor() const { return m_foreColor; }
    void setForeColor(qint32 Value) { Set(m_foreColor, Value); }
    QFont Font() const { return m_font; }
    void setFont(const QFont& Value) { Set(m_font, Value); }
    qint32 BarColor() const { return m_barColor; }
    void setBarColor(qint32 Value) { Set(m_barColor, Value); }
    qint32 BarForeColor() const { return m_barForeColor; }
    void setBarForeColor(qint32 Value) { Set(m_barForeColor, Value); }

    // Pictures are copied when set; a null picture releases the copy.
    void setBarPicture(const QImage& Value);
    void setBarPicture(const QPixmap& Value);
    // 1 tiles the picture, any other value stretches it.
    qint32 BarPictureMode() const { return m_barPictureMode; }
    void setBarPictureMode(qint32 Value) { Set(m_barPictureMode, Value); }
    qint32 BackPictureMode() const { return m_backPictureMode; }
    void setBackPictureMode(qint32 Value) { Set(m_backPictureMode, Value); }
    void setPicture(const QImage& Value);
    void setPicture(const QPixmap& Value);

    // Composes a frame for the whole client area of DrawObject and shows it.
    // Does nothing without a DrawObject.
    void Draw();
    // Paints the whole bar into the rectangle (lLeft, lTop)-(lRight, lBottom)
    // of hDC. hWnd only supplies the style and palette (the application's when
    // null). With a null hDC the frame is composed into the surface only.
    void DrawToDC(QWidget* hWnd, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom);
    void DrawToDC(QWidget* hWnd, QPaintDevice* hDC, int lLeft, int lTop, int lRight, int lBottom);

    // Observability for callers and tests: frames composed by DrawToDC/Draw,
    // blits of a composed frame into DrawObject, and the frame surface.
    int frameCount() const { return m_frameCount; }
    int blitCount() const { return m_blitCount; }
    const pcMemDC& surface() const { return m_frame; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every property but Tag and the pictures: store, then show the new frame.
    template <typename T, typename V> void Set(T& member, const V& value)
    {
        member = value;
        Draw();
    }

    // A frame is painted in these steps, in this order.
    struct FrameState;
    bool PaintFrame(QWidget* hWnd, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom);
    bool BeginFrame(FrameState& f, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom);
    void PaintBackground(FrameState& f);
    void PaintGroove(FrameState& f);
    void InsetForBorder(FrameState& f) const;
    void LayOutCaption(FrameState& f) const;
    void PaintCaptionUnderBar(FrameState& f) const;
    void PlaceBar(FrameState& f) const;
    void PaintBar(FrameState& f) const;
    void PaintThemedChunks(FrameState& f) const;
    void PaintSegmentGaps(FrameState& f) const;
    void PaintThemedLabel(FrameState& f) const;
    void PaintBorder(FrameState& f) const;
    void DrawCaption(FrameState& f, qint32 colour) const;
    void EndFrame(FrameState& f, QPainter* hDC, int lLeft, int lTop);
    void LoadPictureSurface(const QImage& picture, std::unique_ptr<pcMemDC>& surface);
    void PaintTarget(QWidget* target);

    QString m_tag;
    bool m_segments = false;
    bool m_xpStyle = false;
    QString m_text;
    qint32 m_textAlignX = 1;
    qint32 m_textAlignY = 1;
    bool m_showText = false;
    qint32 m_min = 0;
    qint32 m_max = 100;
    qint32 m_value = 0;
    qint32 m_borderStyle = 1;
    qint32 m_appearance = 1;
    QPointer<QWidget> m_drawObject;
    qint32 m_backColor = -1;
    qint32 m_foreColor = 0;
    QFont m_font;
    qint32 m_barColor = -1;
    qint32 m_barForeColor = 0xFFFFFF;
    qint32 m_barPictureMode = 1;
    qint32 m_backPictureMode = 1;

    pcMemDC m_frame;
    std::unique_ptr<pcMemDC> m_backPicture;
    std::unique_ptr<pcMemDC> m_barPicture;

    // The rectangle of DrawObject whose frame the surface currently holds, so
    // that a paint event can show it without composing again.
    QRect m_shownRect;
    bool m_shownValid = false;
    bool m_inTargetPaint = false;
    int m_frameCount = 0;
    int m_blitCount = 0;
};
