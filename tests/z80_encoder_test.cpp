// The instruction encoder. Every instruction form, with operands at the edges
// of their fields, is encoded and read back by a disassembler we did not
// write (z80dasm), which must name the instruction that was written. Values
// that do not fit, and forms the processor does not have, give whole messages.

#include "z80/encoder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include <map>

namespace {

constexpr std::uint32_t kOrigin = 0x9D95;

// The instruction set, written as the manuals list it. {name} takes each of
// its values in turn (every use of one name takes the same value; a digit
// after a name gives an independent copy), and values may hold names.
const char *const kValues = R"(r: b c d e h l a
m: b c d e h l (hl) a
half: b c d e a {X}h {X}l
xh: {X}h {X}l
X: ix iy
d: -128 -1 +0 +127
n: 0 127 128 255
w: 0 32767 32768 65535
j: @-128 @127
q: bc de hl sp
xq: bc de {X} sp
pq: bc de hl af {X}
cc: nz z nc c po pe p m
jc: nz z nc c
b: 0 1 2 3 4 5 6 7
alu: add adc sub sbc and xor or cp
logic: sub and xor or cp
rot: rlc rrc rl rr sla sra sll sl1 srl
bit: bit res set
rs: res set
id: inc dec
pp: push pop
rst: 0 8 16 24 32 40 48 56
plain: nop halt di ei rla rlca rra rrca daa cpl scf ccf exx neg reti retn rld rrd ldi ldir ldd lddr cpi cpir cpd cpdr ini inir ind indr outi otir outd otdr)";
// @k is a jump's target k bytes from the instruction's end.
const char *const kForms = R"(ld {m},{m2}; ld {m},{n}; ld {half},{half2}; ld {xh},{n}
ld a,(bc); ld a,(de); ld (bc),a; ld (de),a; ld a,({w}); ld ({w}),a
ld a,i; ld a,r; ld i,a; ld r,a; ld sp,hl; ld sp,{X}
ld {q},{w}; ld {q},({w}); ld ({w}),{q}; ld {X},{w}; ld {X},({w}); ld ({w}),{X}
ld {r},({X}{d}); ld ({X}{d}),{r}; ld ({X}{d}),{n}; ld a,({X})
{alu} a,{m}; {alu} a,{n}; {alu} a,{xh}; {alu} a,({X}{d})
{logic} {m}; {logic} {n}; {logic} {xh}; {logic} ({X}{d})
add hl,{q}; adc hl,{q}; sbc hl,{q}; add {X},{xq}
{id} {m}; {id} {q}; {id} {X}; {id} {xh}; {id} ({X}{d}); {pp} {pq}
ex af,af'; ex de,hl; ex (sp),hl; ex (sp),{X}
{rot} {m}; {rot} ({X}{d}); {rot} {r},({X}{d}); {rot} ({X}{d}),{r}
{bit} {b},{m}; {bit} {b},({X}{d}); {rs} {r},{b},({X}{d}); {rs} {b},({X}{d}),{r}
jp {w}; jp {cc},{w}; jp (hl); jp ({X}); call {w}; call {cc},{w}; ret; ret {cc}
jr {j}; jr {jc},{j}; djnz {j}; rst {rst}; im 0; im 1; im 2
in a,({n}); out ({n}),a; in {r},(c); out (c),{r}; in f,(c); in (c); out (c),0; {plain})";

QStringList values(const QString &name) {
    const QRegularExpression line("^" + name + ": (.*)$", QRegularExpression::MultilineOption);
    return line.match(kValues).captured(1).split(' ');
}

void expand(const QString &text, QStringList &out) {
    // Names first, X last, so that one instruction never mixes ix and iy.
    QRegularExpressionMatch m = QRegularExpression("\\{(?!X\\})(\\w+?)(\\d?)\\}").match(text);
    if (!m.hasMatch())
        m = QRegularExpression("\\{(X)()\\}").match(text);
    if (!m.hasMatch()) {
        if (text != "ld (hl),(hl)") // that is halt
            out << text;
        return;
    }
    for (const QString &v : values(m.captured(1)))
        expand(QString(text).replace(m.captured(0), v), out);
}

