// Any bytes decode and encode back to themselves, through both text forms;
// any UTF-8 the editor could hold either encodes and decodes back, or is refused.

#include "platform/codepage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray back;
    if (!cp1252::encode(cp1252::decode(bytes), &back) || back != bytes)
        std::abort();
    const QByteArray utf8 = cp1252::decodeToUtf8(bytes);
    if (!cp1252::encodeFromUtf8(utf8.constData(), utf8.size(), &back) || back != bytes)
        std::abort();
    cp1252::Unmappable where;
    if (cp1252::encodeFromUtf8(bytes.constData(), bytes.size(), &back, &where)) {
        if (cp1252::decodeToUtf8(back) != bytes)
            std::abort();
    } else if (where.line < 1 || where.column < 1) {
        std::abort();
    }
    return 0;
}
