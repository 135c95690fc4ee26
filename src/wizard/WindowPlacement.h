#pragma once

class QWidget;

// Places a top-level window, not yet shown, centred on its screen's work area.
// Without a window manager the window itself is centred; with one, the window
// and its frame are centred once the manager has said how thick the frame is.
void CentreOnScreen(QWidget* window);
