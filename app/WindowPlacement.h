// Where a second window opens: beside the main window when the screen has
// room for it, so that the main window's entry list stays in view, and never
// larger than the screen.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace placement {

// The narrowest a window beside the main one may be.
inline constexpr int kMinBesideWidth = 600;

struct Placement {
    QRect window;         // the main window's frame, maybe moved to the screen's left edge
    QRect panel;          // the second window's frame
    bool beside = false;  // false: the screen is too small to keep both in view
};

// The pure geometry: `screen` is the available area, `window` the main
// window's frame, `wanted` the second window's preferred size.
Placement besideWindow(const QRect& screen, const QRect& window, const QSize& wanted);

// Moves and sizes `panel` (and, when that makes room, `window`) accordingly.
void placeBeside(QWidget* panel, QWidget* window, const QSize& wanted);

}  // namespace placement
