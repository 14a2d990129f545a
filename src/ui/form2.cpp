#include "form2.h"

#include "core/settings.h"
#include "platform/twips.h"
#include "platform/windows.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

Form2::Form2(FilePicker *picker, MessageBox *messages, const QString &settingsFile)
    : QDialog(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint),
      CommonDialog1(picker, this), m_messages(messages), m_settingsFile(settingsFile) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("Preferences"));
    setModal(false);

    Label1 = new QLabel(tr("Calculator Linker Program Path:"), this);
    Text1 = new QLineEdit(this);
    Command1 = new QPushButton(tr("Browse"), this);
    Label2 = new QLabel(tr("Virtual Calculator Path:"), this);
    Text2 = new QLineEdit(this);
    Command2 = new QPushButton(tr("Browse"), this);
    Command3 = new QPushButton(tr("OK"), this);
    Command4 = new QPushButton(tr("Cancel"), this);
    const std::pair<QWidget *, const char *> names[] = {
        {Label1, "Label1"}, {Text1, "Text1"},       {Command1, "Command1"}, {Label2, "Label2"},
        {Text2, "Text2"},   {Command2, "Command2"}, {Command3, "Command3"}, {Command4, "Command4"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));
    // A field holds whatever the settings file gave, however long.
    for (QLineEdit *field : {Text1, Text2})
        field->setMaxLength(std::numeric_limits<int>::max());
    // Enter on a focused button presses it; Enter in a field presses OK.
    for (QPushButton *b : {Command1, Command2, Command3, Command4})
        b->setAutoDefault(true);
    Command3->setDefault(true);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text2);
    setTabOrder(Text2, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    Text1->setFocus();

    // The file dialog lists programs first; on this system they carry no extension.
    CommonDialog1.Filter = tr("Programs|*|All Files (*.*)|*.*");
    CommonDialog1.executablesFirst = true;

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form2::Command4_Click);
    placeControls();
}

// Places every control at its design position and size in twips, grown where
// its text needs more room in the current font; rows below a grown row move
// down by as much, and the window grows to hold everything.
void Form2::placeControls() {
    const double dx = logicalDpiX(), dy = logicalDpiY();
    struct Design {
        QWidget *widget;
        int left, top, width, height;
    };
    // Rows in order from the top; each row's controls share a top.
    const QList<QList<Design>> rows = {
        {{Label1, 120, 120, 2295, 255}},
        {{Text1, 120, 360, 3375, 285}, {Command1, 3480, 360, 1095, 255}},
        {{Label2, 120, 720, 1695, 255}},
        {{Text2, 120, 960, 3375, 285}, {Command2, 3480, 960, 1095, 255}},
        {{Command3, 1800, 1320, 1335, 375}, {Command4, 3240, 1320, 1335, 375}},
    };
    int shiftDown = 0, right = 0, bottom = 0;
    for (const auto &row : rows) {
        int rowGrowth = 0;
        int shiftRight = 0;
        for (const Design &d : row) {
            const QSize need = d.widget->sizeHint();
            const int w = std::max(twipsToPixels(d.width, dx), need.width());
            const int h = std::max(twipsToPixels(d.height, dy), need.height());
            const int left = twipsToPixels(d.left, dx) + shiftRight;
            const int top = twipsToPixels(d.top, dy) + shiftDown;
            d.widget->setGeometry(left, top, w, h);
            shiftRight += w - twipsToPixels(d.width, dx);
            rowGrowth = std::max(rowGrowth, h - twipsToPixels(d.height, dy));
            right = std::max(right, left + w);
            bottom = std::max(bottom, top + h);
        }
        shiftDown += rowGrowth;
    }
    const int margin = twipsToPixels(120, dx);
    setFixedSize(std::max(twipsToPixels(4680, dx), right + margin),
                 std::max(twipsToPixels(1800, dy), bottom + twipsToPixels(105, dy)));
}

void Form2::showAndRaise(const QWidget *anchor) {
    if (!m_placed && !isVisible())
        placeNear(this, anchor);
    m_placed = true;
    // Out of the taskbar, a minimized dialog has no other way back.
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// Every time it is shown, typing goes to the first field, wherever the
// focus was when it was last hidden.
void Form2::showEvent(QShowEvent *event) {
    keepOutOfTaskbar(this);
    Text1->setFocus();
    QDialog::showEvent(event);
}

// The file dialog may leave another window active when it closes: the
// dialog comes back to the front with the field that took the path.
void Form2::browse(QLineEdit *field) {
    CommonDialog1.FileName = field->text();
    if (CommonDialog1.ShowOpen())
        field->setText(CommonDialog1.FileName);
    raise();
    activateWindow();
    field->setFocus();
}

void Form2::Command1_Click() {
    browse(Text1);
}

void Form2::Command2_Click() {
    browse(Text2);
}

void Form2::Command3_Click() {
    if (auto error = storeSettings(m_settingsFile, {Text1->text(), Text2->text()})) {
        m_messages->inform(this, error->message());
        return;
    }
    hide();
}

void Form2::Command4_Click() {
    hide();
}

void Form2::keyPressEvent(QKeyEvent *event) {
    // No button answers Escape.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
