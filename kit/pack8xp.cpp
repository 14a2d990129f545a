// pack8xp BINARY OUTPUT NAME: wraps an assembled program into a TI-83 Plus
// program file.
// pack8xp --to STEM [--keys DIR] [--source SRC] BINARY NAME: writes what
// the binary is:
// an application (it begins with the header's 80 0Fh) into STEM.8xk, signed
// when DIR holds the key its header names (0104.key), else a program into
// STEM.8xp; with --source SRC whose first lines say "; variable: TYPE [NAME]
// [archived]", that variable into STEM and its type's extension (.8xv for
// an application variable). The sentence that ends the build's summary
// line (signed with which key, or why not and what that means; which
// variable was written) goes to standard output.
// pack8xp --check FILE.8xk --keys DIR: checks an application's signature
// with the key its header names (only the key's first line, n, is needed);
// exit 0 when the calculator would accept it, 1 with the reason otherwise.
// Warnings and errors go to standard error; exit 1 on an error.

#include "appheader.h"
#include "appsign.h"
#include "filewrite.h"
#include "packer.h"
#include "z80/flashfile.h"
#include "z80/source.h"
#include "z80/variableform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

namespace {

// Key files are a few hundred bytes; anything larger is not one.
constexpr std::size_t kMaxKeyFile = 64 * 1024;

int fail(const std::string &error) {
    std::cerr << "error: " << error << "\n";
    return 1;
}

bool write(const std::string &path, const std::string &bytes) {
    std::string error;
    if (kit::writeFileWhole(path, bytes, &error))
        return true;
    fail(error);
    return false;
}

// The key file KEYID.key in `folder` (in either letter case), or "".
std::string findKey(z80::FileReader &reader, const std::string &folder, const std::string &id) {
    std::string lower;
    for (char c : id)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string &name : {id + ".key", lower + ".key", id + ".KEY", lower + ".KEY"}) {
        const std::string path = z80::joinPath(folder, name);
        if (reader.exists(path))
            return path;
    }
    return "";
}

int packApplication(const std::vector<std::uint8_t> &binary, const std::string &stem,
                    const std::string &keys) {
    kit::PreparedApp app = kit::prepareApplication(binary);
    for (const std::string &w : app.warnings)
        std::cerr << "warning: " << w << "\n";
    if (!app.error.empty())
        return fail(app.error);
    std::vector<std::uint8_t> data = app.bytes;
    std::string tail;
    z80::DiskReader reader;
    const std::string keyPath = keys.empty() ? "" : findKey(reader, keys, app.keyId);
    if (keyPath.empty()) {
        tail = " Not signed: " +
               (keys.empty() ? std::string("no key folder was given")
                             : "no " + app.keyId + ".key in " + keys) +
               ". Emulators run it as it is; a calculator refuses to install an unsigned "
               "application.";
    } else {
        const z80::ReadResult k = reader.read(keyPath);
        if (!k.error.empty())
            return fail("cannot read the signing key " + keyPath + ": " + k.error);
        if (k.text.size() > kMaxKeyFile)
            return fail(keyPath + " is no signing key: it is larger than 64 KiB");
        std::string why;
        const auto key = kit::readKey(k.text, &why);
        if (!key)
            return fail(keyPath + " is no signing key of the TI-83 Plus: " + why);
        const std::vector<std::uint8_t> sig = kit::signApplication(data, *key, &why);
        if (sig.empty())
            return fail("cannot sign with " + keyPath + ": " + why);
        if (!kit::verifyApplication(data, sig, key->n, &why))
            return fail("the signature made with " + keyPath + " does not verify: " + why);
        data.insert(data.end(), sig.begin(), sig.end());
        // FFh after it, up to 96 bytes, never into another page.
        const std::size_t pageEnd = std::size_t(app.pages) * kit::kAppPage;
        const std::size_t area = app.bytes.size() + kit::kSignatureArea;
        while (data.size() < area && data.size() < pageEnd)
            data.push_back(0xFF);
        tail = " Signed with " + keyPath + ".";
    }
    if (!write(stem + ".8xk", z80::flashFile(data, app.name)))
        return 1;
    std::cout << tail << "\n";
    return 0;
}

