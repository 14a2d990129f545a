#include "ui/debugpane.h"

#include "run/debugger.h"
#include "run/machine.h"
#include "run/os.h"
#include "run/oscalllog.h"
#include "run/snapshot.h"
#include "run/watchformat.h"
#include "ui/debugsource.h"
#include "ui/runsupport.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The rows of the registers' table: the main set (editable), then the rest.
struct RegRow {
    const char *name;
    int state; // index in MachineState::regs (z80ex's order)
    bool wide;
    std::optional<run::Reg> editable;
};
const RegRow kRegs[] = {
    {"AF", 0, true, run::Reg::AF},  {"BC", 1, true, run::Reg::BC},  {"DE", 2, true, run::Reg::DE},
    {"HL", 3, true, run::Reg::HL},  {"IX", 8, true, run::Reg::IX},  {"IY", 9, true, run::Reg::IY},
    {"SP", 11, true, run::Reg::SP}, {"PC", 10, true, run::Reg::PC}, {"AF'", 4, true, std::nullopt},
    {"BC'", 5, true, std::nullopt}, {"DE'", 6, true, std::nullopt}, {"HL'", 7, true, std::nullopt},
    {"I", 12, false, std::nullopt}, {"R", 13, false, std::nullopt},
};
constexpr int kRegCount = int(std::size(kRegs));

// The OS's screen buffers, with the LCD first.
struct Screen {
    const char *name;
    std::uint16_t address; // 0: the LCD
};
const Screen kScreens[] = {
    {"LCD", 0}, {"plotSScreen", 0x9340}, {"saveSScreen", 0x86EC}, {"appBackUpScreen", 0x9872}};

constexpr int kStackRows = 12;
constexpr int kMemoryRows = 8, kMemoryColumns = 8;

QTableWidgetItem *cell(const QString &text, bool changed, bool editable = false) {
    auto *item = new QTableWidgetItem(text);
    if (!editable)
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    if (changed) {
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setForeground(QColor(0xC0, 0x10, 0x10));
    }
    return item;
}

QTableWidget *table(const QString &name, const QStringList &columns, QWidget *parent) {
    auto *t = new QTableWidget(0, int(columns.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(columns);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    t->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 4);
    return t;
}

} // namespace

