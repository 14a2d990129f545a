#include "dialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

QList<FileFilter> parseFilter(const QString &filter) {
    QList<FileFilter> result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        FileFilter f;
        f.description = parts[i];
        for (const QString &p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (!pattern.isEmpty())
                f.patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        }
        result << f;
    }
    return result;
}

QString toQtFilter(const QList<FileFilter> &filters) {
    QStringList entries;
    for (const FileFilter &f : filters) {
        // Qt takes the patterns from the last parentheses, so the description
        // loses its own list and gets one Qt can read.
        QString desc = f.description;
        const qsizetype open = desc.lastIndexOf(QLatin1Char('('));
        if (open > 0 && desc.endsWith(QLatin1Char(')')))
            desc = desc.left(open).trimmed();
        const QStringList patterns =
            f.patterns.isEmpty() ? QStringList{QStringLiteral("*")} : f.patterns;
        entries << QStringLiteral("%1 (%2)").arg(desc, patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

QList<FileFilter> CommonDialog::filters() const {
    QList<FileFilter> result = parseFilter(Filter);
    if (executablesFirst && !result.isEmpty())
        result.first().executablesOnly = true;
    return result;
}

void QtMessageBox::fitTitle(QMessageBox *box) {
    // The window manager draws the title in a bolder font beside an icon and
    // three buttons; a spacer row keeps the box that wide.
    QFont bold = box->font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 160;
    auto *grid = qobject_cast<QGridLayout *>(box->layout());
    if (grid)
        grid->addItem(
            new QSpacerItem(qMax(width, 260), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
}

void QtMessageBox::inform(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    fitTitle(&box);
    box.exec();
}

bool QtMessageBox::confirm(QWidget *parent, const QString &text, const QString &acceptText) {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Cancel, parent);
    QPushButton *accept = box.addButton(acceptText, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    fitTitle(&box);
    box.exec();
    return box.clickedButton() == accept;
}

int QtMessageBox::choose(QWidget *parent, const QString &text, const QStringList &choices) {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> buttons;
    for (const QString &choice : choices)
        buttons << box.addButton(choice, QMessageBox::ActionRole);
    // Escape and the close box choose nothing.
    QPushButton *later = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(later);
    fitTitle(&box);
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

void QtMessageBox::showText(QWidget *parent, const QString &title, const QString &text) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *view = new QPlainTextEdit(text, &dialog);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(view);
    auto *close = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(close, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(close);
    dialog.resize(720, 480);
    dialog.exec();
}

std::optional<int> QtMessageBox::askNumber(QWidget *parent, const QString &title,
                                           const QString &label, int value, int min, int max) {
    bool ok = false;
    const int n = QInputDialog::getInt(parent, title, label, value, min, max, 1, &ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

std::optional<QString> QtMessageBox::askText(QWidget *parent, const QString &title,
                                             const QString &label, const QString &value) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, value, &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

MessageBox::Answer QtMessageBox::askSave(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    fitTitle(&box);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Answer::Save;
    case QMessageBox::Discard:
        return Answer::Discard;
    default:
        return Answer::Cancel;
    }
}

QString filterSuffix(const FileFilter &filter) {
    const QString first = filter.patterns.value(0);
    if (!first.startsWith(QLatin1String("*.")) || first.size() < 3 ||
        first.mid(2).contains(QRegularExpression(QStringLiteral("[*?\\[.]"))))
        return {};
    return first.mid(2);
}

QString withFilterSuffix(const QString &fileName, const FileFilter &filter) {
    const QString suffix = filterSuffix(filter);
    if (suffix.isEmpty() || fileName.isEmpty() || fileName.endsWith(QLatin1Char('/')) ||
        QFileInfo(fileName).fileName().contains(QLatin1Char('.')))
        return fileName;
    return fileName + QLatin1Char('.') + suffix;
}

namespace {

// Hides every file that is not executable while the first filter is chosen.
class ExecutablesProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setActive(bool active) {
        if (active != m_active) {
            m_active = active;
            invalidateFilter();
        }
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override {
        if (!m_active)
            return true;
        auto *model = qobject_cast<QFileSystemModel *>(sourceModel());
        if (!model)
            return true;
        const QFileInfo info = model->fileInfo(model->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }

private:
    bool m_active = true;
};

std::optional<QString> runDialog(QWidget *parent, const QList<FileFilter> &filters,
                                 const QString &initialSelection, bool save, int *chosen) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString qtFilter = toQtFilter(filters);
    dialog.setNameFilter(qtFilter);
    if (!filters.isEmpty() && filters.first().executablesOnly) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto *proxy = new ExecutablesProxy(&dialog);
        dialog.setProxyModel(proxy);
        const QString first = qtFilter.section(QStringLiteral(";;"), 0, 0);
        QObject::connect(&dialog, &QFileDialog::filterSelected, proxy,
                         [proxy, first](const QString &f) { proxy->setActive(f == first); });
    }
    // A name typed without an extension gets the chosen filter's, before the
    // dialog asks about overwriting.
    const QStringList entries = qtFilter.split(QStringLiteral(";;"));
    auto follow = [&dialog, &filters, entries, chosen](const QString &f) {
        *chosen = int(qMax(qsizetype(0), entries.indexOf(f)));
        dialog.setDefaultSuffix(filterSuffix(filters.value(*chosen)));
    };
    *chosen = 0;
    if (save) {
        follow(entries.value(0));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
    }
    if (initialSelection.endsWith(QLatin1Char('/'))) {
        dialog.setDirectory(initialSelection);
    } else if (!initialSelection.isEmpty()) {
        const QFileInfo info(initialSelection);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace

std::optional<QString> QtFilePicker::getOpenFileName(QWidget *parent,
                                                     const QList<FileFilter> &filters,
                                                     const QString &initialSelection) {
    return runDialog(parent, filters, initialSelection, false, &m_chosen);
}

std::optional<QString> QtFilePicker::getSaveFileName(QWidget *parent,
                                                     const QList<FileFilter> &filters,
                                                     const QString &initialSelection) {
    return runDialog(parent, filters, initialSelection, true, &m_chosen);
}
