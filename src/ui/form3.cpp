#include "form3.h"

#include "platform/twips.h"
#include "ui/resizerule.h"

#include <QPlainTextEdit>
#include <QScrollBar>

Form3::Form3()
    : QWidget(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinMaxButtonsHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("TASM Output"));
    setAttribute(Qt::WA_DeleteOnClose);
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const double dpiX = logicalDpiX(), dpiY = logicalDpiY();
    Text1->setGeometry(0, 0, twipsToPixels(4575, dpiX), twipsToPixels(3015, dpiY));
    resize(twipsToPixels(4680, dpiX), twipsToPixels(3015, dpiY));
}

void Form3::setText(const QString &text) {
    Text1->setPlainText(text);
    Text1->verticalScrollBar()->setValue(0);
}

void Form3::showAndRaise() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void Form3::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    applyResizeRule();
}

// The window manager's frame is known only once the window is mapped, and it
// moves the window then: the outer size may have changed without a resize.
void Form3::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    applyResizeRule();
}

void Form3::applyResizeRule() {
    const double dpiX = logicalDpiX(), dpiY = logicalDpiY();
    const QSize outer = frameGeometry().size();
    const auto size = outputTextSize(
        QSize(pixelsToTwips(outer.width(), dpiX), pixelsToTwips(outer.height(), dpiY)));
    if (size)
        Text1->resize(twipsToPixels(size->width(), dpiX), twipsToPixels(size->height(), dpiY));
}
