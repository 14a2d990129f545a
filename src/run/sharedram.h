#pragma once
// A snapshot's RAM in pieces, each shared with the snapshot before it while
// unchanged. Between two snapshots a program writes a few pieces (its stack,
// the screen's buffer, its variables), so a history of 10 s of the TI-84
// Plus's 128 KB holds most pieces once rather than some 1,200 times.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace run {

class SharedRam {
public:
    static constexpr std::size_t kPiece = 1024;

    SharedRam() = default;
    // `bytes` in pieces, those equal to `before`'s piece at the same place
    // shared with it (`before` may be null or of another size).
    SharedRam(const std::vector<std::uint8_t> &bytes, const SharedRam *before);

    std::vector<std::uint8_t> bytes() const;
    // Memory the pieces made anew for this one took.
    std::size_t fresh() const { return m_fresh; }
    // Memory dropping it now would give back: what it holds that no other
    // SharedRam shares.
    std::size_t own() const;

private:
    using Piece = std::array<std::uint8_t, kPiece>;
    std::vector<std::shared_ptr<const Piece>> m_pieces;
    std::size_t m_size = 0, m_fresh = 0;
};

} // namespace run
