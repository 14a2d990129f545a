// An application file, a key file and an application's bytes as the packer
// reads them: any input is read back or refused with a reason, never past
// its end; what the packer writes reads back to the same bytes; a header it
// accepts states the length it has.

#include "appheader.h"
#include "appsign.h"
#include "z80/flashfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::string name, error;
    if (!z80::readFlashFile(text, &name, &error) && error.empty())
        std::abort();
    error.clear();
    if (!kit::readKey(text, &error) && error.empty())
        std::abort();
    const auto back = z80::readFlashFile(z80::flashFile(bytes, "Fuzz"), &name, &error);
    if (!back || *back != bytes || name != "Fuzz")
        std::abort();
    const kit::PreparedApp app = kit::prepareApplication(bytes);
    if (app.error.empty() && kit::statedLength(app.bytes) != app.bytes.size())
        std::abort();
    return 0;
}