// The operands as the assembler hands them over.
std::vector<z80::Operand> operands(const QString &text) {
    using K = z80::Operand::Kind;
    std::vector<z80::Operand> ops;
    for (QString s : text.section(' ', 1).split(',', Qt::SkipEmptyParts)) {
        const bool paren = s.startsWith('(');
        s = paren ? s.mid(1, s.size() - 2) : s;
        const auto x = QRegularExpression("^(i[xy])([-+]\\d+)$").match(s);
        if (x.hasMatch())
            ops.push_back({K::Indexed, x.captured(1).toStdString(), x.captured(2).toLongLong()});
        else if (s[0].isLetter())
            ops.push_back({paren ? K::Indirect : K::Register, s.toStdString(), 0});
        else
            ops.push_back({paren ? K::Memory : K::Immediate, "", s.toLongLong()});
    }
    return ops;
}

z80::Encoding encode(const QString &text, std::uint32_t pc = kOrigin, bool check = true) {
    return z80::encode(text.section(' ', 0, 0).toStdString(), operands(text), pc, check);
}

// One spelling for both sides: numbers in decimal, no blanks, $+n resolved.
QString canonical(QString s, std::uint32_t pc) {
    s = s.toLower();
    QRegularExpression number("\\$([-+]\\d+)|\\b(\\d[0-9a-f]*)h\\b|\\b0+(\\d)");
    for (auto m = number.match(s); m.hasMatch();) {
        const QString v = m.hasCaptured(1)   ? QString::number(pc + m.captured(1).toInt())
                          : m.hasCaptured(2) ? QString::number(m.captured(2).toInt(nullptr, 16))
                                             : m.captured(3);
        s.replace(m.capturedStart(), m.capturedLength(), v);
        m = number.match(s, m.capturedStart() + v.size());
    }
    return s.remove(QRegularExpression("\\s"));
}

// What z80dasm writes for the instruction we wrote: its names for the
// spellings it does not use.
QString asDisassembled(QString s) {
    s.replace(QRegularExpression("^sl[l1] "), "sli ");
    s.replace(QRegularExpression("^in \\(c\\)"), "in f,(c)");
    s.replace(QRegularExpression("^(sub|and|xor|or|cp) a,(.)"), "\\1 \\2");
    s.replace(QRegularExpression("^(ld a,)\\((i.)\\)"), "\\1(\\2+0)");
    // Through (ix+d) with a register: the operation, then a copy to it.
    const QString op = "^(rlc|rrc|rl|rr|sla|sra|sli|srl|res|set) ", at = "(\\(i..\\d+\\))";
    s.replace(QRegularExpression(op + "([a-l]),([0-7],)?" + at + "$"), "\\1 \\3\\4 & ld \\2,\\4");
    s.replace(QRegularExpression(op + "([0-7],)?" + at + ",([a-l])$"), "\\1 \\2\\3 & ld \\4,\\3");
    return s;
}

} // namespace