DebugPane::DebugPane(QWidget *parent)
    : QWidget(parent), m_where(new QLabel(this)), m_flags(new QLabel(this)),
      m_registers(table(QStringLiteral("debugRegisters"),
                        {tr("Register"), tr("Hex"), tr("Decimal"), tr("Label")}, this)),
      m_stack(table(QStringLiteral("debugStack"), {tr("Address"), tr("Value"), tr("Label")}, this)),
      m_memory(table(QStringLiteral("debugMemory"), {}, this)),
      m_watches(table(QStringLiteral("debugWatches"), {tr("Expression"), tr("Value")}, this)),
      m_calls(table(QStringLiteral("debugCalls"), {tr("Return"), tr("Called from")}, this)),
      m_osCalls(table(QStringLiteral("debugOsCalls"),
                      {tr("OS call"), tr("In"), tr("Out"), tr("Called from")}, this)),
      m_log(new QPlainTextEdit(this)), m_stopwatch(new QPushButton(this)),
      m_memoryAt(new QLineEdit(this)) {
    setObjectName(QStringLiteral("debugPane"));
    m_where->setObjectName(QStringLiteral("debugWhere"));
    m_where->setWordWrap(true);
    m_where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_flags->setObjectName(QStringLiteral("debugFlags"));
    m_flags->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_flags->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_where);

    // The buttons take no keyboard focus: the run window's keys stay the calculator's.
    auto *buttons = new QHBoxLayout;
    const struct {
        const char *name;
        QString text;
        void (DebugPane::*signal)();
    } kButtons[] = {
        {"debugContinue", tr("Continue"), &DebugPane::continueRun},
        {"debugStepInto", tr("Step into"), &DebugPane::stepInto},
        {"debugStepOver", tr("Step over"), &DebugPane::stepOver},
        {"debugStepOut", tr("Step out"), &DebugPane::stepOut},
        {"debugStepBack", tr("Step back"), &DebugPane::stepBack},
    };
    for (const auto &b : kButtons) {
        auto *button = new QPushButton(b.text, this);
        button->setObjectName(QLatin1String(b.name));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, b.signal);
        buttons->addWidget(button);
        m_buttons.push_back(button);
    }
    layout->addLayout(buttons);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("debugTabs"));
    tabs->setFocusPolicy(Qt::NoFocus);
    auto *regs = new QWidget(tabs);
    auto *regsLayout = new QVBoxLayout(regs);
    m_registers->setRowCount(kRegCount);
    regsLayout->addWidget(m_registers, 1);
    regsLayout->addWidget(m_flags);
    m_stopwatch->setObjectName(QStringLiteral("debugStopwatch"));
    m_stopwatch->setFocusPolicy(Qt::NoFocus);
    m_stopwatch->setFlat(true);
    m_stopwatch->setToolTip(tr("T-states since the stopwatch was set to zero; click to zero it"));
    connect(m_stopwatch, &QPushButton::clicked, this, [this] {
        if (m_machine)
            m_stopwatchFrom = m_machine->cycles();
        showCycles();
    });
    regsLayout->addWidget(m_stopwatch, 0, Qt::AlignLeft);
    tabs->addTab(regs, tr("Registers"));

    auto *watchTab = new QWidget(tabs);
    auto *watchLayout = new QVBoxLayout(watchTab);
    auto *watchHint = new QLabel(
        tr("Type in the empty row: registers, flags, labels, (x) a byte, {x} a word; after a "
           "comma a format: hex, dec, bin, str, real or WxH (a sprite), as in score,dec."),
        watchTab);
    watchHint->setWordWrap(true);
    watchLayout->addWidget(watchHint);
    watchLayout->addWidget(m_watches, 1);
    m_watches->setRowCount(1);
    m_watches->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_watches->setColumnWidth(0, 150);
    m_watches->setIconSize(QSize(128, 128));
    connect(m_watches, &QTableWidget::itemChanged, this, &DebugPane::editWatch);
    tabs->addTab(watchTab, tr("Watch"));

    auto *stacks = new QWidget(tabs);
    auto *stacksLayout = new QVBoxLayout(stacks);
    m_stack->setRowCount(kStackRows);
    stacksLayout->addWidget(m_stack, 2);
    stacksLayout->addWidget(new QLabel(tr("Calls open (double-click: go to the caller)"), stacks));
    stacksLayout->addWidget(m_calls, 1);
    connect(m_calls, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const QTableWidgetItem *item = m_calls->item(row, 1);
        if (item && !item->data(Qt::UserRole).toString().isEmpty())
            emit goTo(item->data(Qt::UserRole).toString(), item->data(Qt::UserRole + 1).toInt());
    });
    tabs->addTab(stacks, tr("Stack"));

    auto *memory = new QWidget(tabs);
    auto *memoryLayout = new QVBoxLayout(memory);
    auto *at = new QHBoxLayout;
    auto *atLabel = new QLabel(tr("&At:"), memory);
    atLabel->setBuddy(m_memoryAt);
    m_memoryAt->setObjectName(QStringLiteral("debugMemoryAt"));
    m_memoryAt->setPlaceholderText(tr("an address (9D95), a label or a register (HL)"));
    m_memoryAt->setText(QStringLiteral("PC"));
    connect(m_memoryAt, &QLineEdit::returnPressed, this, &DebugPane::showMemory);
    at->addWidget(atLabel);
    at->addWidget(m_memoryAt, 1);
    memoryLayout->addLayout(at);
    QStringList columns{tr("Address")};
    for (int i = 0; i < kMemoryColumns; ++i)
        columns << QStringLiteral("+%1").arg(i);
    columns << tr("Label");
    m_memory->setColumnCount(int(columns.size()));
    m_memory->setHorizontalHeaderLabels(columns);
    m_memory->setRowCount(kMemoryRows);
    memoryLayout->addWidget(m_memory, 1);
    tabs->addTab(memory, tr("Memory"));

    auto *screens = new QWidget(tabs);
    auto *grid = new QGridLayout(screens);
    for (int i = 0; i < 4; ++i) {
        auto *caption = new QLabel(QLatin1String(kScreens[i].name), screens);
        m_screens[size_t(i)] = new QLabel(screens);
        m_screens[size_t(i)]->setObjectName(QStringLiteral("debugScreen_") +
                                            QLatin1String(kScreens[i].name));
        m_screens[size_t(i)]->setFixedSize(96 * 2 + 2, 64 * 2 + 2);
        m_screens[size_t(i)]->setFrameShape(QFrame::Box);
        m_screens[size_t(i)]->setAlignment(Qt::AlignCenter);
        grid->addWidget(caption, (i / 2) * 2, i % 2);
        grid->addWidget(m_screens[size_t(i)], (i / 2) * 2 + 1, i % 2);
    }
    grid->setRowStretch(4, 1);
    tabs->addTab(screens, tr("Screens"));

    auto *logTab = new QWidget(tabs);
    auto *logLayout = new QVBoxLayout(logTab);
    m_log->setObjectName(QStringLiteral("debugLog"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(2000);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    logLayout->addWidget(new QLabel(tr("OS calls made, the latest last:"), logTab));
    logLayout->addWidget(m_osCalls, 2);
    logLayout->addWidget(new QLabel(tr("Log messages of breakpoints:"), logTab));
    logLayout->addWidget(m_log, 1);
    auto *checks = new QGridLayout;
    checks->addWidget(new QLabel(tr("Stop the run when:"), logTab), 0, 0, 1, 2);
    const QString kCheckTexts[kChecks] = {
        tr("SP: it returns with SP moved"), tr("IY: an OS call with IY not 89F0h"),
        tr("SP: the stack enters its code"), tr("DI: it returns with interrupts off"),
        tr("RET: a ret to no call's return")};
    const char *const kCheckNames[kChecks] = {"debugCheckFrame", "debugCheckIy",
                                              "debugCheckStackInCode", "debugCheckInterrupts",
                                              "debugCheckReturn"};
    for (int i = 0; i < kChecks; ++i) {
        m_checks[size_t(i)] = new QCheckBox(kCheckTexts[i], logTab);
        m_checks[size_t(i)]->setObjectName(QLatin1String(kCheckNames[i]));
        m_checks[size_t(i)]->setChecked(true);
        m_checks[size_t(i)]->setFocusPolicy(Qt::NoFocus);
        connect(m_checks[size_t(i)], &QCheckBox::toggled, this,
                [this, i](bool on) { emit checkChanged(i, on); });
        checks->addWidget(m_checks[size_t(i)], 1 + i / 2, i % 2);
    }
    logLayout->addLayout(checks);
    tabs->addTab(logTab, tr("Log"));
    layout->addWidget(tabs, 1);

    connect(m_registers, &QTableWidget::itemChanged, this, &DebugPane::editRegister);
    connect(m_memory, &QTableWidget::itemChanged, this, &DebugPane::editMemory);
    setWatches({});
    setRunning(tr("Running."));
    setMinimumWidth(420);
}

void DebugPane::setRunning(const QString &what, bool ended) {
    if (!ended) {
        m_machine = nullptr;
        m_source = nullptr;
    }
    m_where->setText(what);
    for (QPushButton *b : m_buttons)
        b->setEnabled(false);
    m_registers->setEnabled(false);
    m_memory->setEnabled(false);
}

void DebugPane::showPaused(run::Machine &machine, const DebugSource *source, const QString &where,
                           const std::vector<run::Frame> &frames) {
    m_machine = &machine;
    m_source = source;
    m_frames = frames;
    m_where->setText(where);
    for (QPushButton *b : m_buttons)
        b->setEnabled(true);
    m_registers->setEnabled(true);
    m_memory->setEnabled(true);
    showRegisters();
    showStack();
    showMemory();
    showScreens();
    showWatches();
    showCalls();
    m_lastMemory.resize(0x10000);
    for (int a = 0; a < 0x10000; ++a)
        m_lastMemory[size_t(a)] = machine.read(std::uint16_t(a));
    m_lastCycles = machine.cycles();
}

QString DebugPane::nameOf(std::uint16_t address) const {
    return m_source ? QString::fromStdString(m_source->labelAt(address)) : QString();
}

void DebugPane::showRegisters() {
    run::MachineState state;
    m_machine->save(state);
    m_filling = true;
    std::array<std::uint16_t, kRegCount> now{};
    for (int row = 0; row < kRegCount; ++row) {
        const RegRow &r = kRegs[row];
        std::uint16_t v = state.regs[size_t(r.state)];
        if (r.state == 13) // R: its top bit is kept apart
            v = std::uint16_t((v & 0x7F) | (state.regs[14] & 0x80));
        now[size_t(row)] = v;
        const bool changed = m_haveLast && m_lastRegs[size_t(row)] != v;
        m_registers->setItem(row, 0, cell(QLatin1String(r.name), changed));
        m_registers->setItem(
            row, 1,
            cell(QStringLiteral("%1").arg(v, r.wide ? 4 : 2, 16, QLatin1Char('0')).toUpper(),
                 changed, r.editable.has_value()));
        m_registers->setItem(row, 2, cell(QString::number(v), changed));
        // A pointer's label+offset: not for AF, nor for a small number, which
        // the include files' equates of constants (token, type, flag numbers) name.
        const bool pointer = r.wide && r.state != 0 && r.state != 4 && v >= 0x4000;
        m_registers->setItem(row, 3, cell(pointer ? nameOf(v) : QString(), changed));
    }
    m_filling = false;
    m_lastRegs = now;
    m_haveLast = true;
    const unsigned f = state.regs[0] & 0xFF;
    const std::uint64_t since = m_machine->cycles() - std::min(m_lastCycles, m_machine->cycles());
    showCycles();
    m_flags->setText(tr("S %1  Z %2  H %3  P/V %4  N %5  C %6\nIM %7, interrupts %8\n"
                        "T-states: %9 since the last pause, %10 in all")
                         .arg(f >> 7 & 1)
                         .arg(f >> 6 & 1)
                         .arg(f >> 4 & 1)
                         .arg(f >> 2 & 1)
                         .arg(f >> 1 & 1)
                         .arg(f & 1)
                         .arg(state.regs[15])
                         .arg(m_machine->interruptsEnabled() ? tr("on") : tr("off"))
                         .arg(since)
                         .arg(m_machine->cycles()));
}

void DebugPane::showStack() {
    const std::uint16_t sp = m_machine->reg(run::Reg::SP);
    for (int row = 0; row < kStackRows; ++row) {
        if (sp + 2 * row > 0xFFFE) { // the stack ends at the top of memory
            for (int c = 0; c < 3; ++c)
                m_stack->setItem(row, c, cell(QString(), false));
            continue;
        }
        const std::uint16_t at = std::uint16_t(sp + 2 * row);
        const std::uint16_t v = m_machine->readWord(at);
        m_stack->setItem(row, 0,
                         cell(QStringLiteral("%1").arg(at, 4, 16, QLatin1Char('0')).toUpper() +
                                  (row == 0 ? QStringLiteral(" SP") : QString()),
                              false));
        m_stack->setItem(
            row, 1, cell(QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(), false));
        // Words below 4000h are numbers, not places (but the OS's return).
        QString place = v >= 0x4000           ? nameOf(v)
                        : v == run::Os::kExit ? tr("the OS (where the program ends)")
                                              : QString();
        if (m_source)
            if (const auto p = m_source->placeOf(v))
                place += QStringLiteral("  %1:%2")
                             .arg(QFileInfo(QString::fromStdString(p->file)).fileName())
                             .arg(p->line);
        m_stack->setItem(row, 2, cell(place, false));
    }
}

std::optional<std::uint16_t> DebugPane::addressOf(const QString &input) const {
    const QString text = input.trimmed();
    static const std::pair<const char *, run::Reg> kNames[] = {
        {"AF", run::Reg::AF}, {"BC", run::Reg::BC}, {"DE", run::Reg::DE}, {"HL", run::Reg::HL},
        {"IX", run::Reg::IX}, {"IY", run::Reg::IY}, {"SP", run::Reg::SP}, {"PC", run::Reg::PC}};
    for (const auto &[name, reg] : kNames)
        if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return m_machine->reg(reg);
    if (m_source)
        if (const auto a = m_source->label(text.toStdString()))
            return a;
    QString digits = text;
    if (digits.startsWith(u'$'))
        digits = digits.mid(1);
    else if (digits.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    else if (digits.endsWith(u'h', Qt::CaseInsensitive))
        digits.chop(1);
    bool ok = false;
    const uint v = digits.toUInt(&ok, 16);
    if (!ok || v > 0xFFFF)
        return std::nullopt;
    return std::uint16_t(v);
}

void DebugPane::showMemory() {
    if (!m_machine)
        return;
    const auto start = addressOf(m_memoryAt->text());
    m_memoryAt->setStyleSheet(start ? QString() : QStringLiteral("color: #C01010"));
    if (!start)
        return;
    // Rows on a multiple of the row's length, the address's row second.
    const std::uint16_t first = std::uint16_t((*start & ~(kMemoryColumns - 1)) - kMemoryColumns);
    m_filling = true;
    for (int row = 0; row < kMemoryRows; ++row) {
        const std::uint16_t at = std::uint16_t(first + row * kMemoryColumns);
        m_memory->setItem(
            row, 0, cell(QStringLiteral("%1").arg(at, 4, 16, QLatin1Char('0')).toUpper(), false));
        for (int c = 0; c < kMemoryColumns; ++c) {
            const std::uint16_t a = std::uint16_t(at + c);
            const std::uint8_t v = m_machine->read(a);
            const bool changed = !m_lastMemory.empty() && m_lastMemory[a] != v;
            auto *item =
                cell(QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(), changed, true);
            item->setData(Qt::UserRole, int(a));
            if (a == *start)
                item->setBackground(QColor(0xFF, 0xF0, 0xA0));
            m_memory->setItem(row, 1 + c, item);
        }
        m_memory->setItem(row, 1 + kMemoryColumns, cell(nameOf(at), false));
    }
    m_filling = false;
}

QImage DebugPane::bufferImage(const run::Machine &machine, std::uint16_t address) {
    QImage image(96, 64, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255)); // as the run window shows the LCD
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const std::uint8_t byte = machine.read(std::uint16_t(address + y * 12 + x / 8));
            image.setPixel(x, y, byte >> (7 - x % 8) & 1);
        }
    return image;
}

