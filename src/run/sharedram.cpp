#include "run/sharedram.h"

#include <algorithm>
#include <cstring>

namespace run {

namespace {
// A piece's own cost besides its bytes: the shared pointer's control block.
constexpr std::size_t kPieceOverhead = 32;
} // namespace

SharedRam::SharedRam(const std::vector<std::uint8_t> &bytes, const SharedRam *before)
    : m_size(bytes.size()) {
    const std::size_t count = (bytes.size() + kPiece - 1) / kPiece;
    const bool comparable = before && before->m_size == m_size;
    m_pieces.reserve(count);
    m_fresh = count * sizeof(m_pieces[0]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t *from = bytes.data() + i * kPiece;
        const std::size_t n = std::min(kPiece, bytes.size() - i * kPiece);
        if (comparable && std::memcmp(before->m_pieces[i]->data(), from, n) == 0) {
            m_pieces.push_back(before->m_pieces[i]);
            continue;
        }
        auto piece = std::make_shared<Piece>();
        std::memcpy(piece->data(), from, n);
        m_pieces.push_back(std::move(piece));
        m_fresh += kPiece + kPieceOverhead;
    }
}

std::vector<std::uint8_t> SharedRam::bytes() const {
    std::vector<std::uint8_t> out(m_size);
    for (std::size_t i = 0; i < m_pieces.size(); ++i)
        std::memcpy(out.data() + i * kPiece, m_pieces[i]->data(),
                    std::min(kPiece, m_size - i * kPiece));
    return out;
}

std::size_t SharedRam::own() const {
    std::size_t n = m_pieces.size() * sizeof(m_pieces[0]);
    for (const auto &p : m_pieces)
        if (p.use_count() == 1)
            n += kPiece + kPieceOverhead;
    return n;
}

} // namespace run