class EncoderTest : public QObject {
    Q_OBJECT
private slots:
    void everyFormReadsBackAsWritten() {
        QStringList texts;
        const QStringList forms = QString(kForms).split(QRegularExpression(";\\s*|\n"));
        for (const QString &form : forms)
            expand(form, texts);
        QByteArray program;
        std::map<std::uint32_t, QString> written;
        QStringList failures;
        texts.removeDuplicates();
        for (QString text : texts) {
            const std::uint32_t pc = kOrigin + program.size();
            const int at = text.indexOf('@');
            if (at >= 0) // jr and djnz are two bytes long
                text = text.left(at) + QString::number(pc + 2 + text.mid(at + 1).toInt());
            const z80::Encoding e = encode(text, pc);
            if (!e.error.empty() || e.bytes.empty())
                failures << text + ": " + QString::fromStdString(e.error);
            written[pc] = text;
            program.append(reinterpret_cast<const char *>(e.bytes.data()), int(e.bytes.size()));
        }
        QTemporaryDir dir;
        QFile bin(dir.filePath("forms.bin"));
        QVERIFY(bin.open(QIODevice::WriteOnly) && bin.write(program) == program.size());
        bin.close();
        QProcess z80dasm;
        z80dasm.start("z80dasm",
                      {"-a", "-u", "-g", QString("0x%1").arg(kOrigin, 0, 16), bin.fileName()});
        QVERIFY2(z80dasm.waitForFinished(60000), "z80dasm (Debian package z80dasm) did not run");
        std::map<std::uint32_t, QString> read;
        for (const QString &line :
             QString::fromLatin1(z80dasm.readAllStandardOutput()).split('\n')) {
            const int semicolon = line.lastIndexOf(';');
            if (!line.startsWith('\t') || semicolon < 0 || line.contains("org"))
                continue;
            read[line.mid(semicolon + 1).toUInt(nullptr, 16)] = line.left(semicolon).trimmed();
        }
        for (const auto &[pc, text] : written) {
            const QString ours = canonical(asDisassembled(text), pc);
            const QString theirs = canonical(read[pc], pc);
            if (ours != theirs)
                failures << QString("%1 at %2: z80dasm reads '%3' (%4 against %5)")
                                .arg(text, QString::number(pc, 16), read[pc], ours, theirs);
        }
        qInfo("%d instructions from %d patterns read back", int(written.size()), int(forms.size()));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 30).join('\n')));
    }

    void valuesThatDoNotFitAreNamed_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *text, const char *message) {
            QTest::newRow(text) << QString(text) << QString(message);
        };
        row("ld a,600", "value 600 does not fit in 8 bits (-128 to 255)");
        row("cp -300", "value -300 does not fit in 8 bits (-128 to 255)");
        row("out (512),a", "value 512 does not fit in 8 bits (-128 to 255)");
        row("ld (ix+5),1000", "value 1000 does not fit in 8 bits (-128 to 255)");
        row("ld hl,70000", "value 70000 does not fit in 16 bits (-32768 to 65535)");
        row("ld (-65536),a", "value -65536 does not fit in 16 bits (-32768 to 65535)");
        row("jr 40720", "relative jump to 9F10h is out of reach (-128 to 127 bytes from 9D97h)");
        row("jr 40471", "relative jump to 9E17h is out of reach (-128 to 127 bytes from 9D97h)");
        row("jr 40214", "relative jump to 9D16h is out of reach (-128 to 127 bytes from 9D97h)");
        row("djnz 40214", "relative jump to 9D16h is out of reach (-128 to 127 bytes from 9D97h)");
        row("ld (ix+128),a", "index displacement 128 does not fit (-128 to 127)");
        row("set 0,(iy-129)", "index displacement -129 does not fit (-128 to 127)");
        row("rst 9", "rst 9 is not one of 0, 8h, 10h, 18h, 20h, 28h, 30h, 38h");
        row("bit 8,a", "bit number 8 is not 0 to 7");
        row("res -1,(ix+0),b", "bit number -1 is not 0 to 7");
        row("im 3", "im 3: the interrupt mode is 0, 1 or 2");
        row("out (c),1", "out (c),1: the only number out (c) can send is 0");
    }

    // A value is judged only when it is final; the size never depends on it.
    void valuesThatDoNotFitAreNamed() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        const z80::Encoding judged = encode(text);
        QCOMPARE(QString::fromStdString(judged.error), message);
        const z80::Encoding early = encode(text, kOrigin, false);
        QCOMPARE(QString::fromStdString(early.error), QString());
        QVERIFY(!early.bytes.empty() && early.bytes.size() == judged.bytes.size());
    }

    void edgesAreAcceptedAsTwosComplement() {
        const auto hex = [](const char *text) {
            const z80::Encoding e = encode(text);
            return QByteArray((const char *)e.bytes.data(), int(e.bytes.size())).toHex(' ') +
                   e.error.c_str();
        };
        QCOMPARE(hex("ld a,-128"), QByteArray("3e 80"));
        QCOMPARE(hex("ld bc,-32768"), QByteArray("01 00 80"));
        QCOMPARE(hex("ld de,-1"), QByteArray("11 ff ff"));
        QCOMPARE(hex("jr 40215"), QByteArray("18 80")); // 9D97h - 128
        QCOMPARE(hex("jr 40470"), QByteArray("18 7f")); // 9D97h + 127
        QVERIFY(z80::isMnemonic("LD") && z80::isMnemonic("Sl1") && z80::isMnemonic("otdr"));
        QVERIFY(!z80::isMnemonic("db") && !z80::isMnemonic("ldx") && !z80::isMnemonic(""));
    }

    void formsTheProcessorLacksAreRefused() {
        const std::pair<const char *, const char *> cases[] = {
            {"ld (bc),b", "ld has no form (bc),b"},
            {"ld ixh,iyl", "ld has no form ixh,iyl"},
            {"ld h,ixl", "ld has no form h,ixl"},
            {"add ix,hl", "add has no form ix,hl"},
            {"jp hl", "jp has no form hl"},
            {"ex de,5", "ex has no form de,n"},
            {"ld", "ld needs operands"},
            {"nop a", "nop takes no operands"},
            {"mov a,b", "'mov' is not an instruction"},
        };
        for (const auto &[text, message] : cases) {
            const z80::Encoding e = encode(text, kOrigin, false);
            QCOMPARE(QString::fromStdString(e.error), QString(message));
            QVERIFY(e.bytes.empty());
        }
    }
};

QTEST_GUILESS_MAIN(EncoderTest)
#include "z80_encoder_test.moc"
