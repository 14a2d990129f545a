#include "symbollist.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

SymbolList::SymbolList(QWidget *parent)
    : QFrame(parent, Qt::Popup), m_filter(new QLineEdit(this)), m_list(new QListWidget(this)) {
    setObjectName(QStringLiteral("symbolList"));
    m_filter->setObjectName(QStringLiteral("symbolFilter"));
    m_list->setObjectName(QStringLiteral("symbolItems"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_filter);
    layout->addWidget(m_list);
    resize(520, 320);
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, this, &SymbolList::filter);
    connect(m_list, &QListWidget::itemActivated, this, &SymbolList::choose);
}

void SymbolList::show(const QList<Entry> &entries, const QPoint &at) {
    m_entries = entries;
    m_filter->clear();
    filter({});
    // As tall as its entries, up to fifteen rows, with no empty rows below.
    const int rows = std::clamp(int(m_entries.size()), 1, 15);
    const int row = m_list->sizeHintForRow(0) > 0 ? m_list->sizeHintForRow(0)
                                                  : m_list->fontMetrics().height() + 2;
    m_list->setFixedHeight(rows * row + 2 * m_list->frameWidth());
    layout()->activate();
    resize(520, sizeHint().height());
    move(at);
    QFrame::show();
    m_filter->setFocus();
}

int SymbolList::count() const {
    return m_list->count();
}

void SymbolList::filter(const QString &text) {
    m_list->clear();
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].text.contains(text, Qt::CaseInsensitive)) {
            auto *item = new QListWidgetItem(m_entries[i].text, m_list);
            item->setData(Qt::UserRole, i);
        }
    m_list->setCurrentRow(0);
}

void SymbolList::choose() {
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    const Entry entry = m_entries.value(item->data(Qt::UserRole).toInt());
    hide();
    emit chosen(entry.file, entry.line, entry.column);
}

// Up, Down and Enter in the filter move in and choose from the list.
bool SymbolList::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_filter || event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_O)) {
        emit widen();
        return true;
    }
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QCoreApplication::sendEvent(m_list, event);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose();
        return true;
    default:
        return false;
    }
}
