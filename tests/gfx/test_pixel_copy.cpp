// The word-at-a-time pixel copies against memcpy/memmove, byte for byte: every pairing of source and
// destination alignment, every length up to a few unrolled passes, overlapping moves either way.
// The source is its own allocation of exactly the bytes copied, so that a read past either end is
// caught by the sanitizer build; guard bytes around the destination catch stray writes.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "gfx/pixel_copy.h"

namespace {

constexpr size_t kMaxPixels = 70;
constexpr size_t kGuard = 8;

void fillPattern(uint8_t *p, size_t bytes, uint32_t seed) {
    for (size_t i = 0; i < bytes; i++) p[i] = (uint8_t)(seed * 131 + i * 7 + (i >> 3));
}

} // namespace

TEST(PixelCopy, EveryAlignmentAndLengthMatchesMemcpy) {
    for (size_t srcOff = 0; srcOff < 4; srcOff++)
        for (size_t dstOff = 0; dstOff < 4; dstOff++)
            for (size_t n = 0; n <= kMaxPixels; n++) {
                // The block placed srcOff bytes into an allocation (aligned by new) that ends with it.
                std::unique_ptr<uint8_t[]> srcStore(new uint8_t[srcOff + 2 * n]);
                uint8_t *src = srcStore.get() + srcOff;
                fillPattern(src, 2 * n, (uint32_t)(n + srcOff));
                std::vector<uint32_t> dstStore((kGuard * 2 + dstOff + 2 * kMaxPixels) / 4 + 1);
                uint8_t *base = (uint8_t *)dstStore.data();
                memset(base, 0xA5, dstStore.size() * 4);
                std::vector<uint8_t> want(base, base + dstStore.size() * 4);
                memcpy(want.data() + kGuard + dstOff, src, 2 * n);
                GUI__CopyPixels16Words(base + kGuard + dstOff, src, n);
                ASSERT_EQ(0, memcmp(want.data(), base, want.size()))
                    << "src offset " << srcOff << " dst offset " << dstOff << " pixels " << n;
            }
}

TEST(PixelCopy, OverlappingMovesBothWaysMatchMemmove) {
    // Shifts in bytes from far below to far above, odd ones included (they take the memmove path).
    constexpr size_t kSpan = kGuard * 2 + 4 + 2 * kMaxPixels + 2 * 40;
    for (size_t srcOff = 0; srcOff < 4; srcOff++)
        for (int shift = -40; shift <= 40; shift++)
            for (size_t n = 0; n <= kMaxPixels; n++) {
                std::vector<uint32_t> store(kSpan / 4 + 1);
                uint8_t *base = (uint8_t *)store.data();
                fillPattern(base, store.size() * 4, (uint32_t)(n * 3 + srcOff));
                std::vector<uint8_t> want(base, base + store.size() * 4);
                size_t s = kGuard + 40 + srcOff, d = (size_t)((int)s + shift);
                memmove(want.data() + d, want.data() + s, 2 * n);
                GUI__MovePixels16Words(base + d, base + s, n);
                ASSERT_EQ(0, memcmp(want.data(), base, want.size()))
                    << "src offset " << srcOff << " shift " << shift << " pixels " << n;
            }
}

TEST(PixelCopy, MoveOfSeparateBlocksAndLongRows) {
    // A full 800-pixel row moved by one pixel each way, and onto a separate block, as a chart scrolls.
    for (int shift : {-2, 2, -4, 4, -1602, 1602}) {
        std::vector<uint16_t> row(3 * 800 + 8);
        for (size_t i = 0; i < row.size(); i++) row[i] = (uint16_t)(i * 40503u);
        std::vector<uint16_t> want = row;
        uint8_t *w = (uint8_t *)want.data(), *g = (uint8_t *)row.data();
        size_t s = 2 * 800 + 2;
        memmove(w + s + shift, w + s, 1600);
        GUI__MovePixels16Words(g + s + shift, g + s, 800);
        ASSERT_EQ(want, row) << "shift " << shift;
    }
}

#if GUI_WIDE_VECTORS
// The wide-vector paths of processors that have them: blocks of rows to rows of another pitch, and
// fills, against plain copies, with guard bytes around every row and after the last.
TEST(PixelCopyWide, RowsOfEveryWidthAndAlignmentMatchMemcpy) {
    if (!GUI__WideVectors()) GTEST_SKIP() << "no wide vectors on this processor";
    constexpr size_t kRows = 3, kPitch = 2 * kMaxPixels + 2 * kGuard + 8;
    for (size_t srcOff = 0; srcOff < 4; srcOff += 2)
        for (size_t dstOff = 0; dstOff < 4; dstOff += 2)
            for (size_t n = 1; n <= kMaxPixels; n++) {
                // Source rows packed back to back, the last ending its allocation.
                std::unique_ptr<uint8_t[]> srcStore(new uint8_t[srcOff + 2 * n * kRows]);
                uint8_t *src = srcStore.get() + srcOff;
                fillPattern(src, 2 * n * kRows, (uint32_t)(n + 7 * srcOff));
                std::vector<uint32_t> dstStore(kPitch * kRows / 4 + 1);
                uint8_t *base = (uint8_t *)dstStore.data();
                memset(base, 0xA5, dstStore.size() * 4);
                std::vector<uint8_t> want(base, base + dstStore.size() * 4);
                for (size_t r = 0; r < kRows; r++)
                    memcpy(want.data() + kGuard + dstOff + r * kPitch, src + r * 2 * n, 2 * n);
                GUI__CopyRows16Wide(base + kGuard + dstOff, kPitch, src, 2 * n, n, kRows);
                ASSERT_EQ(0, memcmp(want.data(), base, want.size()))
                    << "src offset " << srcOff << " dst offset " << dstOff << " pixels " << n;
            }
}

TEST(PixelCopyWide, FillsOfEveryLengthAndAlignment) {
    if (!GUI__WideVectors()) GTEST_SKIP() << "no wide vectors on this processor";
    const uint32_t pair = 0x1234ABCDu;
    for (size_t off = 0; off < 64; off += 4)
        for (size_t words = 0; words <= 100; words++) {
            std::vector<uint32_t> store((2 * kGuard + 64 + 4 * 100) / 4);
            uint8_t *base = (uint8_t *)store.data();
            memset(base, 0xA5, store.size() * 4);
            std::vector<uint8_t> want(base, base + store.size() * 4);
            for (size_t w = 0; w < words; w++) memcpy(want.data() + kGuard + off + 4 * w, &pair, 4);
            GUI__Fill32Wide(base + kGuard + off, 4 * words, pair);
            ASSERT_EQ(0, memcmp(want.data(), base, want.size())) << "offset " << off << " words " << words;
        }
}
#endif
