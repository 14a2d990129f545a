#include "ui/helpwindow.h"

#include "core/locations.h"
#include "ui/keytable.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
QString shown(const QString &path) {
    const QString home = QDir::homePath();
    return path.startsWith(home + QLatin1Char('/')) ? QLatin1Char('~') + path.mid(home.size())
                                                    : path;
}

QString row(const QString &left, const QString &right) {
    return QStringLiteral("<tr><td style='padding-right:16px'><b>%1</b></td><td>%2</td></tr>")
        .arg(left.toHtmlEscaped(), right.toHtmlEscaped());
}
} // namespace

HelpWindow::HelpWindow(const QString &root, QWidget *parent)
    : QWidget(parent, Qt::Window), text(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Quorvin Keys"));
    setAttribute(Qt::WA_DeleteOnClose);
    text->setObjectName(QStringLiteral("helpText"));
    text->setOpenLinks(false);
    text->setHtml(page(root));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    resize(620, 520);
}

QString HelpWindow::page(const QString &root) {
    struct Group {
        KeyPlace place;
        const char *title;
    };
    const Group groups[] = {
        {KeyPlace::Menu, QT_TR_NOOP("The menus' keys")},
        {KeyPlace::Editor, QT_TR_NOOP("In the editor")},
        {KeyPlace::Log, QT_TR_NOOP("In the output window (TASM Output)")},
        {KeyPlace::RunWindow, QT_TR_NOOP("In the run window (Ctrl+F5): the calculator's keys")},
    };
    QString html;
    for (const Group &g : groups) {
        html += QStringLiteral("<h3>%1</h3><table>").arg(tr(g.title).toHtmlEscaped());
        for (const KeyEntry &e : keyTable())
            if (e.place == g.place)
                html += row(keysText(e), QCoreApplication::translate("KeyTable", e.what));
        html += QStringLiteral("</table>");
    }
    const Locations places(root);
    html += QStringLiteral("<h3>%1</h3><table>").arg(tr("Where things live").toHtmlEscaped());
    html += row(tr("Settings (Edit > Preferences)"), shown(places.settingsFile()));
    html +=
        row(tr("Templates (File > New)"), shown(places.templateFolder()) + QLatin1String("/*.txt"));
    html += row(tr("The build's log"), shown(places.assemblerLog()));
    html += row(tr("Built programs"), shown(places.builtProgramFolder()));
    html += row(tr("The build script"), shown(places.root() + QLatin1String("/asm.bat")));
    html += row(tr("Include files of your own (ti83plus.inc)"),
                shown(places.root() + QLatin1String("/TASM")));
    html += row(tr("Which program each file belongs to"), shown(places.programRecord()));
    html += row(tr("Recent files"), shown(places.recentFiles()));
    html += QStringLiteral("</table><p>%1</p>")
                .arg(tr("An include builds with its program: name it in the include's first "
                        "line, \"; main: game.z80\", or build the program once. "
                        "Ctrl+Alt+R, or QUORVIN_REOPEN_LAST=0, starts with an empty document "
                        "instead of the last file.")
                         .toHtmlEscaped());
    return html;
}

void HelpWindow::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
