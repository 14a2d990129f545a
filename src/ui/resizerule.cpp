#include "resizerule.h"

#include "platform/twips.h"

#include <QEvent>
#include <QWidget>

void applyResizeRule(QWidget *window, QWidget *box, int heightMargin, int widthMargin) {
    const double dx = window->logicalDpiX(), dy = window->logicalDpiY();
    const QSize outer = window->frameGeometry().size();
    const QSize twips(pixelsToTwips(outer.width(), dx), pixelsToTwips(outer.height(), dy));
    if (const auto size = ruleSize(twips, heightMargin, widthMargin))
        box->setGeometry(0, 0, twipsToPixels(size->width(), dx), twipsToPixels(size->height(), dy));
}

ResizeRuleKeeper::ResizeRuleKeeper(QWidget *window, QWidget *box, int heightMargin, int widthMargin)
    : QObject(window), m_window(window), m_box(box), m_heightMargin(heightMargin),
      m_widthMargin(widthMargin) {
    window->installEventFilter(this);
}

bool ResizeRuleKeeper::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (watched == m_window &&
        (type == QEvent::Show || type == QEvent::Paint || type == QEvent::WindowStateChange ||
         type == QEvent::Resize || type == QEvent::Move)) {
        const QSize outer = m_window->frameGeometry().size();
        if (outer != m_outer) {
            m_outer = outer;
            applyResizeRule(m_window, m_box, m_heightMargin, m_widthMargin);
        }
    }
    return false;
}
