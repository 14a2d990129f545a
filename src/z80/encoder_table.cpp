// The forms are generated once from the instruction set's regular layout:
// registers by their 3-bit code, ix and iy as hl behind a DD or FD prefix.
#include "encoder_table.h"

#include <initializer_list>
#include <string>
#include <unordered_map>

namespace z80::forms {
namespace {

using F = Field;

const char *const kReg8[8] = {"b", "c", "d", "e", "h", "l", "(hl)", "a"};
const char *const kPair[4] = {"bc", "de", "hl", "sp"};
const char *const kPushPair[4] = {"bc", "de", "hl", "af"};
const char *const kCondition[8] = {"nz", "z", "nc", "c", "po", "pe", "p", "m"};
const char *const kArithmetic[8] = {"add", "adc", "sub", "sbc", "and", "xor", "or", "cp"};
const char *const kRotation[8] = {"rlc", "rrc", "rl", "rr", "sla", "sra", "sll", "srl"};

struct Index {
    std::uint8_t prefix;
    std::string name, high, low, memory;
};
const Index kIndex[2] = {{0xDD, "ix", "ixh", "ixl", "(ix+d)"},
                         {0xFD, "iy", "iyh", "iyl", "(iy+d)"}};

struct Table {
    std::unordered_map<std::string, Form> forms;
    std::unordered_map<std::string, bool> mnemonics; // whether it takes operands

    void add(const std::string &mnemonic, const std::string &operands,
             std::initializer_list<int> bytes, Slot first = {}, Slot second = {}) {
        Form form;
        for (int b : bytes)
            form.bytes[form.size++] = std::uint8_t(b);
        form.slots[0] = first;
        form.slots[1] = second;
        forms[operands.empty() ? mnemonic : mnemonic + " " + operands] = form;
        mnemonics[mnemonic] = mnemonics[mnemonic] || !operands.empty();
    }

