#pragma once
// An animated GIF of the calculator's screen: black-and-white frames of one
// size, each shown for its own time (GIF89a: a global palette of two colours,
// the NETSCAPE2.0 block for looping, a graphic control block per frame). The
// pixels are coded as LZW literals with a clear code before every second,
// which any decoder reads and which keeps the writer small; a 96x64 frame
// takes some 3.5 KB. At most kMaxFrames frames are kept: a recording is bounded.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

class GifRecording {
public:
    static constexpr int kMaxFrames = 3000;

    // Adds a frame shown from now for `centiseconds` (at least 2, as viewers
    // show shorter ones slower); false once the recording is full.
    bool add(const QImage &frame, int centiseconds);
    int frames() const { return int(m_frames.size()); }
    bool full() const { return frames() >= kMaxFrames; }
    // Sets how long the last frame stays.
    void setLastDuration(int centiseconds);
    QByteArray encode() const;
    bool save(const QString &file) const;

private:
    struct Frame {
        QImage image;
        int centiseconds;
    };
    std::vector<Frame> m_frames;
};
