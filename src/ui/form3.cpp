#include "form3.h"

#include "core/logparser.h"
#include "platform/twips.h"
#include "platform/windows.h"
#include "ui/resizerule.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

Form3::Form3()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowMinMaxButtonsHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(tr("TASM Output"));
    setAttribute(Qt::WA_DeleteOnClose);
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Text1->installEventFilter(this);
    Text1->viewport()->installEventFilter(this);
    const double dpiX = logicalDpiX(), dpiY = logicalDpiY();
    Text1->setGeometry(0, 0, twipsToPixels(4575, dpiX), twipsToPixels(3015, dpiY));
    resize(twipsToPixels(4680, dpiX), twipsToPixels(3015, dpiY));
}

namespace {
bool isErrorLine(const QString &line) {
    const auto entry = parseLogLine(line);
    return entry && entry->error;
}
} // namespace

void Form3::setText(const QString &text, std::optional<int> firstError) {
    Text1->setPlainText(text);
    Text1->verticalScrollBar()->setValue(0);
    // A log with errors leads with the first: selected, so Enter goes to it.
    for (QTextBlock block = Text1->document()->begin(); block.isValid(); block = block.next()) {
        if (firstError ? block.blockNumber() != *firstError : !isErrorLine(block.text()))
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        Text1->setTextCursor(cursor);
        Text1->centerCursor();
        break;
    }
}

void Form3::showAndRaise(bool activate) {
    QWidget *keyboard = QApplication::activeWindow();
    setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    m_keysBelongTo = activate || keyboard == this ? nullptr : keyboard;
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    Text1->ensureCursorVisible();
    if (activate)
        activateWindow();
}

void Form3::handKeysTo(QWidget *window) {
    if (m_keysBelongTo)
        m_keysBelongTo = window;
}

// Some platforms activate a shown window whatever it was asked: if that
// happens before the window is first painted, the keys go back where they were.
bool Form3::event(QEvent *event) {
    if (event->type() == QEvent::WindowActivate && m_keysBelongTo)
        m_keysBelongTo->activateWindow();
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Paint)
        m_keysBelongTo = nullptr;
    return QWidget::event(event);
}

bool Form3::eventFilter(QObject *watched, QEvent *event) {
    const bool enter = watched == Text1 && event->type() == QEvent::KeyPress &&
                       (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return ||
                        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
    if (enter)
        emit lineActivated(Text1->textCursor().block().text());
    if (watched == Text1->viewport() && event->type() == QEvent::MouseButtonDblClick)
        emit lineActivated(
            Text1->cursorForPosition(static_cast<QMouseEvent *>(event)->pos()).block().text());
    return enter;
}

void Form3::showEvent(QShowEvent *event) {
    keepOutOfTaskbar(this);
    QWidget::showEvent(event);
}

void Form3::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    applyResizeRule(this, Text1, 500, 100);
}

void Form3::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    applyResizeRule(this, Text1, 500, 100);
}
