#include "WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace {

QPoint CentredTopLeft(const QWidget* window, const QSize& outer)
{
    const QRect area = window->screen()->availableGeometry();
    return area.topLeft() + QPoint((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 2);
}

// Waits for the window manager's frame and moves the framed window to the
// centre once, unless the user has moved it first.
class FrameCentrer : public QObject
{
public:
    FrameCentrer(QWidget* window, const QPoint& placed) : QObject(window), m_window(window), m_placed(placed)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
            const QRect frame = m_window->frameGeometry();
            if (frame.size() != m_window->size()) {
                if (frame.topLeft() == m_placed)
                    m_window->move(CentredTopLeft(m_window, frame.size()));
                deleteLater();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    QPoint m_placed;
};

} // namespace

void CentreOnScreen(QWidget* window)
{
    if (!window->screen())
        return;
    // Set before the window is shown, so that QDialog does not place it with
    // its guess at the frame (40 px too high).
    const QPoint placed = CentredTopLeft(window, window->size());
    window->move(placed);
    new FrameCentrer(window, placed);
}
