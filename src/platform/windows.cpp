#include "windows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

} // namespace

void keepOutOfTaskbar(QWidget *window) {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 && QGuiApplication::platformName() == QLatin1String("xcb")
                              ? x11->connection()
                              : nullptr;
    if (!c)
        return; // not an X11 display: nothing to say
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    // Called before each mapping (a window manager may drop the states of a
    // withdrawn window); Qt keeps the states it does not manage itself.
    std::vector<xcb_atom_t> states;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr)) {
        const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM)
            states.assign(data, data + xcb_get_property_value_length(reply) / 4);
        free(reply);
    }
    for (const char *name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = atom(c, name);
        if (std::find(states.begin(), states.end(), a) == states.end())
            states.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(states.size()), states.data());
    xcb_flush(c);
}

QPoint placeInside(const QRect &available, const QRect &frame, QPoint wanted) {
    const int x =
        std::max(available.left(), std::min(wanted.x(), available.right() + 1 - frame.width()));
    const int y =
        std::max(available.top(), std::min(wanted.y(), available.bottom() + 1 - frame.height()));
    return {x, y};
}

namespace {

// Moves `window`, whose client area will have `size`, to `wanted` on `anchor`'s
// screen, or as near as fits. Title bars and borders are not known before the
// window is shown: room is left for them.
void placeOnScreen(QWidget *window, const QWidget *anchor, QSize size, QPoint wanted) {
    if (QScreen *screen = anchor->screen())
        window->move(placeInside(screen->availableGeometry(), QRect(QPoint(), size + QSize(16, 40)),
                                 wanted));
}

} // namespace

void placeBelow(QWidget *window, const QWidget *anchor) {
    const QRect outer = anchor->frameGeometry();
    placeOnScreen(window, anchor, window->sizeHint(), QPoint(outer.left(), outer.bottom() + 1));
}

void placeNear(QWidget *window, const QWidget *anchor) {
    placeOnScreen(window, anchor, window->size(),
                  anchor->frameGeometry().topLeft() + QPoint(48, 48));
}

bool restoreFittingGeometry(QWidget *window, const QByteArray &saved) {
    const QRect before = window->geometry();
    const Qt::WindowStates state = window->windowState();
    if (saved.isEmpty() || !window->restoreGeometry(saved))
        return false;
    QRect screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens |= screen->availableGeometry();
    const QRect now =
        window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
    const bool fits = now.width() > 0 && now.height() > 0 && now.width() <= screens.width() &&
                      now.height() <= screens.height();
    if (fits)
        return true;
    window->setWindowState(state);
    window->setGeometry(before);
    return false;
}
