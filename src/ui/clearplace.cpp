#include "ui/clearplace.h"

#include "platform/windows.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

std::optional<QRect> clearPlace(const QRect &screen, const QRect &anchor, QSize wanted,
                                QSize least) {
    // The four bands of the screen around the anchor, in the order preferred.
    const QRect bands[] = {
        QRect(QPoint(anchor.right() + 1, screen.top()), screen.bottomRight()),
        QRect(QPoint(screen.left(), anchor.bottom() + 1), screen.bottomRight()),
        QRect(screen.topLeft(), QPoint(anchor.left() - 1, screen.bottom())),
        QRect(screen.topLeft(), QPoint(screen.right(), anchor.top() - 1)),
    };
    std::optional<QRect> best;
    for (int i = 0; i < 4; ++i) {
        const QRect band = bands[i];
        if (band.width() < least.width() || band.height() < least.height())
            continue;
        const QSize size = wanted.boundedTo(band.size());
        // Beside: level with the anchor's top; below or above: with its left.
        QPoint at = i == 0   ? QPoint(band.left(), anchor.top())
                    : i == 2 ? QPoint(band.right() + 1 - size.width(), anchor.top())
                    : i == 1 ? QPoint(anchor.left(), band.top())
                             : QPoint(anchor.left(), band.bottom() + 1 - size.height());
        at.setX(std::clamp(at.x(), band.left(), band.right() + 1 - size.width()));
        at.setY(std::clamp(at.y(), band.top(), band.bottom() + 1 - size.height()));
        const QRect place(at, size);
        if (size == wanted)
            return place; // the first side where it fits whole
        if (!best || size.width() * size.height() > best->width() * best->height())
            best = place;
    }
    return best;
}

void placeClearOf(QWidget *window, const QWidget *anchor) {
    QScreen *screen = anchor->screen();
    if (!screen) {
        placeNear(window, anchor);
        return;
    }
    // The new window's frame is not known before it is shown: the anchor's is
    // taken for it.
    const QRect outer = anchor->frameGeometry();
    const QRect inner = anchor->geometry();
    const QSize frame(outer.width() - inner.width(), outer.height() - inner.height());
    const QSize least(qMax(240, window->minimumSizeHint().width()) + frame.width(),
                      120 + frame.height());
    const auto place =
        clearPlace(screen->availableGeometry(), outer, window->size() + frame, least);
    if (!place) {
        placeNear(window, anchor);
        return;
    }
    window->resize(place->size() - frame);
    window->move(place->topLeft());
}
