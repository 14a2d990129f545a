#pragma once
// A small list that pops up over the editor: symbols to go to, or the uses
// of one. Typing filters it (letters in any case, anywhere in an entry);
// Enter or a double-click goes to the chosen entry; Escape closes it.

#include <QFrame>

class QLineEdit;
class QListWidget;

class SymbolList : public QFrame {
    Q_OBJECT
public:
    struct Entry {
        QString text;
        QString file;
        int line = 0, column = 0;
    };
    explicit SymbolList(QWidget *parent);
    void show(const QList<Entry> &entries, const QPoint &at);
    int count() const; // entries shown after the filter

signals:
    void chosen(const QString &file, int line, int column);
    void widen(); // the key that opened the list, pressed again

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void filter(const QString &text);
    void choose();

    QLineEdit *m_filter;
    QListWidget *m_list;
    QList<Entry> m_entries;
};