void DebugPane::showScreens() {
    for (size_t i = 0; i < m_screens.size(); ++i) {
        const QImage image = kScreens[i].address ? bufferImage(*m_machine, kScreens[i].address)
                                                 : lcdImage(m_machine->lcd());
        m_screens[i]->setPixmap(QPixmap::fromImage(image.scaled(192, 128)));
    }
}

void DebugPane::editRegister(QTableWidgetItem *item) {
    if (m_filling || !m_machine || item->column() != 1)
        return;
    const RegRow &r = kRegs[item->row()];
    bool ok = false;
    const uint v = item->text().trimmed().toUInt(&ok, 16);
    if (r.editable && ok && v <= 0xFFFF) {
        m_machine->setReg(*r.editable, std::uint16_t(v));
        emit edited();
    }
    showRegisters(); // the value as it is now, also when the text was not a number
    showStack();
    showMemory();
}

void DebugPane::editMemory(QTableWidgetItem *item) {
    if (m_filling || !m_machine || !item->data(Qt::UserRole).isValid())
        return;
    bool ok = false;
    const uint v = item->text().trimmed().toUInt(&ok, 16);
    if (ok && v <= 0xFF) {
        m_machine->write(std::uint16_t(item->data(Qt::UserRole).toInt()), std::uint8_t(v));
        emit edited();
    }
    showMemory();
    showScreens();
}

