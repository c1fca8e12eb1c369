#include "app/WindowPlacement.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace placement {

Placement besideWindow(const QRect& screen, const QRect& window, const QSize& wanted) {
    Placement p;
    p.window = window;
    const int height = std::min(wanted.height(), screen.height());
    auto room = [&] { return screen.right() - p.window.right(); };
    if (room() < kMinBesideWidth && screen.width() - window.width() >= kMinBesideWidth)
        p.window.moveLeft(screen.left());
    if (room() >= kMinBesideWidth) {
        p.beside = true;
        p.panel =
            QRect(p.window.right() + 1, screen.top(), std::min(wanted.width(), room()), height);
    } else {
        p.window = window;
        const QSize size(std::min(wanted.width(), screen.width()), height);
        p.panel = QRect(screen.topLeft(), size);
    }
    return p;
}

void placeBeside(QWidget* panel, QWidget* window, const QSize& wanted) {
    QScreen* screen = window->screen();
    if (!screen) return;
    const Placement p = besideWindow(screen->availableGeometry(), window->frameGeometry(), wanted);
    if (p.window.topLeft() != window->frameGeometry().topLeft()) window->move(p.window.topLeft());
    // The frame adds a little; the panel's own size is its frame's less that.
    const QSize frame = panel->frameGeometry().size() - panel->size();
    panel->resize(p.panel.size() - frame);
    panel->move(p.panel.topLeft());
}

}  // namespace placement