    Table();
    void loads();
    void arithmetic();
    void shifts();
    void jumps();
    void rest();
};

Table::Table() {
    loads();
    arithmetic();
    shifts();
    jumps();
    rest();
}

void Table::loads() {
    for (int d = 0; d < 8; ++d) {
        for (int s = 0; s < 8; ++s)
            if (d != 6 || s != 6)
                add("ld", std::string(kReg8[d]) + "," + kReg8[s], {0x40 + 8 * d + s});
        add("ld", std::string(kReg8[d]) + ",n", {0x06 + 8 * d, 0}, {F::Byte, 1, 1});
    }
    add("ld", "a,(bc)", {0x0A});
    add("ld", "a,(de)", {0x1A});
    add("ld", "a,(n)", {0x3A, 0, 0}, {F::Word, 1, 1});
    add("ld", "(bc),a", {0x02});
    add("ld", "(de),a", {0x12});
    add("ld", "(n),a", {0x32, 0, 0}, {F::Word, 0, 1});
    add("ld", "a,i", {0xED, 0x57});
    add("ld", "a,r", {0xED, 0x5F});
    add("ld", "i,a", {0xED, 0x47});
    add("ld", "r,a", {0xED, 0x4F});
    for (int k = 0; k < 4; ++k) {
        const std::string pair = kPair[k];
        add("ld", pair + ",n", {0x01 + 16 * k, 0, 0}, {F::Word, 1, 1});
        if (pair == "hl")
            continue;
        add("ld", pair + ",(n)", {0xED, 0x4B + 16 * k, 0, 0}, {F::Word, 1, 2});
        add("ld", "(n)," + pair, {0xED, 0x43 + 16 * k, 0, 0}, {F::Word, 0, 2});
    }
    add("ld", "hl,(n)", {0x2A, 0, 0}, {F::Word, 1, 1});
    add("ld", "(n),hl", {0x22, 0, 0}, {F::Word, 0, 1});
    add("ld", "sp,hl", {0xF9});
    for (const Index &x : kIndex) {
        const int p = x.prefix;
        add("ld", x.name + ",n", {p, 0x21, 0, 0}, {F::Word, 1, 2});
        add("ld", x.name + ",(n)", {p, 0x2A, 0, 0}, {F::Word, 1, 2});
        add("ld", "(n)," + x.name, {p, 0x22, 0, 0}, {F::Word, 0, 2});
        add("ld", "sp," + x.name, {p, 0xF9});
        add("ld", x.memory + ",n", {p, 0x36, 0, 0}, {F::Displacement, 0, 2}, {F::Byte, 1, 3});
        // With an index register's halves, h and l name ixh and ixl.
        const std::string half[8] = {"b", "c", "d", "e", x.high, x.low, "", "a"};
        for (int d = 0; d < 8; ++d) {
            if (d == 6)
                continue;
            if (d != 4 && d != 5) {
                add("ld", std::string(kReg8[d]) + "," + x.memory, {p, 0x46 + 8 * d, 0},
                    {F::Displacement, 1, 2});
                add("ld", x.memory + "," + kReg8[d], {p, 0x70 + d, 0}, {F::Displacement, 0, 2});
            } else {
                add("ld", half[d] + ",n", {p, 0x06 + 8 * d, 0}, {F::Byte, 1, 2});
            }
            for (int s = 0; s < 8; ++s)
                if (s != 6 && (d == 4 || d == 5 || s == 4 || s == 5))
                    add("ld", half[d] + "," + half[s], {p, 0x40 + 8 * d + s});
        }
        add("ld", "h," + x.memory, {p, 0x66, 0}, {F::Displacement, 1, 2});
        add("ld", "l," + x.memory, {p, 0x6E, 0}, {F::Displacement, 1, 2});
        add("ld", x.memory + ",h", {p, 0x74, 0}, {F::Displacement, 0, 2});
        add("ld", x.memory + ",l", {p, 0x75, 0}, {F::Displacement, 0, 2});
    }
}

void Table::arithmetic() {
    for (int k = 0; k < 8; ++k) {
        const std::string m = kArithmetic[k];
        // sub, and, xor, or and cp may leave out the a; add, adc and sbc may not.
        const bool bare = k == 2 || k >= 4;
        for (int withA = 1; withA >= (bare ? 0 : 1); --withA) {
            const std::string a = withA ? "a," : "";
            const std::uint8_t o = withA;
            for (int r = 0; r < 8; ++r)
                add(m, a + kReg8[r], {0x80 + 8 * k + r});
            add(m, a + "n", {0xC6 + 8 * k, 0}, {F::Byte, o, 1});
            for (const Index &x : kIndex) {
                add(m, a + x.high, {x.prefix, 0x84 + 8 * k});
                add(m, a + x.low, {x.prefix, 0x85 + 8 * k});
                add(m, a + x.memory, {x.prefix, 0x86 + 8 * k, 0}, {F::Displacement, o, 2});
            }
        }
    }
    for (int k = 0; k < 4; ++k) {
        const std::string pair = kPair[k];
        add("add", "hl," + pair, {0x09 + 16 * k});
        add("adc", "hl," + pair, {0xED, 0x4A + 16 * k});
        add("sbc", "hl," + pair, {0xED, 0x42 + 16 * k});
        add("inc", pair, {0x03 + 16 * k});
        add("dec", pair, {0x0B + 16 * k});
        add("push", kPushPair[k], {0xC5 + 16 * k});
        add("pop", kPushPair[k], {0xC1 + 16 * k});
        for (const Index &x : kIndex)
            add("add", x.name + "," + (k == 2 ? x.name : pair), {x.prefix, 0x09 + 16 * k});
    }
    for (int r = 0; r < 8; ++r) {
        add("inc", kReg8[r], {0x04 + 8 * r});
        add("dec", kReg8[r], {0x05 + 8 * r});
    }
    for (const Index &x : kIndex) {
        const int p = x.prefix;
        add("inc", x.name, {p, 0x23});
        add("dec", x.name, {p, 0x2B});
        add("inc", x.high, {p, 0x24});
        add("dec", x.high, {p, 0x25});
        add("inc", x.low, {p, 0x2C});
        add("dec", x.low, {p, 0x2D});
        add("inc", x.memory, {p, 0x34, 0}, {F::Displacement, 0, 2});
        add("dec", x.memory, {p, 0x35, 0}, {F::Displacement, 0, 2});
        add("push", x.name, {p, 0xE5});
        add("pop", x.name, {p, 0xE1});
        add("ex", "(sp)," + x.name, {p, 0xE3});
        add("jp", "(" + x.name + ")", {p, 0xE9});
    }
}

// The CB group. Through (ix+d) the result may also be copied to a register:
// spasm-ng writes "rl b,(ix+d)" and "res b,0,(ix+d)", other assemblers put
// the register last; both are read.
void Table::shifts() {
    for (int k = 0; k < 8; ++k) {
        for (const std::string &m : {std::string(kRotation[k]), std::string(k == 6 ? "sl1" : "")}) {
            if (m.empty())
                continue;
            for (int r = 0; r < 8; ++r)
                add(m, kReg8[r], {0xCB, 8 * k + r});
            for (const Index &x : kIndex) {
                add(m, x.memory, {x.prefix, 0xCB, 0, 8 * k + 6}, {F::Displacement, 0, 2});
                for (int r = 0; r < 8; ++r) {
                    if (r == 6)
                        continue;
                    const int op = 8 * k + r;
                    add(m, kReg8[r] + ("," + x.memory), {x.prefix, 0xCB, 0, op},
                        {F::Displacement, 1, 2});
                    add(m, x.memory + "," + kReg8[r], {x.prefix, 0xCB, 0, op},
                        {F::Displacement, 0, 2});
                }
            }
        }
    }
    const char *const bitName[3] = {"bit", "res", "set"};
    for (int g = 0; g < 3; ++g) {
        const std::string m = bitName[g];
        const int base = 0x40 * (g + 1);
        for (int r = 0; r < 8; ++r)
            add(m, std::string("n,") + kReg8[r], {0xCB, base + r}, {F::Bit, 0, 1});
        for (const Index &x : kIndex) {
            add(m, "n," + x.memory, {x.prefix, 0xCB, 0, base + 6}, {F::Bit, 0, 3},
                {F::Displacement, 1, 2});
            for (int r = 0; r < 8 && g > 0; ++r) {
                if (r == 6)
                    continue;
                add(m, kReg8[r] + (",n," + x.memory), {x.prefix, 0xCB, 0, base + r}, {F::Bit, 1, 3},
                    {F::Displacement, 2, 2});
                add(m, "n," + x.memory + "," + kReg8[r], {x.prefix, 0xCB, 0, base + r},
                    {F::Bit, 0, 3}, {F::Displacement, 1, 2});
            }
        }
    }
}

void Table::jumps() {
    add("jp", "n", {0xC3, 0, 0}, {F::Word, 0, 1});
    add("jp", "(hl)", {0xE9});
    add("call", "n", {0xCD, 0, 0}, {F::Word, 0, 1});
    add("ret", "", {0xC9});
    add("jr", "n", {0x18, 0}, {F::Relative, 0, 1});
    add("djnz", "n", {0x10, 0}, {F::Relative, 0, 1});
    for (int k = 0; k < 8; ++k) {
        const std::string c = kCondition[k];
        add("jp", c + ",n", {0xC2 + 8 * k, 0, 0}, {F::Word, 1, 1});
        add("call", c + ",n", {0xC4 + 8 * k, 0, 0}, {F::Word, 1, 1});
        add("ret", c, {0xC0 + 8 * k});
        if (k < 4)
            add("jr", c + ",n", {0x20 + 8 * k, 0}, {F::Relative, 1, 1});
    }
    add("rst", "n", {0xC7}, {F::Restart, 0, 0});
}

void Table::rest() {
    add("ex", "af,af'", {0x08});
    add("ex", "de,hl", {0xEB});
    add("ex", "(sp),hl", {0xE3});
    add("im", "n", {0xED, 0x46}, {F::InterruptMode, 0, 1});
    add("in", "a,(n)", {0xDB, 0}, {F::Byte, 1, 1});
    add("out", "(n),a", {0xD3, 0}, {F::Byte, 0, 1});
    for (int r = 0; r < 8; ++r) {
        if (r == 6)
            continue;
        add("in", std::string(kReg8[r]) + ",(c)", {0xED, 0x40 + 8 * r});
        add("out", std::string("(c),") + kReg8[r], {0xED, 0x41 + 8 * r});
    }
    add("in", "f,(c)", {0xED, 0x70});
    add("in", "(c)", {0xED, 0x70});
    add("out", "(c),n", {0xED, 0x71}, {F::Zero, 1, 0});

    struct Plain {
        const char *mnemonic;
        int first, second;
    };
    static const Plain plain[] = {
        {"nop", 0x00, -1},    {"halt", 0x76, -1},   {"di", 0xF3, -1},     {"ei", 0xFB, -1},
        {"rla", 0x17, -1},    {"rlca", 0x07, -1},   {"rra", 0x1F, -1},    {"rrca", 0x0F, -1},
        {"daa", 0x27, -1},    {"cpl", 0x2F, -1},    {"scf", 0x37, -1},    {"ccf", 0x3F, -1},
        {"exx", 0xD9, -1},    {"neg", 0xED, 0x44},  {"reti", 0xED, 0x4D}, {"retn", 0xED, 0x45},
        {"rld", 0xED, 0x6F},  {"rrd", 0xED, 0x67},  {"ldi", 0xED, 0xA0},  {"ldir", 0xED, 0xB0},
        {"ldd", 0xED, 0xA8},  {"lddr", 0xED, 0xB8}, {"cpi", 0xED, 0xA1},  {"cpir", 0xED, 0xB1},
        {"cpd", 0xED, 0xA9},  {"cpdr", 0xED, 0xB9}, {"ini", 0xED, 0xA2},  {"inir", 0xED, 0xB2},
        {"ind", 0xED, 0xAA},  {"indr", 0xED, 0xBA}, {"outi", 0xED, 0xA3}, {"otir", 0xED, 0xB3},
        {"outd", 0xED, 0xAB}, {"otdr", 0xED, 0xBB},
    };
    for (const Plain &p : plain) {
        if (p.second < 0)
            add(p.mnemonic, "", {p.first});
        else
            add(p.mnemonic, "", {p.first, p.second});
    }
}

const Table &table() {
    static const Table t;
    return t;
}

} // namespace

const Form *find(std::string_view key) {
    const auto &forms = table().forms;
    auto it = forms.find(std::string(key));
    return it == forms.end() ? nullptr : &it->second;
}

bool known(std::string_view mnemonic) {
    return table().mnemonics.count(std::string(mnemonic)) != 0;
}

bool takesOperands(std::string_view mnemonic) {
    auto it = table().mnemonics.find(std::string(mnemonic));
    return it != table().mnemonics.end() && it->second;
}

} // namespace z80::forms
