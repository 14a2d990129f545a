#include "ui/gifwriter.h"

#include <QFile>

#include <algorithm>

namespace {

void word(QByteArray &out, int v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

// LZW codes of 3 bits for a 2-bit minimum code size: 0 and 1 the colours, 4
// clear, 5 end. After a clear the decoder adds a table entry from the second
// code on (6, 7...) and widens its codes once the next entry would be 8; a
// clear before every second pixel keeps every code 3 bits wide.
QByteArray lzw(const QImage &image) {
    QByteArray bits;
    std::uint32_t buffer = 0;
    int filled = 0;
    const auto put = [&](int code) {
        buffer |= std::uint32_t(code) << filled;
        filled += 3;
        while (filled >= 8) {
            bits.append(char(buffer & 0xFF));
            buffer >>= 8;
            filled -= 8;
        }
    };
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (n++ % 2 == 0)
                put(4);
            put(qGray(image.pixel(x, y)) < 128 ? 1 : 0);
        }
    put(5);
    if (filled > 0)
        bits.append(char(buffer & 0xFF));
    QByteArray out;
    out.append(char(2)); // the minimum code size
    for (int at = 0; at < bits.size(); at += 255) {
        const int len = std::min(255, int(bits.size()) - at);
        out.append(char(len));
        out.append(bits.mid(at, len));
    }
    out.append(char(0));
    return out;
}

} // namespace

bool GifRecording::add(const QImage &frame, int centiseconds) {
    if (full())
        return false;
    m_frames.push_back({frame, std::max(2, centiseconds)});
    return true;
}

void GifRecording::setLastDuration(int centiseconds) {
    if (!m_frames.empty())
        m_frames.back().centiseconds = std::max(2, std::min(centiseconds, 65535));
}

QByteArray GifRecording::encode() const {
    QByteArray out("GIF89a");
    const int w = m_frames.empty() ? 96 : m_frames.front().image.width();
    const int h = m_frames.empty() ? 64 : m_frames.front().image.height();
    word(out, w);
    word(out, h);
    out.append(char(0x80)); // a global palette of 2 colours, 1 bit
    out.append(char(0));
    out.append(char(0));
    out.append("\xFF\xFF\xFF\x00\x00\x00", 6);                     // 0 white, 1 black
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop for ever
    for (const Frame &f : m_frames) {
        out.append("\x21\xF9\x04\x00", 4);
        word(out, std::min(f.centiseconds, 65535));
        out.append("\x00\x00", 2);
        out.append(char(0x2C));
        word(out, 0);
        word(out, 0);
        word(out, f.image.width());
        word(out, f.image.height());
        out.append(char(0));
        out.append(lzw(f.image));
    }
    out.append(char(0x3B));
    return out;
}

bool GifRecording::save(const QString &file) const {
    QFile f(file);
    const QByteArray bytes = encode();
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
