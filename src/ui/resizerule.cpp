#include "resizerule.h"

#include "platform/twips.h"

#include <QWidget>

void applyResizeRule(QWidget *window, QWidget *box, int heightMargin, int widthMargin) {
    const double dx = window->logicalDpiX(), dy = window->logicalDpiY();
    const QSize outer = window->frameGeometry().size();
    const QSize twips(pixelsToTwips(outer.width(), dx), pixelsToTwips(outer.height(), dy));
    if (const auto size = ruleSize(twips, heightMargin, widthMargin))
        box->setGeometry(0, 0, twipsToPixels(size->width(), dx), twipsToPixels(size->height(), dy));
}
