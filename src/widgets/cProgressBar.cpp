#include "widgets/cProgressBar.h"

#include "widgets/AccessibleProgress.h"
#include "widgets/OleColor.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace {

// A rectangle as the classic drawing code thinks of it: right and bottom are
// exclusive, and an inverted or empty one paints nothing.
struct Rc
{
    int l = 0, t = 0, r = 0, b = 0;
    bool empty() const { return r <= l || b <= t; }
    QRect q() const { return QRect(l, t, r - l, b - t); }
};

int ClampToInt(qint64 v)
{
    return int(std::clamp<qint64>(v, INT_MIN, INT_MAX));
}

// Nearest integer, halves to the even neighbour (the default rounding mode).
int RoundHalfEven(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= double(INT_MIN)))
        return INT_MIN;
    if (r > double(INT_MAX))
        return INT_MAX;
    return int(r);
}

// The system colours the borders are drawn in.
enum : int
{
    COLOR_BTNSHADOW = 16,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22
};

void FillOle(QPainter& p, const Rc& rc, qint32 ole, const QPalette& pal)
{
    if (rc.empty())
        return;
    if (const auto c = BrushColor(ole, pal))
        p.fillRect(rc.q(), *c);
}

// One-pixel lines that stop one pixel short of their end point, as the border
// table is written; only straight horizontal and vertical lines occur.
class Pen
{
public:
    explicit Pen(QPainter& p) : m_p(p) {}
    void select(const QColor& c) { m_colour = c; }
    void moveTo(int x, int y)
    {
        m_x = x;
        m_y = y;
    }
    void lineTo(int x, int y)
    {
        if (y == m_y && x != m_x)
            m_p.fillRect(x > m_x ? QRect(m_x, y, x - m_x, 1) : QRect(x + 1, y, m_x - x, 1), m_colour);
        else if (x == m_x && y != m_y)
            m_p.fillRect(y > m_y ? QRect(x, m_y, 1, y - m_y) : QRect(x, y + 1, 1, m_y - y), m_colour);
        m_x = x;
        m_y = y;
    }

private:
    QPainter& m_p;
    QColor m_colour = Qt::black;
    int m_x = 0;
    int m_y = 0;
};

// The soft two-pixel edge: outer and inner rings, left/top lines first so the
// right/bottom colours own the corners they share.
void DrawSoftEdge(QPainter& p, const Rc& rc, bool raised, const QPalette& pal)
{
    const auto sys = [&](int i) { return *SystemColor(i, pal); };
    const QColor ltOuter = sys(raised ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW);
    const QColor ltInner = sys(raised ? COLOR_3DLIGHT : COLOR_BTNSHADOW);
    const QColor rbOuter = sys(raised ? COLOR_3DDKSHADOW : COLOR_BTNHIGHLIGHT);
    const QColor rbInner = sys(raised ? COLOR_BTNSHADOW : COLOR_3DLIGHT);
    Pen pen(p);
    const auto ring = [&](const Rc& r, const QColor& lt, const QColor& rb) {
        pen.select(lt);
        pen.moveTo(r.l, r.t);
        pen.lineTo(r.r, r.t);
        pen.moveTo(r.l, r.t);
        pen.lineTo(r.l, r.b);
        pen.select(rb);
        pen.moveTo(r.l, r.b - 1);
        pen.lineTo(r.r, r.b - 1);
        pen.moveTo(r.r - 1, r.t);
        pen.lineTo(r.r - 1, r.b);
    };
    ring(rc, ltOuter, rbOuter);
    if (rc.r - rc.l > 2 && rc.b - rc.t > 2)
        ring(Rc{rc.l + 1, rc.t + 1, rc.r - 1, rc.b - 1}, ltInner, rbInner);
}

void DrawBorder(QPainter& p, qint32 appearance, const Rc& rc, bool raised, const QPalette& pal)
{
    const int l = rc.l, t = rc.t, r = rc.r, b = rc.b;
    Pen pen(p);
    if (appearance == 0) {
        pen.select(Qt::black);
        pen.moveTo(l, t);
        pen.lineTo(r - 1, t);
        pen.lineTo(r - 1, b - 1);
        pen.lineTo(l, b - 1);
        pen.lineTo(l, t);
    } else if (appearance == 1) {
        const QColor shadow = *SystemColor(COLOR_BTNSHADOW, pal);
        const QColor highlight = *SystemColor(COLOR_BTNHIGHLIGHT, pal);
        if (!raised) {
            pen.moveTo(l, b - 1);
            pen.select(shadow);
            pen.lineTo(l, t);
            pen.lineTo(r, t);
            pen.moveTo(r - 1, t + 1);
            pen.select(highlight);
            pen.lineTo(r - 1, b - 1);
            pen.lineTo(l, b - 1);
        } else {
            pen.moveTo(l, b - 2);
            pen.select(highlight);
            pen.lineTo(l, t);
            pen.lineTo(r - 1, t);
            pen.moveTo(r - 1, t);
            pen.select(shadow);
            pen.lineTo(r - 1, b - 1);
            pen.lineTo(l - 1, b - 1);
        }
    } else if (appearance == 2) {
        DrawSoftEdge(p, rc, raised, pal);
    }
}