bool DebugPane::checkOn(int check) const {
    return check < 0 || check >= kChecks || m_checks[size_t(check)]->isChecked();
}

void DebugPane::addLog(const QString &text) {
    m_log->appendPlainText(text);
}

void DebugPane::showCycles() {
    if (!m_machine)
        return;
    const std::uint64_t now = m_machine->cycles();
    m_stopwatch->setText(tr("Stopwatch: %1 T-states").arg(now - std::min(m_stopwatchFrom, now)));
}

QStringList DebugPane::watches() const {
    QStringList out;
    for (int row = 0; row < m_watches->rowCount(); ++row)
        if (const QTableWidgetItem *item = m_watches->item(row, 0); item && !item->text().isEmpty())
            out << item->text();
    return out;
}

void DebugPane::setWatches(const QStringList &watches) {
    m_filling = true;
    m_watches->setRowCount(int(watches.size()) + 1);
    for (int row = 0; row <= int(watches.size()); ++row) {
        m_watches->setItem(row, 0, cell(watches.value(row), false, true));
        m_watches->setItem(row, 1, cell(QString(), false));
    }
    m_filling = false;
    showWatches();
}

// An expression typed in the last row adds a row; one emptied goes.
void DebugPane::editWatch(QTableWidgetItem *item) {
    if (m_filling || item->column() != 0)
        return;
    setWatches(watches());
    emit watchesChanged(watches());
}

