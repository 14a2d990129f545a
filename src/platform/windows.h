#pragma once
// Top-level windows beside the main one: kept out of the taskbar without
// floating above the main window, and placed fully on the main window's screen.

#include <QPoint>
#include <QRect>

class QWidget;

// Asks the window manager to leave `window` out of the taskbar and pager; call
// it before each show. A normal window so marked stays below any window the
// user brings to the front.
void keepOutOfTaskbar(QWidget *window);

// Where a frame of `frame`'s size goes: at `wanted`, moved as little as needed
// to lie fully inside `available` (its top left corner inside, when too big).
QPoint placeInside(const QRect &available, const QRect &frame, QPoint wanted);

// Moves a window that is about to be shown for the first time near `anchor`,
// on the screen that holds `anchor`.
void placeNear(QWidget *window, const QWidget *anchor);
// The same, below `anchor` where the screen has room, so that it covers
// little of it.
void placeBelow(QWidget *window, const QWidget *anchor);

class QByteArray;
// Restores a size and place saved by QWidget::saveGeometry when it fits the
// screens there are now: a size of no pixels or more than the screens hold
// (a damaged or hostile record) is ignored and the window keeps its size.
// Whether it was restored.
bool restoreFittingGeometry(QWidget *window, const QByteArray &saved);
