#pragma once
// The tests language: a NAME.tests file beside NAME.z80, read line by line.
// `;` starts a comment; a test starts with `test "NAME"` and holds `set`
// lines, one `call LABEL [with REG=EXPR, ...]` or `run [keys K,K,...]`, and
// the expectations. Expressions are the assembler's, computed with the
// program's labels when the test runs. Every bad line is reported with its
// file:line; the file's size, its lines and its tests are bounded.

#include "z80/expr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace check {

constexpr std::uint64_t kDefaultBound = 10000000;  // T-states a test may run
constexpr std::uint64_t kMaxBound = 6000000000ull; // a bound may be raised to 1000 s
constexpr std::size_t kMaxTestsFileSize = 4 << 20; // bytes
constexpr std::size_t kMaxTestLineLength = 4096;   // characters
constexpr std::size_t kMaxTests = 10000;           // in one file
constexpr std::size_t kMaxKeys = 1000;             // in one `run keys`
constexpr std::size_t kMaxItems = 256;             // items on one line
constexpr std::size_t kMaxErrors = 100;            // reported for one file

using Expression = std::shared_ptr<const z80::Expr>;

// One `REG=V`, `(EXPR)=V`, `{EXPR}=V` or `(EXPR)="text"`.
struct Item {
    enum class Kind { Register, Flag, Byte, Word, Text };
    Kind kind = Kind::Register;
    int line = 0;
    std::string name;   // the register or flag in lower case; for memory, the address as written
    Expression address; // Byte, Word, Text
    Expression value;   // all but Text
    std::string text;   // Text
};

struct Expectation {
    enum class Kind { Item, Keeps, Cycles, Calls, Row, Screen, Buffer, Returned, Stops };
    Kind kind = Kind::Item;
    int line = 0;
    Item item;                     // Item
    std::vector<std::string> regs; // Keeps, lower case
    std::uint64_t count = 0;       // Cycles: at most; Row: the row
    std::string name;              // Calls: the call; Screen, Buffer: the file; Stops: the words
    std::string text;              // Row: the text
    Expression address;            // Buffer: where the 768 bytes are
    std::string addressText;       // Buffer: as written
};

struct Test {
    std::string name;
    int line = 0;
    enum class Action { None, Call, Run } action = Action::None;
    int actionLine = 0;
    Expression target;      // Call
    std::string targetText; // Call: as written
    std::vector<Item> with; // Call: the registers given
    std::vector<int> keys;  // Run: scan codes
    std::vector<Item> sets;
    std::vector<Expectation> expectations;
    std::uint64_t bound = kDefaultBound;
};

struct TestsFile {
    std::string path; // as the user named it
    std::vector<Test> tests;
    std::vector<std::string> errors; // "file:line: error: ..."
    bool ok() const { return errors.empty(); }
};

TestsFile parseTests(const std::string &path, std::string_view text);

// The registers and flags tests name: a, f, b, ... af, bc, de, hl, ix, iy,
// sp, pc, ixh, ... and cf, zf, sf, pf (vf), hf, nf.
bool isRegister(const std::string &lowerName);
bool isFlag(const std::string &lowerName);
// An expression read by the assembler's parser; nothing, and *error, when the text is not one.
Expression parseValue(std::string_view text, std::string *error);

} // namespace check