// Covers (x, y, w, h) with copies of the sw x sh picture, the first row and
// column starting at offset (x + sx, y + sy) within it.
void TileBitmap(QPainter& p, int x, int y, int w, int h, const QImage& src, int sw, int sh, int sx, int sy)
{
    if (sw <= 0 || sh <= 0 || w <= 0 || h <= 0)
        return;
    const auto mod = [](qint64 a, int m) { return int(((a % m) + m) % m); };
    const int ox = mod(qint64(x) + sx, sw);
    const int oy = mod(qint64(y) + sy, sh);
    const qint64 right = qint64(x) + w, bottom = qint64(y) + h;
    int rowH = sh - oy, srcY = oy;
    for (qint64 ty = y; ty < bottom; ty += rowH, srcY = 0, rowH = sh) {
        const int hh = int(std::min<qint64>(rowH, bottom - ty));
        int colW = sw - ox, srcX = ox;
        for (qint64 tx = x; tx < right; tx += colW, srcX = 0, colW = sw) {
            const int ww = int(std::min<qint64>(colW, right - tx));
            p.drawImage(QPoint(int(tx), int(ty)), src, QRect(srcX, srcY, ww, hh));
        }
    }
}

void PlacePicture(QPainter& p, const pcMemDC& pic, qint32 mode, int W, int H)
{
    const QImage* img = pic.image();
    if (!img)
        return;
    if (mode == 1) {
        TileBitmap(p, 0, 0, W, H, *img, pic.Width(), pic.Height(), 0, 0);
    } else if (W > 0 && H > 0) {
        p.drawImage(QRect(0, 0, W, H), *img, QRect(0, 0, pic.Width(), pic.Height()));
    }
}

QStyle* StyleFor(QWidget* hWnd)
{
    if (hWnd)
        return hWnd->style();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QApplication::style();
    return nullptr;
}

} // namespace

cProgressBar::cProgressBar(QObject* parent) : QObject(parent)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
}

cProgressBar::~cProgressBar()
{
    if (m_drawObject)
        m_drawObject->removeEventFilter(this);
}

double cProgressBar::Percent() const
{
    const double range = double(m_max) - double(m_min);
    // An empty range has no fraction; a value that reaches it counts as full.
    if (range == 0.0)
        return m_value >= m_max ? 100.0 : 0.0;
    const double f = std::clamp((double(m_value) - double(m_min)) / range, 0.0, 1.0);
    return f * 100.0;
}

void cProgressBar::setDrawObject(QWidget* Value)
{
    if (m_drawObject != Value) {
        if (m_drawObject)
            m_drawObject->removeEventFilter(this);
        m_drawObject = Value;
        m_shownValid = false;
        if (m_drawObject) {
            m_drawObject->installEventFilter(this);
            AccessibleProgress::Mark(m_drawObject);
        }
    }
    Draw();
}

void cProgressBar::setBarPicture(const QImage& Value)
{
    LoadPictureSurface(Value, m_barPicture);
    Draw();
}

void cProgressBar::setBarPicture(const QPixmap& Value)
{
    setBarPicture(Value.toImage());
}

void cProgressBar::setPicture(const QImage& Value)
{
    LoadPictureSurface(Value, m_backPicture);
    Draw();
}

void cProgressBar::setPicture(const QPixmap& Value)
{
    setPicture(Value.toImage());
}

void cProgressBar::LoadPictureSurface(const QImage& picture, std::unique_ptr<pcMemDC>& surface)
{
    surface.reset();
    if (picture.isNull())
        return;
    auto copy = std::make_unique<pcMemDC>();
    copy->CreateFromPicture(picture);
    // A picture that could not be copied counts as none, so tiling never sees
    // a zero-sized source.
    if (copy->image())
        surface = std::move(copy);
}

