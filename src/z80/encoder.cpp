// Finds the form by the operands' shapes, then puts each value in its field,
// judging it first when the values are final.
#include "encoder.h"

#include "encoder_table.h"
#include "vocabulary.h"

#include <cstdio>

namespace z80 {
namespace {

using forms::Field;

bool isIndex(const std::string &name) {
    return name == "ix" || name == "iy";
}

// The operand as the table knows it. (ix) is (ix+0), except in jp (ix).
std::string shape(const Operand &op, const std::string &mnemonic) {
    const std::string name = lower(op.name);
    switch (op.kind) {
    case Operand::Kind::Register:
        return name;
    case Operand::Kind::Indirect:
        if (isIndex(name) && mnemonic != "jp")
            return "(" + name + "+d)";
        return "(" + name + ")";
    case Operand::Kind::Indexed:
        return "(" + name + "+d)";
    case Operand::Kind::Immediate:
        return "n";
    case Operand::Kind::Memory:
        return "(n)";
    }
    return "";
}

std::string hex16(std::int64_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04Xh", unsigned(v & 0xFFFF));
    return buf;
}

std::string noForm(const std::string &mnemonic, const std::string &key) {
    if (key == mnemonic)
        return mnemonic + " needs operands";
    if (!forms::takesOperands(mnemonic))
        return mnemonic + " takes no operands";
    return mnemonic + " has no form " + key.substr(mnemonic.size() + 1);
}

// Why `v` does not fit `field`, or "" when it does.
std::string misfit(Field field, std::int64_t v, std::int64_t from, bool paged) {
    const std::string n = std::to_string(v);
    switch (field) {
    case Field::Byte:
    case Field::Word: {
        bool cut = false;
        return widthMisfit(v, field == Field::Byte ? 1 : 2, &cut, false, paged);
    }
    case Field::Relative: {
        const std::int64_t distance = (v & 0xFFFF) - from;
        if (distance < -128 || distance > 127)
            return "relative jump to " + hex16(v) + " is out of reach (-128 to 127 bytes from " +
                   hex16(from) + ")";
        break;
    }
    case Field::Displacement:
        if (v < -128 || v > 127)
            return "index displacement " + n + " does not fit (-128 to 127)";
        break;
    case Field::Bit:
        if (v < 0 || v > 7)
            return "bit number " + n + " is not 0 to 7";
        break;
    case Field::Restart:
        if (v < 0 || v > 0x38 || v % 8 != 0)
            return "rst " + n + " is not one of 0, 8h, 10h, 18h, 20h, 28h, 30h, 38h";
        break;
    case Field::InterruptMode:
        if (v < 0 || v > 2)
            return "im " + n + ": the interrupt mode is 0, 1 or 2";
        break;
    case Field::Zero:
        if (v != 0)
            return "out (c)," + n + ": the only number out (c) can send is 0";
        break;
    case Field::None:
        break;
    }
    return "";
}

void store(Field field, std::int64_t v, std::int64_t from, std::uint8_t *at) {
    switch (field) {
    case Field::Byte:
    case Field::Displacement:
        at[0] = std::uint8_t(v);
        break;
    case Field::Word:
        at[0] = std::uint8_t(v);
        at[1] = std::uint8_t(v >> 8);
        break;
    case Field::Relative:
        at[0] = std::uint8_t((v & 0xFFFF) - from);
        break;
    case Field::Bit:
        at[0] |= std::uint8_t((v & 7) << 3);
        break;
    case Field::Restart:
        at[0] |= std::uint8_t(v & 0x38);
        break;
    case Field::InterruptMode:
        at[0] = v == 1 ? 0x56 : v == 2 ? 0x5E : 0x46;
        break;
    case Field::Zero:
    case Field::None:
        break;
    }
}

} // namespace

Encoding encode(std::string_view mnemonic, const std::vector<Operand> &operands, std::uint32_t pc,
                bool checkRanges, bool paged) {
    Encoding result;
    const std::string m = lower(mnemonic);
    if (!forms::known(m)) {
        result.error = "'" + std::string(mnemonic) + "' is not an instruction";
        return result;
    }
    std::string key = m;
    for (size_t i = 0; i < operands.size(); ++i)
        key += (i ? "," : " ") + shape(operands[i], m);
    const forms::Form *form = forms::find(key);
    if (!form) {
        result.error = noForm(m, key);
        return result;
    }
    result.bytes.assign(form->bytes, form->bytes + form->size);
    const std::int64_t end = (std::int64_t(pc) + form->size) & 0xFFFF;
    for (const forms::Slot &slot : form->slots) {
        if (slot.field == Field::None)
            continue;
        const Operand &op = operands[slot.operand];
        const std::int64_t v = op.kind == Operand::Kind::Indirect ? 0 : op.value;
        if (checkRanges && result.error.empty()) {
            bool cut = false;
            std::string why = slot.field == Field::Byte ? widthMisfit(v, 1, &cut, false, paged)
                              : slot.field == Field::Word && cutToLowWord(v)
                                  ? widthMisfit(v, 2, &cut)
                                  : misfit(slot.field, v, end, paged);
            (cut ? result.warning : result.error) = std::move(why);
        }
        store(slot.field, v, end, &result.bytes[slot.at]);
    }
    return result;
}

std::string widthMisfit(std::int64_t v, int bytes, bool *cut, bool anyByte, bool paged) {
    *cut = false;
    if (bytes == 2 && paged && v > 0xFFFF && v <= 0xFFFFFF)
        return {};
    const std::string n = std::to_string(v);
    if (bytes == 1 && (v < -128 || v > 255)) {
        // In an application, label>>8 holds the label's page above its high byte.
        if (!cutToLowByte(v) && !anyByte && !(paged && v >= 0 && v <= 0xFFFF))
            return "value " + n + " does not fit in 8 bits (-128 to 255)";
        *cut = true;
        return "value " + n + " does not fit in 8 bits (-128 to 255); its low byte " +
               std::to_string(v & 0xFF) + " is used, as spasm-ng uses it";
    }
    if (bytes == 2 && cutToLowWord(v)) {
        *cut = true;
        return "value " + n + " does not fit in 16 bits (-32768 to 65535); its low 16 bits " +
               std::to_string(v & 0xFFFF) + " are used, as spasm-ng and Brass use them";
    }
    if (bytes == 2 && (v < -32768 || v > 65535))
        return "value " + n + " does not fit in 16 bits (-32768 to 65535)";
    return {};
}

bool isMnemonic(std::string_view word) {
    return forms::known(lower(word));
}

} // namespace z80