void DebugPane::showWatches() {
    if (!m_machine)
        return;
    m_filling = true;
    for (int row = 0; row < m_watches->rowCount(); ++row) {
        const QTableWidgetItem *expression = m_watches->item(row, 0);
        if (!expression || expression->text().isEmpty())
            continue;
        std::string error;
        const auto watch = run::Watch::parse(expression->text().toStdString(), m_labels, &error);
        auto *value = cell(QString(), false);
        if (!watch) {
            value->setText(QString::fromStdString(error));
            value->setForeground(QColor(0xC0, 0x10, 0x10));
        } else {
            const run::Watch::Shown s = watch->show(*m_machine);
            const QString text = QString::fromStdString(s.text);
            const QTableWidgetItem *before = m_watches->item(row, 1);
            const bool changed = before && !before->text().isEmpty() && before->text() != text;
            delete value;
            value = cell(text, changed);
            if (s.width) {
                QImage image(s.width, s.height, QImage::Format_Mono);
                image.setColor(0, qRgb(255, 255, 255));
                image.setColor(1, qRgb(0, 0, 0));
                for (int y = 0; y < s.height; ++y)
                    for (int x = 0; x < s.width; ++x)
                        image.setPixel(x, y, s.dark[size_t(y * s.width + x)]);
                const int scale = std::max(1, 64 / std::max(s.width, s.height));
                value->setData(Qt::DecorationRole,
                               QPixmap::fromImage(image.scaled(s.width * scale, s.height * scale)));
                m_watches->setRowHeight(row, s.height * scale + 4);
            }
        }
        m_watches->setItem(row, 1, value);
    }
    m_filling = false;
}