void cProgressBar::Draw()
{
    QWidget* target = m_drawObject.data();
    if (!target)
        return;
    AccessibleProgress::SetValue(target, m_value, m_min, m_max);
    const QRect client = target->contentsRect();
    m_shownValid = PaintFrame(target, nullptr, client.x(), client.y(), client.x() + client.width(),
                              client.y() + client.height());
    m_shownRect = client;
    if (!m_inTargetPaint)
        target->repaint();
}

void cProgressBar::DrawToDC(QWidget* hWnd, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom)
{
    // The surface is about to hold some other frame than the one Draw made.
    m_shownValid = false;
    PaintFrame(hWnd, hDC, lLeft, lTop, lRight, lBottom);
}

void cProgressBar::DrawToDC(QWidget* hWnd, QPaintDevice* hDC, int lLeft, int lTop, int lRight, int lBottom)
{
    if (!hDC) {
        DrawToDC(hWnd, static_cast<QPainter*>(nullptr), lLeft, lTop, lRight, lBottom);
        return;
    }
    QPainter painter(hDC);
    DrawToDC(hWnd, &painter, lLeft, lTop, lRight, lBottom);
}

bool cProgressBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched == m_drawObject.data() && !m_inTargetPaint) {
        m_inTargetPaint = true;
        // The widget paints itself first (its frame, say); the bar then covers
        // the client area. QObject::event is public, so this reaches the
        // widget's own paint handler.
        static_cast<QObject*>(watched)->event(event);
        PaintTarget(m_drawObject.data());
        m_inTargetPaint = false;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void cProgressBar::PaintTarget(QWidget* target)
{
    const QRect client = target->contentsRect();
    QPainter painter(target);
    if (m_shownValid && m_shownRect == client && m_frame.image()) {
        if (client.width() > 0 && client.height() > 0) {
            m_frame.Draw(&painter, 0, 0, client.width(), client.height(), client.x(), client.y());
            ++m_blitCount;
        }
        return;
    }
    // The widget changed size since the last frame, or it was never composed.
    const bool buffered = PaintFrame(target, &painter, client.x(), client.y(), client.x() + client.width(),
                                     client.y() + client.height());
    m_shownValid = buffered;
    m_shownRect = client;
    if (buffered)
        ++m_blitCount;
}

// What the steps of one frame hand on to each other.
struct cProgressBar::FrameState
{
    QWidget* hWnd = nullptr;
    QPalette pal;
    int W = 0, H = 0;
    bool horizontal = false;
    bool buffered = false;
    QPainter own;
    QPainter* p = nullptr;
    // The whole area, then (after the border inset) the area inside it.
    Rc R;
    Rc outer;
    // Set when the style paints the groove; chunk and space are the steps the
    // bar's end snaps to (both 0 for a smooth bar).
    QStyle* style = nullptr;
    QStyleOptionProgressBar opt;
    bool themed = false;
    int chunk = 0, space = 0;
    // The caption: DrawText flags, the padded text, and the colour of the
    // last pass (a colour that does not resolve keeps the previous one).
    bool captionWanted = false;
    int flags = 0;
    QString spaced;
    QColor textColour = Qt::black;
    // The bar itself, its end snapped to whole steps.
    Rc bar;
    bool barVisible = false;
};

bool cProgressBar::PaintFrame(QWidget* hWnd, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom)
{
    ++m_frameCount;
    FrameState f;
    f.hWnd = hWnd;
    f.W = ClampToInt(std::abs(qint64(lRight) - lLeft));
    f.H = ClampToInt(std::abs(qint64(lBottom) - lTop));
    f.horizontal = f.W > f.H;
    f.pal = hWnd ? hWnd->palette() : QGuiApplication::palette();

    if (!BeginFrame(f, hDC, lLeft, lTop, lRight, lBottom))
        return false;
    PaintBackground(f);
    if (m_segments && !f.themed) {
        f.chunk = 8;
        f.space = 2;
    }
    InsetForBorder(f);
    LayOutCaption(f);
    PaintCaptionUnderBar(f);
    PlaceBar(f);
    PaintBar(f);
    if (f.themed)
        PaintThemedLabel(f);
    else
        PaintBorder(f);
    EndFrame(f, hDC, lLeft, lTop);
    return f.buffered;
}

// Into the frame surface when it can be had, else straight into hDC.
bool cProgressBar::BeginFrame(FrameState& f, QPainter* hDC, int lLeft, int lTop, int lRight, int lBottom)
{
    QImage* surface = m_frame.hDC(f.W, f.H);
    f.buffered = surface != nullptr;
    if (f.buffered) {
        f.own.begin(surface);
        f.p = &f.own;
        f.R = Rc{0, 0, ClampToInt(qint64(lRight) - lLeft), ClampToInt(qint64(lBottom) - lTop)};
    } else {
        if (!hDC || !hDC->isActive())
            return false;
        f.p = hDC;
        f.p->save();
        f.R = Rc{lLeft, lTop, lRight, lBottom};
    }
    // Pictures and the final copy replace pixels, as a block copy does.
    f.p->setCompositionMode(QPainter::CompositionMode_Source);
    return true;
}

// A picture, the style's groove, or the back colour.
void cProgressBar::PaintBackground(FrameState& f)
{
    QPainter& p = *f.p;
    if (m_backPicture) {
        PlacePicture(p, *m_backPicture, m_backPictureMode, f.W, f.H);
        return;
    }
    if (m_xpStyle && (f.style = StyleFor(f.hWnd)))
        PaintGroove(f);
    if (!f.themed)
        FillOle(p, f.R, m_backColor, f.pal);
}

// Themed only when the style gives a usable chunk; its chunk is its whole
// step, as it spaces chunks inside it.
void cProgressBar::PaintGroove(FrameState& f)
{
    QStyleOptionProgressBar& opt = f.opt;
    if (f.hWnd)
        opt.initFrom(f.hWnd);
    else
        opt.palette = f.pal;
    opt.state |= QStyle::State_Enabled;
    if (f.horizontal)
        opt.state |= QStyle::State_Horizontal;
    else
        opt.state &= ~QStyle::State_Horizontal;
    opt.rect = f.R.q();
    opt.minimum = 0;
    opt.maximum = 1;
    opt.progress = 0;
    opt.textVisible = false;
    opt.textAlignment = Qt::AlignCenter;
    opt.bottomToTop = !f.horizontal;
    const int chunkSize = f.style->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &opt, f.hWnd);
    if (chunkSize <= 0)
        return;
    f.chunk = chunkSize;
    f.space = 0;
    f.themed = true;
    if (f.R.empty())
        return;
    QPainter& p = *f.p;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setClipRect(f.R.q(), Qt::IntersectClip);
    f.style->drawControl(QStyle::CE_ProgressBarGroove, &opt, &p, f.hWnd);
    p.restore();
}

