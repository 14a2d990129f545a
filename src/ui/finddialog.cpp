#include "finddialog.h"

#include "platform/windows.h"

#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

FindDialog::FindDialog(QsciScintilla *editor, QWidget *parent) : QDialog(parent), m_editor(editor) {
    setObjectName(QStringLiteral("findDialog"));
    setWindowTitle(tr("Find and Replace"));
    findText = new QLineEdit(this);
    findText->setObjectName(QStringLiteral("findText"));
    replaceText = new QLineEdit(this);
    replaceText->setObjectName(QStringLiteral("replaceText"));
    matchCase = new QCheckBox(tr("Match &case"), this);
    wholeWord = new QCheckBox(tr("&Whole words"), this);
    wrapAround = new QCheckBox(tr("Wrap ar&ound"), this);
    wrapAround->setChecked(true);
    status = new QLabel(this);

    auto *fields = new QFormLayout;
    fields->addRow(tr("F&ind:"), findText);
    fields->addRow(tr("Re&place with:"), replaceText);
    auto *checks = new QHBoxLayout;
    for (QCheckBox *box : {matchCase, wholeWord, wrapAround})
        checks->addWidget(box);
    auto *buttons = new QDialogButtonBox(this);
    auto button = [&](const QString &text, const std::function<void()> &handler) {
        QPushButton *b = buttons->addButton(text, QDialogButtonBox::ActionRole);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    QPushButton *next = button(tr("Find &Next"), [this] { findAgain(true); });
    button(tr("Find Pre&vious"), [this] { findAgain(false); });
    button(tr("&Replace"), [this] { replace(); });
    button(tr("Replace &All"), [this] { replaceAll(); });
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    next->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(checks);
    layout->addWidget(status);
    layout->addWidget(buttons);
}

SearchOptions FindDialog::options() const {
    return {matchCase->isChecked(), wholeWord->isChecked(), wrapAround->isChecked()};
}

void FindDialog::say(bool found) {
    status->setText(found ? QString() : tr("\u201C%1\u201D was not found.").arg(findText->text()));
}

void FindDialog::showEvent(QShowEvent *event) {
    keepOutOfTaskbar(this);
    QDialog::showEvent(event);
}

void FindDialog::showFor(bool replace) {
    if (!m_placed && parentWidget())
        placeBelow(this, parentWidget()->window());
    m_placed = true;
    if (m_editor->hasSelectedText() && !m_editor->selectedText().contains(QLatin1Char('\n')))
        findText->setText(m_editor->selectedText());
    status->clear();
    show();
    raise();
    activateWindow();
    // Replace starts in its own field only when there is something to find:
    // with nothing selected the caret goes where the text to find is typed.
    QLineEdit *field = replace && m_editor->hasSelectedText() ? replaceText : findText;
    field->setFocus();
    field->selectAll();
}

void FindDialog::findAgain(bool forward) {
    if (findText->text().isEmpty()) {
        showFor(false);
        return;
    }
    say(findNext(m_editor, findText->text(), options(), forward));
}

void FindDialog::replace() {
    say(replaceNext(m_editor, findText->text(), replaceText->text(), options()));
}

void FindDialog::replaceAll() {
    const ReplaceCount count =
        ::replaceAll(m_editor, findText->text(), replaceText->text(), options());
    if (count.changed)
        status->setText(tr("%n replaced.", nullptr, count.changed));
    else if (count.matches)
        status->setText(tr("Every match already reads \u201C%1\u201D.").arg(replaceText->text()));
    else
        status->setText(tr("\u201C%1\u201D was not found.").arg(findText->text()));
}