// The calls still open, the innermost first: the return address and the line of the call.
void DebugPane::showCalls() {
    m_calls->setRowCount(int(m_frames.size()));
    for (int row = 0; row < int(m_frames.size()); ++row) {
        const run::Frame &frame = m_frames[std::size_t(row)];
        const std::uint16_t ret = frame.returnTo;
        m_calls->setItem(row, 0,
                         cell(QStringLiteral("%1").arg(ret, 4, 16, QLatin1Char('0')).toUpper() +
                                  u' ' + nameOf(ret),
                              false));
        auto *caller = cell(QString(), false);
        if (m_source)
            if (const auto p = m_source->placeOf(frame.call)) {
                const QString file = QString::fromStdString(p->file);
                caller->setText(QStringLiteral("%1:%2  %3")
                                    .arg(QFileInfo(file).fileName())
                                    .arg(p->line)
                                    .arg(QString::fromStdString(m_source->lineText(*p))));
                caller->setData(Qt::UserRole, file);
                caller->setData(Qt::UserRole + 1, p->line);
            }
        m_calls->setItem(row, 1, caller);
    }
}

void DebugPane::showOsCalls(const std::vector<run::OsCallRecord> &calls) {
    m_osCalls->setRowCount(int(calls.size()));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const run::OsCallRecord &r = calls[i];
        const int row = int(i);
        m_osCalls->setItem(row, 0, cell(QString::fromStdString(r.name), false));
        m_osCalls->setItem(row, 1, cell(QString::fromStdString(r.inputs), false));
        m_osCalls->setItem(row, 2, cell(QString::fromStdString(r.outputs), false));
        QString from = QStringLiteral("%1").arg(r.from, 4, 16, QLatin1Char('0')).toUpper() + u'h';
        if (m_source)
            if (const auto p = m_source->placeOf(r.from))
                from = QStringLiteral("%1:%2")
                           .arg(QFileInfo(QString::fromStdString(p->file)).fileName())
                           .arg(p->line);
        m_osCalls->setItem(row, 3, cell(from, false));
    }
    m_osCalls->scrollToBottom();
}