void cProgressBar::InsetForBorder(FrameState& f) const
{
    f.outer = f.R;
    if (m_borderStyle <= 0)
        return;
    const int d = f.themed ? 1 : (m_appearance == 2 ? 2 : 1);
    f.R = Rc{f.R.l + d, f.R.t + d, f.R.r - d, f.R.b - d};
}

// DT_LEFT/CENTER/RIGHT in the low bits, DT_VCENTER 4 and DT_BOTTOM 8 above
// them, DT_SINGLELINE always.
void cProgressBar::LayOutCaption(FrameState& f) const
{
    f.captionWanted = !m_text.isEmpty() && m_showText;
    const quint32 format = quint32(m_textAlignX) | (quint32(m_textAlignY) * 4u) | 0x20u;
    f.flags = Qt::TextSingleLine;
    f.flags |= (format & 1u) ? Qt::AlignHCenter : (format & 2u) ? Qt::AlignRight : Qt::AlignLeft;
    f.flags |= (format & 4u) ? Qt::AlignVCenter : (format & 8u) ? Qt::AlignBottom : Qt::AlignTop;
    if (format & 0x100u)
        f.flags |= Qt::TextDontClip;
    f.spaced = QLatin1Char(' ') + m_text + QLatin1Char(' ');
}

void cProgressBar::DrawCaption(FrameState& f, qint32 colour) const
{
    if (const auto c = ResolveColor(colour, f.pal))
        f.textColour = *c;
    QPainter& p = *f.p;
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setFont(m_font);
    p.setPen(f.textColour);
    p.drawText(f.R.q(), f.flags, f.spaced);
}

// The first pass, in ForeColor across the whole bar; the bar covers part of it.
void cProgressBar::PaintCaptionUnderBar(FrameState& f) const
{
    if (!f.captionWanted || f.themed || f.R.empty())
        return;
    f.p->save();
    DrawCaption(f, m_foreColor);
    f.p->restore();
}

