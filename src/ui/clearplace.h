#pragma once
// Places a new window where it covers none of another: beside it or below it
// (above or left of it when only there is room), wholly on its screen, made
// smaller when that is what fits. Only when no side has room for a usable
// window does it go where it covers least.

#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

// The frame rectangle for a window of frame size `wanted` beside `anchor`
// inside `screen`; nullopt when no side holds at least `least`.
std::optional<QRect> clearPlace(const QRect &screen, const QRect &anchor, QSize wanted,
                                QSize least);

// Moves and, where needed, shrinks `window` (not yet shown) clear of `anchor`.
void placeClearOf(QWidget *window, const QWidget *anchor);