int check(const std::string &path, const std::string &keys) {
    z80::DiskReader reader;
    const z80::ReadResult in = reader.read(path);
    if (!in.error.empty())
        return fail("cannot read " + path + ": " + in.error);
    std::string name, why;
    const auto data = z80::readFlashFile(in.text, &name, &why);
    if (!data)
        return fail(path + " is no application file: " + why);
    const auto length = kit::statedLength(*data);
    if (!length || *length > data->size())
        return fail(path + ": the application's length field does not fit its bytes");
    const std::vector<std::uint8_t> app(data->begin(), data->begin() + std::ptrdiff_t(*length));
    const kit::PreparedApp header = kit::prepareApplication(app);
    if (header.keyId.empty())
        return fail(path + ": " + header.error);
    const std::string keyPath = findKey(reader, keys, header.keyId);
    if (keyPath.empty())
        return fail("no " + header.keyId + ".key in " + keys + " to check " + path + " with");
    const z80::ReadResult k = reader.read(keyPath);
    if (!k.error.empty() || k.text.size() > kMaxKeyFile)
        return fail("cannot read the key " + keyPath);
    // The public part is enough: the first line, n.
    const auto n = kit::readModulus(k.text);
    if (!n)
        return fail(keyPath + " holds no key: its first line is not a number in the key format");
    const std::vector<std::uint8_t> sig(data->begin() + std::ptrdiff_t(*length), data->end());
    if (!kit::verifyApplication(app, sig, *n, &why)) {
        std::cout << path << ": not valid: " << why << "\n";
        return 1;
    }
    std::cout << path << ": signed with the key " << header.keyId << ", valid\n";
    return 0;
}

int packDeclared(const std::vector<std::uint8_t> &binary, const std::string &stem,
                 const z80::VariableForm &form, const std::string &fileName) {
    std::string error;
    const std::vector<std::uint8_t> name = z80::variableName(form, fileName, &error);
    if (name.empty())
        return fail(error);
    std::uint8_t bytes[8] = {};
    std::copy(name.begin(), name.end(), bytes);
    const PackResult r = packVariable(binary, bytes, form.type, form.archived, form.sized);
    if (!r.error.empty())
        return fail(r.error);
    const std::string path = stem + "." + form.extension;
    if (!write(path, std::string(r.file.begin(), r.file.end())))
        return 1;
    std::string shown = form.name;
    if (form.type == 0x05 || form.type == 0x06 || form.type == 0x15)
        shown.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    std::cout << " Written as the " << form.description << " " << shown
              << (form.archived ? ", archived," : "") << " into "
              << path.substr(path.rfind('/') + 1) << ".\n";
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string stem, keys, source, checked;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--to" && i + 1 < argc)
            stem = argv[++i];
        else if (a == "--keys" && i + 1 < argc)
            keys = argv[++i];
        else if (a == "--source" && i + 1 < argc)
            source = argv[++i];
        else if (a == "--check" && i + 1 < argc)
            checked = argv[++i];
        else
            rest.push_back(a);
    }
    if (!checked.empty() && !keys.empty() && rest.empty())
        return check(checked, keys);
    if (stem.empty() ? rest.size() != 3 : rest.size() != 2) {
        std::cerr << "usage: pack8xp BINARY OUTPUT NAME\n"
                     "       pack8xp --to STEM [--keys DIR] [--source SRC] BINARY NAME\n"
                     "       pack8xp --check FILE.8xk --keys DIR\n";
        return 2;
    }
    // The assembler's own reader: regular files only, never waiting on a FIFO.
    z80::DiskReader reader;
    const z80::ReadResult in = reader.read(rest[0]);
    if (!in.error.empty())
        return fail("cannot read " + rest[0] + ": " + in.error);
    const std::vector<std::uint8_t> binary(in.text.begin(), in.text.end());
    const std::string name = rest.back();
    if (!stem.empty() && !source.empty()) {
        const z80::ReadResult text = reader.read(source);
        if (!text.error.empty())
            return fail("cannot read " + source + ": " + text.error);
        std::string why;
        const auto form = z80::variableComment(text.text, &why);
        if (!why.empty())
            return fail(why);
        if (form)
            return packDeclared(binary, stem, *form, name);
    }
    if (!stem.empty() && binary.size() >= 2 && binary[0] == 0x80 && binary[1] == 0x0F)
        return packApplication(binary, stem, keys);
    const PackResult r = pack8xp(binary, name);
    for (const std::string &w : r.warnings)
        std::cerr << "warning: " << w << "\n";
    if (!r.error.empty())
        return fail(r.error);
    const std::string output = stem.empty() ? rest[1] : stem + ".8xp";
    return write(output, std::string(r.file.begin(), r.file.end())) ? 0 : 1;
}