void cProgressBar::PlaceBar(FrameState& f) const
{
    const Rc& R = f.R;
    Rc B = R;
    const double fraction = Percent() / 100.0;
    const int step = f.chunk + f.space;
    const bool stepped = (m_segments || f.themed) && step > 0;
    if (f.horizontal) {
        B.r = RoundHalfEven(double(R.l) + (double(R.r) - double(R.l)) * fraction);
        if (stepped)
            B.r = ClampToInt(qint64(B.r) - (qint64(B.r) - B.l) % step);
        if (B.r < R.l)
            B.r = R.l;
    } else {
        B.t = RoundHalfEven(double(R.t) + (double(R.b) - double(R.t)) * (1.0 - fraction));
        if (stepped)
            B.t = ClampToInt(qint64(B.t) - (qint64(B.t) - B.b) % step);
        if (B.t > R.b)
            B.t = R.b;
    }
    f.bar = B;
    f.barVisible = !B.empty();
}

// Fill, segment gaps and (classic) the second caption pass, all clipped to the bar.
void cProgressBar::PaintBar(FrameState& f) const
{
    QPainter& p = *f.p;
    p.save();
    if (f.barVisible)
        p.setClipRect(f.bar.q(), Qt::IntersectClip);
    if (m_barPicture) {
        // Also clipped in themed mode, so the picture shows the position
        // rather than covering the whole control whatever the value.
        if (f.barVisible)
            PlacePicture(p, *m_barPicture, m_barPictureMode, f.W, f.H);
    } else if (f.themed) {
        if (f.barVisible)
            PaintThemedChunks(f);
    } else {
        FillOle(p, f.bar, m_barColor, f.pal);
    }
    if (m_segments && !f.themed && f.barVisible)
        PaintSegmentGaps(f);
    if (!f.themed && f.captionWanted && f.barVisible && !f.R.empty())
        DrawCaption(f, m_barForeColor);
    p.restore();
}

// Styles draw the chunks of a vertical bar by rotating about a rectangle at
// the origin, as a QProgressBar's is; so is this one.
void cProgressBar::PaintThemedChunks(FrameState& f) const
{
    QStyleOptionProgressBar bar = f.opt;
    bar.rect = QRect(QPoint(0, 0), f.bar.q().size());
    bar.progress = bar.maximum;
    QPainter& p = *f.p;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.translate(f.bar.l, f.bar.t);
    f.style->drawControl(QStyle::CE_ProgressBarContents, &bar, &p, f.hWnd);
    p.restore();
}

void cProgressBar::PaintSegmentGaps(FrameState& f) const
{
    const auto gap = BrushColor(m_backColor, f.pal);
    if (!gap)
        return;
    const Rc &R = f.R, &B = f.bar;
    const int step = f.chunk + f.space;
    if (f.horizontal) {
        for (qint64 x = qint64(B.l) + f.chunk; x <= B.r; x += step)
            f.p->fillRect(QRect(int(x), R.t, f.space, R.b - R.t), *gap);
    } else {
        for (qint64 y = B.b; y >= qint64(B.t) + f.chunk; y -= step)
            f.p->fillRect(QRect(R.l, int(y), R.r - R.l, f.space), *gap);
    }
}

// The style's own label; its split between bar and groove follows the snapped end.
void cProgressBar::PaintThemedLabel(FrameState& f) const
{
    if (!f.captionWanted || f.R.empty())
        return;
    const Rc &R = f.R, &B = f.bar;
    QStyleOptionProgressBar label = f.opt;
    label.rect = R.q();
    label.rect = f.style->subElementRect(QStyle::SE_ProgressBarContents, &label, f.hWnd);
    label.text = m_text;
    label.textVisible = true;
    label.textAlignment = Qt::Alignment(f.flags & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask));
    label.maximum = std::max(1, f.horizontal ? R.r - R.l : R.b - R.t);
    label.progress = std::clamp(f.horizontal ? B.r - B.l : B.b - B.t, 0, label.maximum);
    QPainter& p = *f.p;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setFont(m_font);
    f.style->drawControl(QStyle::CE_ProgressBarLabel, &label, &p, f.hWnd);
    p.restore();
}

// Classic only; a raised thin border sits inside the inset, the others around it.
void cProgressBar::PaintBorder(FrameState& f) const
{
    if (m_borderStyle != 1 && m_borderStyle != 2)
        return;
    const bool raised = m_borderStyle == 2;
    DrawBorder(*f.p, m_appearance, (raised && m_appearance == 1) ? f.R : f.outer, raised, f.pal);
}

// One block copy of the frame to the target. A zero-sized area copies
// nothing, rather than the whole stale surface.
void cProgressBar::EndFrame(FrameState& f, QPainter* hDC, int lLeft, int lTop)
{
    if (!f.buffered) {
        f.p->restore();
        return;
    }
    f.own.end();
    if (hDC && f.W > 0 && f.H > 0)
        m_frame.Draw(hDC, 0, 0, f.W, f.H, lLeft, lTop);
}
