// JPEG decoding in bands. The markers are read first: tables, the frame, and for every scan its
// header, where its entropy-coded data begins and which Huffman table segments were in force. Then
// the image is produced one MCU row (a band) at a time: each scan decodes its part of the band into
// the band's coefficients and keeps its place (bit buffer, predictors, end-of-band run, restart
// count), so the next band resumes every scan where it stopped. A sequential image is read once; a
// progressive one is read once too, but with a seek per scan and band and its Huffman tables rebuilt
// per scan and band. The band is transformed into a small ring of component rows, which keeps the
// row above and below each band for the chroma filter, and the band before is converted and drawn.
// The common case, one sequential scan of every component, keeps no band of coefficients: each
// block is dequantised as it is decoded and transformed into the ring at once.
// Only the drawn columns keep coefficients; outside them a progressive image keeps a 64-bit mask of
// its non-zero coefficients per block, which is all its refinement scans ask of a block. When even
// that does not fit in the pool, the columns are drawn in strips, each a complete decode.
#include "gfx/jpeg_decode.h"

#include <string.h>

#include "gfx/gui_private.h"

namespace {

typedef GUI_ImageReader Reader;

enum : int32_t {
    MAX_COMPONENTS = 3,
    MAX_SCANS = 32,
    FAST_BITS = 9,
    COEF_LIMIT = 2047, // dequantised coefficients beyond this come only from damaged data
};

// The zig-zag order: natural position of the k-th coefficient, with spare entries so that a
// damaged run that steps past 63 lands in a harmless slot.
const uint8_t kZigzag[64 + 16] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
                                  63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

struct Huffman {
    uint16_t fast[1 << FAST_BITS]; // length << 8 | symbol for codes up to FAST_BITS long; 0: slower path
    int32_t maxcode[18];           // largest code of each length, -1 for none; [17] ends the search
    int32_t offset[17];            // index into values of the first code of a length, minus that code
    uint8_t values[256];
    // An AC table of a sequential image may have this too: for the next FAST_BITS bits, a whole
    // coefficient whose code and value bits both fit in them, as value << 16 | run << 8 | the bits
    // taken; 0 where none does.
    int32_t *whole;
};

struct Component {
    uint8_t id, h, v, tq;
    int32_t width, height;    // in samples
    int32_t blocksW, blocksH; // blocks holding samples (non-interleaved scans walk these)
    // The band: coefficients of the blocks of one MCU row from block column `firstBlock` on.
    int16_t *coef;
    int32_t coefBlocksW;
    int32_t firstBlock;
    uint32_t *mask; // progressive, outside the stored columns: non-zero coefficients, 2 words a block
    // The ring of sample rows: row r of the component lives at ring + (r % ringRows) * ringStride,
    // column c at [c - firstBlock * 8].
    uint8_t *ring;
    int32_t ringRows, ringStride;
};

struct ScanState {
    uint32_t offset; // next byte of the entropy-coded data
    uint32_t acc;
    int32_t bits;
    int32_t marker; // a marker met in the data; zeros are fed after it
    int32_t eobrun;
    int32_t dc[4];
    int32_t toRestart; // MCUs until the next restart marker; 0 without restarts
    int32_t nextRst;
    bool started;
};

struct Scan {
    uint8_t count;
    uint8_t comp[4]; // component indices
    uint8_t dcTable[4], acTable[4];
    uint8_t ss, se, ah, al;
    uint16_t restart;
    uint32_t dht[8]; // offsets of the table segments in force (DC 0..3, AC 4..7); 0: none
    uint32_t start;  // its entropy-coded data
    ScanState st;
};

struct Decoder {
    Reader rd;
    int32_t width, height;
    int32_t ncomp;
    bool progressive;
    bool rgb;   // Adobe transform 0
    bool fused; // one sequential scan of every component: blocks are transformed as they are decoded
    int32_t hmax, vmax;
    int32_t mcusX, mcusY, mcuW, mcuH;
    Component comp[MAX_COMPONENTS];
    uint16_t quant[4][64];
    int32_t qscaled[4][64]; // the tables the transform takes (see scaleQuant)
    int16_t qlimit[4][64];
    uint32_t dht[8];
    uint16_t restart;
    int32_t scanCount;
    Scan *scans;                           // in the pool
    Huffman *tables;                       // in the pool: DC and AC for each component of a scan
    uint32_t tableKey[2 * MAX_COMPONENTS]; // segment offset * 8 + slot of the table built there
};

uint32_t PoolUse;

struct PoolBlock {
    void *p;
    explicit PoolBlock(uint32_t size) : p(GUI_ALLOC_Alloc(size)) {}
    ~PoolBlock() { GUI_ALLOC_Free(p); }
};

int32_t rd16(Reader &rd) {
    int a = rd.byte(), b = rd.byte();
    return (a < 0 || b < 0) ? -1 : a << 8 | b;
}

// ---- markers ------------------------------------------------------------------------------------

bool readQuant(Decoder &d, int32_t len) {
    while (len > 0) {
        const int pq = d.rd.byte();
        if (pq < 0 || (pq & 15) > 3) return false;
        const bool wide = (pq >> 4) != 0;
        uint16_t *q = d.quant[pq & 15];
        for (int k = 0; k < 64; k++) {
            const int32_t v = wide ? rd16(d.rd) : d.rd.byte();
            if (v < 0) return false;
            q[kZigzag[k]] = (uint16_t)v;
        }
        len -= 1 + (wide ? 128 : 64);
    }
    return len == 0;
}

// Builds a table from its code-length counts and values (the canonical code assignment).
bool buildHuffman(Huffman *t, const uint8_t *counts, const uint8_t *values, int32_t total) {
    memset(t->fast, 0, sizeof t->fast);
    memcpy(t->values, values, (size_t)total);
    int32_t code = 0, k = 0;
    for (int32_t len = 1; len <= 16; len++) {
        t->offset[len] = k - code;
        if (counts[len - 1]) {
            for (int32_t i = 0; i < counts[len - 1]; i++, k++, code++) {
                if (code >= (1 << len)) return false; // more codes than the length holds
                if (len <= FAST_BITS) {
                    const int32_t shift = FAST_BITS - len;
                    for (int32_t f = code << shift; f < (code + 1) << shift; f++)
                        t->fast[f] = (uint16_t)(len << 8 | values[k]);
                }
            }
            t->maxcode[len] = code - 1;
        } else {
            t->maxcode[len] = -1;
        }
        code <<= 1;
    }
    t->maxcode[17] = 0x7FFFFFFF;
    if (t->whole) {
        for (int32_t f = 0; f < 1 << FAST_BITS; f++) {
            const int32_t e = t->fast[f], len = e >> 8, run = (e >> 4) & 15, size = e & 15;
            t->whole[f] = 0;
            if (e == 0 || size == 0 || len + size > FAST_BITS) continue;
            const int32_t v = (f >> (FAST_BITS - len - size)) & ((1 << size) - 1);
            const int32_t value = v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
            t->whole[f] = value * 65536 | run << 8 | (len + size);
        }
    }
    return true;
}

// Reads the DHT segment at `offset` (its length field) and builds table `slot` from it.
bool loadHuffman(Reader &rd, uint32_t offset, int32_t slot, Huffman *t) {
    rd.seek(offset);
    int32_t len = rd16(rd) - 2;
    while (len > 17) {
        const int tc = rd.byte();
        uint8_t counts[16], values[256];
        if (tc < 0 || !rd.read(counts, 16)) return false;
        int32_t total = 0;
        for (int i = 0; i < 16; i++) total += counts[i];
        if (total > 256 || !rd.read(values, (uint32_t)total)) return false;
        if ((tc >> 4) * 4 + (tc & 3) == slot && (tc & 15) < 4 && (tc >> 4) < 2)
            return buildHuffman(t, counts, values, total);
        len -= 17 + total;
    }
    return false;
}

// Notes which slots a DHT segment defines, checking its structure.
bool noteHuffman(Decoder &d, uint32_t segment, int32_t len) {
    while (len > 0) {
        const int tc = d.rd.byte();
        uint8_t counts[16];
        if (tc < 0 || (tc & 15) > 3 || (tc >> 4) > 1 || !d.rd.read(counts, 16)) return false;
        int32_t total = 0;
        for (int i = 0; i < 16; i++) total += counts[i];
        if (total > 256 || !d.rd.skip((uint32_t)total)) return false;
        d.dht[(tc >> 4) * 4 + (tc & 3)] = segment;
        len -= 17 + total;
    }
    return len == 0;
}

bool readFrame(Decoder &d, int32_t len, int marker) {
    const int precision = d.rd.byte();
    d.height = rd16(d.rd);
    d.width = rd16(d.rd);
    d.ncomp = d.rd.byte();
    if (precision != 8 || d.height <= 0 || d.width <= 0) return false;
    if ((d.ncomp != 1 && d.ncomp != 3) || len != 6 + 3 * d.ncomp) return false;
    d.progressive = marker == 0xC2;
    d.hmax = d.vmax = 1;
    for (int32_t i = 0; i < d.ncomp; i++) {
        Component &c = d.comp[i];
        c.id = (uint8_t)d.rd.byte();
        const int hv = d.rd.byte(), tq = d.rd.byte();
        if (hv < 0 || tq < 0 || tq > 3) return false;
        c.h = (uint8_t)(hv >> 4);
        c.v = (uint8_t)(hv & 15);
        c.tq = (uint8_t)tq;
        if (d.ncomp == 1) c.h = c.v = 1; // a lone component is never interleaved
        if (c.h < 1 || c.h > 2 || c.v < 1 || c.v > 2) return false;
        if (c.h > d.hmax) d.hmax = c.h;
        if (c.v > d.vmax) d.vmax = c.v;
    }
    d.mcuW = 8 * d.hmax;
    d.mcuH = 8 * d.vmax;
    d.mcusX = (d.width + d.mcuW - 1) / d.mcuW;
    d.mcusY = (d.height + d.mcuH - 1) / d.mcuH;
    for (int32_t i = 0; i < d.ncomp; i++) {
        Component &c = d.comp[i];
        c.width = (d.width * c.h + d.hmax - 1) / d.hmax;
        c.height = (d.height * c.v + d.vmax - 1) / d.vmax;
        c.blocksW = (c.width + 7) / 8;
        c.blocksH = (c.height + 7) / 8;
    }
    return !d.rd.failed;
}

bool readScanHeader(Decoder &d, int32_t len) {
    if (d.ncomp == 0 || d.scanCount >= MAX_SCANS) return false;
    Scan &s = d.scans[d.scanCount];
    memset(&s, 0, sizeof s);
    const int n = d.rd.byte();
    if (n < 1 || n > d.ncomp || len != 4 + 2 * n) return false;
    s.count = (uint8_t)n;
    for (int i = 0; i < n; i++) {
        const int id = d.rd.byte(), t = d.rd.byte();
        int32_t k = 0;
        while (k < d.ncomp && d.comp[k].id != id) k++;
        if (k == d.ncomp || t < 0 || (t >> 4) > 3 || (t & 15) > 3) return false;
        for (int j = 0; j < i; j++)
            if (s.comp[j] == k) return false;
        s.comp[i] = (uint8_t)k;
        s.dcTable[i] = (uint8_t)(t >> 4);
        s.acTable[i] = (uint8_t)(4 + (t & 15));
    }
    const int ss = d.rd.byte(), se = d.rd.byte(), a = d.rd.byte();
    if (a < 0) return false;
    s.ss = (uint8_t)ss;
    s.se = (uint8_t)se;
    s.ah = (uint8_t)(a >> 4);
    s.al = (uint8_t)(a & 15);
    if (d.progressive) {
        if (ss > se || se > 63 || s.al > 13 || (ss == 0 && se != 0) || (ss > 0 && n != 1)) return false;
    } else if (ss != 0 || se != 63 || a != 0) {
        return false;
    }
    s.restart = d.restart;
    memcpy(s.dht, d.dht, sizeof s.dht);
    for (int i = 0; i < n; i++) { // the tables this scan will use must exist
        if (s.ss == 0 && s.ah == 0 && !s.dht[s.dcTable[i]]) return false;
        if (s.se > 0 && !s.dht[s.acTable[i]]) return false;
    }
    s.start = s.st.offset = d.rd.tell();
    d.scanCount++;
    return true;
}

// Skips entropy-coded data up to the next marker that is not a restart; leaves the reader on it.
bool skipEntropyData(Reader &rd) {
    for (;;) {
        int b = rd.byte();
        if (b < 0) return false;
        if (b != 0xFF) continue;
        do b = rd.byte();
        while (b == 0xFF);
        if (b < 0) return false;
        if (b != 0 && (b < 0xD0 || b > 0xD7)) {
            rd.seek(rd.tell() - 2);
            return true;
        }
    }
}

// Reads the markers: all of them for a progressive or multi-scan image, else up to the first scan.
bool readMarkers(Decoder &d, bool headerOnly) {
    if (rd16(d.rd) != 0xFFD8) return false;
    bool frame = false;
    for (;;) {
        int b = d.rd.byte();
        if (b < 0) return d.scanCount > 0; // a missing EOI
        if (b != 0xFF) return d.scanCount > 0;
        int m;
        do m = d.rd.byte();
        while (m == 0xFF);
        if (m < 0) return d.scanCount > 0;
        if (m == 0xD9) return d.scanCount > 0;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;
        const uint32_t segment = d.rd.tell();
        const int32_t len = rd16(d.rd);
        if (len < 2) return false;
        const uint32_t next = segment + (uint32_t)len;
        switch (m) {
        case 0xDB:
            if (!readQuant(d, len - 2)) return false;
            break;
        case 0xC4:
            if (!noteHuffman(d, segment, len - 2)) return false;
            break;
        case 0xC0:
        case 0xC1:
        case 0xC2:
            if (frame || !readFrame(d, len - 2, m)) return false;
            frame = true;
            if (headerOnly) return true;
            break;
        case 0xDD: {
            const int32_t ri = rd16(d.rd);
            if (ri < 0) return false;
            d.restart = (uint16_t)ri;
            break;
        }
        case 0xEE: { // Adobe: the transform byte says RGB or YCbCr
            uint8_t a[12];
            if (len >= 14 && d.rd.read(a, 12) && memcmp(a, "Adobe", 5) == 0) d.rgb = a[11] == 0;
            break;
        }
        case 0xDA: {
            if (!frame || !readScanHeader(d, len - 2)) return false;
            const Scan &s = d.scans[d.scanCount - 1];
            // A sequential scan holding every component is the whole image: no need to look further.
            if (!d.progressive && s.count == d.ncomp && d.scanCount == 1) return true;
            if (!skipEntropyData(d.rd)) return true; // a truncated last scan still draws
            continue;
        }
        default:
            if ((m >= 0xC3 && m <= 0xCF) || m == 0xDE || m == 0xDF) return false; // other processes
            break;
        }
        if (d.rd.failed) return false;
        d.rd.seek(next);
    }
}

// ---- inverse transform ----------------------------------------------------------------------------

// The scaled transform of Arai, Agui and Nakajima: five multiplications per 8 points, with the
// remaining factors of each coefficient folded into its dequantisation table. Values carry QBITS
// fraction bits into the column pass and QBITS - PASS_SHIFT into the row pass; the two passes
// together scale by 8.
enum : int32_t {
    QBITS = 7,
    PASS_SHIFT = 3,
    OUT_SHIFT = QBITS - PASS_SHIFT + 3,
    MBITS = 8,            // fraction bits of the multipliers
    M_R2 = 362,           // sqrt(2)
    M_C2 = 473,           // 2 cos(pi / 8)
    M_C2MC6 = 277,        // 2 (cos(pi / 8) - cos(3 pi / 8))
    M_C2PC6 = 669,        // 2 (cos(pi / 8) + cos(3 pi / 8))
    WORK_LIMIT = 1 << 18, // column results beyond this come only from damaged data
};

// sqrt(2) cos(k pi / 16) for k > 0 and 1 for k = 0, scaled by 2^14.
const int32_t kAanScale[8] = {16384, 22725, 21407, 19266, 16384, 12873, 8867, 4520};

inline int32_t mulConst(int32_t v, int32_t m) {
    return (v * m) >> MBITS;
}

// The table a component's blocks are dequantised with: quantiser times the transform's factors,
// and the largest coefficient magnitude that keeps the product within what valid data makes.
void scaleQuant(const uint16_t *q, int32_t *scaled, int16_t *limit) {
    for (int32_t k = 0; k < 64; k++) {
        if (q[k] == 0 || q[k] > COEF_LIMIT) {
            scaled[k] = 0;
            limit[k] = 0;
            continue;
        }
        const uint64_t f = (uint64_t)q[k] * (uint32_t)kAanScale[k >> 3] * (uint32_t)kAanScale[k & 7];
        scaled[k] = (int32_t)((f + (1u << (27 - QBITS))) >> (28 - QBITS));
        limit[k] = (int16_t)(COEF_LIMIT / q[k]);
    }
}

// One 8-point transform of prescaled inputs into out[0..7] (strided by `step` in `in`).
#define AAN_1D(x0, x1, x2, x3, x4, x5, x6, x7, o0, o1, o2, o3, o4, o5, o6, o7)                               \
    do {                                                                                                     \
        const int32_t t10 = (x0) + (x4), t11 = (x0) - (x4), t13 = (x2) + (x6);                               \
        const int32_t t12 = mulConst((x2) - (x6), M_R2) - t13;                                               \
        const int32_t e0 = t10 + t13, e3 = t10 - t13, e1 = t11 + t12, e2 = t11 - t12;                        \
        const int32_t z13 = (x5) + (x3), z10 = (x5) - (x3), z11 = (x1) + (x7), z12 = (x1) - (x7);            \
        const int32_t p7 = z11 + z13, p11 = mulConst(z11 - z13, M_R2);                                       \
        const int32_t z5 = mulConst(z10 + z12, M_C2);                                                        \
        const int32_t p10 = z5 - mulConst(z12, M_C2MC6), p12 = z5 - mulConst(z10, M_C2PC6);                  \
        const int32_t p6 = p12 - p7, p5 = p11 - p6, p4 = p10 - p5;                                           \
        o0 = e0 + p7;                                                                                        \
        o7 = e0 - p7;                                                                                        \
        o1 = e1 + p6;                                                                                        \
        o6 = e1 - p6;                                                                                        \
        o2 = e2 + p5;                                                                                        \
        o5 = e2 - p5;                                                                                        \
        o3 = e3 + p4;                                                                                        \
        o4 = e3 - p4;                                                                                        \
    } while (0)

inline int32_t clampWork(int32_t v) {
    v >>= PASS_SHIFT;
    return v > WORK_LIMIT ? WORK_LIMIT : (v < -WORK_LIMIT ? -WORK_LIMIT : v);
}

// Sample clamping by table: index v + 512 for v in -512..767, what the transforms and the colour
// conversion can produce from clamped coefficients.
struct ClampTable {
    uint8_t t[1280];
    constexpr ClampTable() : t() {
        for (int i = 0; i < 1280; i++) t[i] = (uint8_t)(i < 512 ? 0 : (i > 767 ? 255 : i - 512));
    }
};
constexpr ClampTable kClamp;

inline uint8_t clamp255(int32_t v) {
    return (uint32_t)(v + 512) < 1280 ? kClamp.t[v + 512] : (uint8_t)(v < 0 ? 0 : 255);
}

inline int32_t dequant(const int16_t *blk, const int32_t *qs, const int16_t *lim, int32_t k) {
    int32_t c = blk[k];
    if (c > lim[k]) c = lim[k];
    if (c < -lim[k]) c = -lim[k];
    return c * qs[k];
}

// A block's coefficients as the transform reads them: stored ones, dequantised as they are read
// (with their limits), or ones dequantised when they were decoded.
struct StoredCoefs {
    const int16_t *blk;
    const int32_t *qs;
    const int16_t *lim;
    int32_t raw(int32_t k) const { return blk[k]; }
    int32_t operator()(int32_t k) const { return dequant(blk, qs, lim, k); }
};
struct DequantisedCoefs {
    const int32_t *w;
    int32_t raw(int32_t k) const { return w[k]; }
    int32_t operator()(int32_t k) const { return w[k]; }
};

// Transforms one block into 8 rows of 8 samples. `last`: the zig-zag position of its last non-zero
// coefficient when known, else -1.
template <class In> void idctBlock(const In &in, uint8_t *const *rows, int32_t col, int32_t last) {
    const int32_t round = (1 << (OUT_SHIFT - 1)) + (128 << OUT_SHIFT);
    // A block without AC coefficients is one value.
    int32_t any = last;
    if (last < 0) {
        any = 0;
        for (int32_t k = 1; k < 64; k++) any |= in.raw(k);
    }
    if (!any) {
        const uint8_t v = clamp255((clampWork(in(0)) + round) >> OUT_SHIFT);
        for (int32_t y = 0; y < 8; y++) memset(rows[y] + col, v, 8);
        return;
    }
    int32_t w[64];
    for (int32_t x = 0; x < 8; x++) { // columns
        const int32_t x0 = in(x);
        if (!(in.raw(x + 8) | in.raw(x + 16) | in.raw(x + 24) | in.raw(x + 32) | in.raw(x + 40) |
              in.raw(x + 48) | in.raw(x + 56))) { // a flat column, the common case
            const int32_t v = clampWork(x0);
            for (int32_t y = 0; y < 8; y++) w[y * 8 + x] = v;
            continue;
        }
        int32_t o[8];
        AAN_1D(x0, in(8 + x), in(16 + x), in(24 + x), in(32 + x), in(40 + x), in(48 + x), in(56 + x), o[0],
               o[1], o[2], o[3], o[4], o[5], o[6], o[7]);
        for (int32_t y = 0; y < 8; y++) w[y * 8 + x] = clampWork(o[y]);
    }
    for (int32_t y = 0; y < 8; y++) {
        const int32_t *t = w + y * 8;
        uint8_t *dst = rows[y] + col;
        if (!(t[1] | t[2] | t[3] | t[4] | t[5] | t[6] | t[7])) { // a flat row
            memset(dst, clamp255((t[0] + round) >> OUT_SHIFT), 8);
            continue;
        }
        int32_t o0, o1, o2, o3, o4, o5, o6, o7;
        AAN_1D(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], o0, o1, o2, o3, o4, o5, o6, o7);
        dst[0] = clamp255((o0 + round) >> OUT_SHIFT);
        dst[1] = clamp255((o1 + round) >> OUT_SHIFT);
        dst[2] = clamp255((o2 + round) >> OUT_SHIFT);
        dst[3] = clamp255((o3 + round) >> OUT_SHIFT);
        dst[4] = clamp255((o4 + round) >> OUT_SHIFT);
        dst[5] = clamp255((o5 + round) >> OUT_SHIFT);
        dst[6] = clamp255((o6 + round) >> OUT_SHIFT);
        dst[7] = clamp255((o7 + round) >> OUT_SHIFT);
    }
}
// ---- entropy decoding ------------------------------------------------------------------------------

struct Bits {
    Reader *rd;
    uint32_t acc;
    int32_t bits;
    int32_t marker;
    bool eof;

    void fill() {
        // Plain bytes straight from the window; stuffed bytes and markers take the slower way.
        while (bits <= 24 && !marker && rd->cur != rd->end && *rd->cur != 0xFF) {
            acc |= (uint32_t)*rd->cur++ << (24 - bits);
            bits += 8;
        }
        while (bits <= 24) {
            uint32_t b = 0;
            if (!marker) {
                int c;
                if (rd->cur != rd->end)
                    c = *rd->cur++;
                else
                    c = rd->byte();
                if (c < 0) {
                    marker = 0xD9;
                    eof = true;
                } else if (c == 0xFF) {
                    do c = rd->byte();
                    while (c == 0xFF);
                    if (c == 0)
                        b = 0xFF;
                    else {
                        marker = c < 0 ? 0xD9 : c;
                        eof = c < 0;
                    }
                } else {
                    b = (uint32_t)c;
                }
            }
            acc |= b << (24 - bits);
            bits += 8;
        }
    }
    uint32_t get(int32_t n) { // n in 1..16
        if (bits < n) fill();
        const uint32_t v = acc >> (32 - n);
        acc <<= n;
        bits -= n;
        return v;
    }
    int32_t bit() { return (int32_t)get(1); }
    // The value of an n-bit magnitude category (n in 0..15).
    int32_t receive(int32_t n) {
        if (n == 0) return 0;
        const int32_t v = (int32_t)get(n);
        return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
    }
    int32_t decode(const Huffman *t) {
        if (bits < 16) fill();
        const uint32_t e = t->fast[acc >> (32 - FAST_BITS)];
        if (e) {
            const int32_t len = (int32_t)(e >> 8);
            acc <<= len;
            bits -= len;
            return (int32_t)(e & 0xFF);
        }
        int32_t len = FAST_BITS + 1;
        int32_t code = (int32_t)(acc >> (32 - len));
        while (code > t->maxcode[len]) {
            len++;
            code = (int32_t)(acc >> (32 - len));
        }
        if (len > 16) return -1;
        acc <<= len;
        bits -= len;
        return t->values[(t->offset[len] + code) & 0xFF];
    }
};

struct ScanRun {
    Decoder *d;
    Scan *s;
    Bits b;
    Huffman *dc[4], *ac[4];
    int32_t band;
    bool bad;
    bool blank;     // fused: the blocks after damage, without decoding
    int32_t placed; // fused: blocks of the band decoded so far (counted down again when blank)
};

int32_t clampDc(int32_t v) {
    return v > 32767 ? 32767 : (v < -32768 ? -32768 : v);
}

// A DC difference for scan component i, added to its predictor; the block gets the sum scaled by 2^al.
void decodeDc(ScanRun &r, int i, int16_t *blk) {
    const int32_t t = r.b.decode(r.dc[i]);
    if (t < 0 || t > 15) {
        r.bad = true;
        return;
    }
    ScanState &st = r.s->st;
    st.dc[i] = clampDc(st.dc[i] + r.b.receive(t));
    blk[0] = (int16_t)(st.dc[i] * (1 << r.s->al));
}

// AC coefficients ss..se scaled by 2^al up to the end of the block. A progressive scan's end-of-band
// code also says how many following blocks are empty (`eobrun`); a sequential scan passes none.
void decodeAc(ScanRun &r, const Huffman *ac, int16_t *blk, int32_t ss, int32_t se, int32_t *eobrun) {
    for (int32_t k = ss; k <= se;) {
        const int32_t rs = r.b.decode(ac);
        if (rs < 0) {
            r.bad = true;
            return;
        }
        const int32_t run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run < 15) {
                if (eobrun) *eobrun = (1 << run) - 1 + (run ? (int32_t)r.b.get(run) : 0);
                return;
            }
            k += 16;
            continue;
        }
        k += run;
        blk[kZigzag[k]] = (int16_t)(r.b.receive(size) * (1 << r.s->al));
        k++;
    }
}

void decodeSequential(ScanRun &r, int i, int16_t *blk) {
    decodeDc(r, i, blk);
    if (!r.bad) decodeAc(r, r.ac[i], blk, 1, 63, nullptr);
}

// A sequential block through the whole-coefficient entries of its AC table, dequantised (within
// the limits) into w, which holds zeros. Returns the zig-zag position of its last non-zero
// coefficient (at most 63).
int32_t decodeSequentialFast(ScanRun &r, int i, const int32_t *qs, const int16_t *lim, int32_t *w) {
    int16_t dc = 0;
    decodeDc(r, i, &dc);
    w[0] = dequant(&dc, qs, lim, 0);
    const Huffman *ac = r.ac[i];
    Bits &b = r.b;
    auto put = [&](int32_t k, int32_t v) {
        const int32_t z = kZigzag[k];
        w[z] = (v > lim[z] ? lim[z] : (v < -lim[z] ? -lim[z] : v)) * qs[z];
    };
    int32_t last = 0;
    for (int32_t k = 1; k <= 63 && !r.bad;) {
        if (b.bits < 16) b.fill();
        const int32_t e = ac->whole[b.acc >> (32 - FAST_BITS)];
        if (e) {
            const int32_t taken = e & 0xFF;
            b.acc <<= taken;
            b.bits -= taken;
            k += (e >> 8) & 15;
            put(k, e >> 16);
            last = k++;
            continue;
        }
        const int32_t rs = b.decode(ac);
        if (rs < 0) {
            r.bad = true;
            break;
        }
        const int32_t run = rs >> 4, size = rs & 15;
        if (size == 0) {
            if (run < 15) break;
            k += 16;
            continue;
        }
        k += run;
        put(k, b.receive(size));
        last = k++;
    }
    return last < 63 ? last : 63;
}

void decodeDcRefine(ScanRun &r, int16_t *blk) {
    if (r.b.bit()) blk[0] = (int16_t)(blk[0] | (1 << r.s->al));
}

void decodeAcFirst(ScanRun &r, int16_t *blk) {
    ScanState &st = r.s->st;
    if (st.eobrun > 0) {
        st.eobrun--;
        return;
    }
    decodeAc(r, r.ac[0], blk, r.s->ss, r.s->se, &st.eobrun);
}

// Successive approximation of AC coefficients: a correction bit for every coefficient already
// non-zero that the run passes over, and new coefficients of magnitude one.
void decodeAcRefine(ScanRun &r, int16_t *blk) {
    ScanState &st = r.s->st;
    const int32_t p1 = 1 << r.s->al, m1 = -p1;
    int32_t k = r.s->ss;
    const int32_t se = r.s->se;
    auto refine = [&](int16_t *c) {
        if (r.b.bit() && (*c & p1) == 0) *c = (int16_t)(*c >= 0 ? *c + p1 : *c + m1);
    };
    if (st.eobrun <= 0) {
        for (; k <= se;) {
            const int32_t rs = r.b.decode(r.ac[0]);
            if (rs < 0) {
                r.bad = true;
                return;
            }
            int32_t run = rs >> 4, size = rs & 15, value = 0;
            if (size == 0) {
                if (run < 15) {
                    st.eobrun = 1 << run;
                    if (run) st.eobrun += (int32_t)r.b.get(run);
                    break;
                }
            } else {
                value = r.b.bit() ? p1 : m1;
            }
            for (; k <= se; k++) {
                int16_t *c = blk + kZigzag[k];
                if (*c) {
                    refine(c);
                } else {
                    if (run == 0) {
                        if (value) *c = (int16_t)value;
                        k++;
                        break;
                    }
                    run--;
                }
            }
        }
    }
    if (st.eobrun > 0) {
        for (; k <= se; k++) {
            int16_t *c = blk + kZigzag[k];
            if (*c) refine(c);
        }
        st.eobrun--;
    }
}

// At a restart point: drop the bits left in the byte, pass the marker, reset the predictors.
void restartScan(ScanRun &r) {
    ScanState &st = r.s->st;
    Bits &b = r.b;
    if (!b.marker) { // the marker is still ahead (padding bits are in the accumulator)
        for (;;) {
            int c = b.rd->byte();
            if (c < 0) {
                b.marker = 0xD9;
                b.eof = true;
                break;
            }
            if (c != 0xFF) continue;
            do c = b.rd->byte();
            while (c == 0xFF);
            if (c > 0) {
                b.marker = c;
                break;
            }
        }
    }
    if (b.marker >= 0xD0 && b.marker <= 0xD7) b.marker = 0; // go on after it
    b.acc = 0;
    b.bits = 0;
    for (int i = 0; i < 4; i++) st.dc[i] = 0;
    st.eobrun = 0;
    st.toRestart = r.s->restart;
}

void decodeBlock(ScanRun &r, int i, int16_t *blk) {
    const Scan &s = *r.s;
    if (!r.d->progressive)
        decodeSequential(r, i, blk);
    else if (s.ss == 0) {
        if (s.ah == 0)
            decodeDc(r, i, blk);
        else
            decodeDcRefine(r, blk);
    } else if (s.ah == 0) {
        decodeAcFirst(r, blk);
    } else {
        decodeAcRefine(r, blk);
    }
}

// Decodes the band's block (bx, byInBand) of scan component i. Outside the stored columns the
// block goes to a scratch block; a progressive image brings its non-zero coefficients there from
// the mask (their values do not matter) and takes them back.
void decodeAt(ScanRun &r, int i, Component &c, int32_t bx, int32_t byInBand, int16_t *scratch,
              int32_t *work) {
    const int32_t col = bx - c.firstBlock;
    if (r.d->fused) { // into the scratch block, and transformed at once when it is drawn
        if (r.blank && r.placed-- > 0) return; // decoded before the damage
        const int32_t *qs = r.d->qscaled[c.tq];
        const int16_t *lim = r.d->qlimit[c.tq];
        memset(work, 0, 64 * sizeof(int32_t));
        const int32_t last = r.blank ? 0 : decodeSequentialFast(r, i, qs, lim, work);
        if (!r.blank) r.placed++;
        const int32_t by = r.band * (r.d->ncomp == 1 ? 1 : c.v) + byInBand;
        if (col < 0 || col >= c.coefBlocksW || bx >= c.blocksW || by >= c.blocksH) return;
        uint8_t *rows[8];
        for (int32_t y = 0; y < 8; y++) rows[y] = c.ring + ((by * 8 + y) % c.ringRows) * c.ringStride;
        idctBlock(DequantisedCoefs{work}, rows, col * 8, last);
        return;
    }
    if (col >= 0 && col < c.coefBlocksW) {
        decodeBlock(r, i, c.coef + ((size_t)byInBand * (size_t)c.coefBlocksW + (size_t)col) * 64);
        return;
    }
    memset(scratch, 0, 64 * sizeof(int16_t));
    if (!c.mask || r.s->ss == 0) { // DC values outside are not needed again
        decodeBlock(r, i, scratch);
        return;
    }
    uint32_t *m = c.mask + ((size_t)byInBand * (size_t)c.blocksW + (size_t)bx) * 2;
    for (int32_t k = 0; k < 64; k++) scratch[k] = (int16_t)(m[k >> 5] >> (k & 31) & 1);
    decodeBlock(r, i, scratch);
    m[0] = m[1] = 0;
    for (int32_t k = 0; k < 64; k++)
        if (scratch[k]) m[k >> 5] |= 1u << (k & 31);
}

// Decodes scan s's part of band `band`. False on damaged data.
// Table j built from slot `slot` of the segment at `segment`, unless it already is.
Huffman *tableFor(Decoder &d, int32_t j, uint32_t segment, int32_t slot) {
    const uint32_t key = segment * 8 + (uint32_t)slot;
    if (d.tableKey[j] == key) return &d.tables[j];
    d.tableKey[j] = 0;
    if (!loadHuffman(d.rd, segment, slot, &d.tables[j])) return nullptr;
    d.tableKey[j] = key;
    return &d.tables[j];
}

bool decodeScanBand(Decoder &d, Scan &s, int32_t band) {
    ScanRun r;
    r.d = &d;
    r.s = &s;
    r.band = band;
    r.bad = false;
    ScanState &st = s.st;
    if (!st.started) {
        memset(st.dc, 0, sizeof st.dc);
        st.acc = 0;
        st.bits = 0;
        st.marker = 0;
        st.eobrun = 0;
        st.toRestart = s.restart;
        st.nextRst = 0;
        st.started = true;
    }
    // The tables: rebuilt from their segments when another scan has used the slots since.
    for (int i = 0; i < s.count; i++) {
        r.dc[i] = r.ac[i] = nullptr;
        if (s.ss == 0 && s.ah == 0 && !(r.dc[i] = tableFor(d, i * 2, s.dht[s.dcTable[i]], s.dcTable[i])))
            return false;
        if (s.se > 0 && !(r.ac[i] = tableFor(d, i * 2 + 1, s.dht[s.acTable[i]], s.acTable[i]))) return false;
    }
    d.rd.seek(st.offset);
    r.b = Bits{&d.rd, st.acc, st.bits, st.marker, false};
    int16_t scratch[64];
    int32_t work[64];
    auto unit = [&]() { // before each MCU: a restart when due
        if (s.restart) {
            if (st.toRestart == 0) restartScan(r);
            st.toRestart--;
        }
    };
    // blank: the walk again after damage in a fused scan, to give the blocks not reached their
    // empty (mid-grey) samples as a band of zero coefficients would have.
    auto walk = [&](bool blank) {
        if (s.count == 1) { // one component: its blocks in their own order
            Component &c = d.comp[s.comp[0]];
            const int32_t rowsPerBand = d.ncomp == 1 ? 1 : c.v;
            for (int32_t v = 0; v < rowsPerBand && (blank || !r.bad); v++) {
                const int32_t by = band * rowsPerBand + v;
                if (by >= c.blocksH) break;
                for (int32_t bx = 0; bx < c.blocksW && (blank || !r.bad); bx++) {
                    if (!blank) unit();
                    decodeAt(r, 0, c, bx, v, scratch, work);
                }
            }
        } else {
            for (int32_t mx = 0; mx < d.mcusX && (blank || !r.bad); mx++) {
                if (!blank) unit();
                for (int i = 0; i < s.count; i++) {
                    Component &c = d.comp[s.comp[i]];
                    for (int32_t v = 0; v < c.v; v++)
                        for (int32_t h = 0; h < c.h; h++) decodeAt(r, i, c, mx * c.h + h, v, scratch, work);
                }
            }
        }
    };
    r.blank = false;
    r.placed = 0;
    walk(false);
    if (r.bad && d.fused) {
        r.blank = true;
        walk(true);
    }
    st.offset = d.rd.tell();
    st.acc = r.b.acc;
    st.bits = r.b.bits;
    st.marker = r.b.marker;
    return !r.bad && !r.b.eof && !d.rd.failed;
}

void transformBand(Decoder &d, int32_t band) {
    if (d.fused) return; // done while decoding
    for (int32_t i = 0; i < d.ncomp; i++) {
        Component &c = d.comp[i];
        const int32_t rowsPerBand = d.ncomp == 1 ? 1 : c.v;
        for (int32_t v = 0; v < rowsPerBand; v++) {
            const int32_t by = band * rowsPerBand + v;
            if (by >= c.blocksH) break;
            uint8_t *rows[8];
            for (int32_t y = 0; y < 8; y++) rows[y] = c.ring + ((by * 8 + y) % c.ringRows) * c.ringStride;
            for (int32_t b = 0; b < c.coefBlocksW; b++) {
                if (c.firstBlock + b >= c.blocksW) break;
                idctBlock(StoredCoefs{c.coef + ((size_t)v * c.coefBlocksW + b) * 64, d.qscaled[c.tq],
                                      d.qlimit[c.tq]},
                          rows, b * 8, -1);
            }
        }
    }
}

// ---- output --------------------------------------------------------------------------------------------

struct Output {
    int32_t x, y;       // screen position of the image
    int32_t col0, col1; // image columns drawn
    int32_t row0, row1; // image rows drawn
    uint8_t *up[MAX_COMPONENTS];
    int32_t *sum;
    LCD_PIXELINDEX *px;
};

const uint8_t *ringRow(const Component &c, int32_t r) {
    if (r < 0) r = 0;
    if (r >= c.height) r = c.height - 1;
    return c.ring + (r % c.ringRows) * c.ringStride - c.firstBlock * 8;
}

// The horizontal triangle filter over twice as many output columns: output x comes from input
// x / 2 (weight 3) and its left (even x) or right (odd x) neighbour, with the rounding of each.
// The input holds valid entries one beyond both ends of the columns used.
void pairs(const int32_t *in, int32_t col0, int32_t n, uint8_t *out, int32_t evenRound, int32_t oddRound) {
    const int32_t shift = evenRound == 8 ? 4 : 2;
    int32_t i = 0, x = col0;
    if (x & 1) {
        out[i++] = (uint8_t)((3 * in[x >> 1] + in[(x >> 1) + 1] + oddRound) >> shift);
        x++;
    }
    for (; i + 1 < n; i += 2, x += 2) {
        const int32_t j = x >> 1, c = 3 * in[j];
        out[i] = (uint8_t)((c + in[j - 1] + evenRound) >> shift);
        out[i + 1] = (uint8_t)((c + in[j + 1] + oddRound) >> shift);
    }
    if (i < n) out[i] = (uint8_t)((3 * in[x >> 1] + in[(x >> 1) - 1] + evenRound) >> shift);
}

// Component samples for image row y, columns col0..col1-1, into out (indexed from col0).
void upsampleRow(const Decoder &d, const Component &c, int32_t y, const Output &o, uint8_t *out) {
    const int32_t hs = d.hmax / c.h, vs = d.vmax / c.v;
    const int32_t n = o.col1 - o.col0;
    const int32_t last = c.width - 1;
    if (vs == 1) {
        const uint8_t *s = ringRow(c, y);
        if (hs == 1) {
            memcpy(out, s + o.col0, (size_t)n);
            return;
        }
        const int32_t j0 = (o.col0 >> 1) > 0 ? (o.col0 >> 1) - 1 : 0;
        const int32_t j1 = ((o.col1 - 1) >> 1) < last ? ((o.col1 - 1) >> 1) + 1 : last;
        int32_t *sum = o.sum + 1 - j0;
        for (int32_t j = j0; j <= j1; j++) sum[j] = s[j];
        sum[j0 - 1] = sum[j0];
        sum[j1 + 1] = sum[j1];
        pairs(sum, o.col0, n, out, 1, 2); // single rows: the same filter at a quarter of the scale
        return;
    }
    const int32_t cr = y >> 1;
    const uint8_t *near = ringRow(c, cr), *far = ringRow(c, (y & 1) ? cr + 1 : cr - 1);
    if (hs == 1) {
        const int32_t bias = (y & 1) ? 2 : 1;
        for (int32_t i = 0; i < n; i++) {
            const int32_t j = o.col0 + i;
            out[i] = (uint8_t)((3 * near[j] + far[j] + bias) >> 2);
        }
        return;
    }
    // Column sums over the component columns the row touches (the neighbours included; an edge
    // repeats itself), then the horizontal filter.
    const int32_t j0 = (o.col0 >> 1) > 0 ? (o.col0 >> 1) - 1 : 0;
    const int32_t j1 = ((o.col1 - 1) >> 1) < last ? ((o.col1 - 1) >> 1) + 1 : last;
    int32_t *sum = o.sum + 1 - j0;
    for (int32_t j = j0; j <= j1; j++) sum[j] = 3 * near[j] + far[j];
    sum[j0 - 1] = sum[j0];
    sum[j1 + 1] = sum[j1];
    pairs(sum, o.col0, n, out, 8, 7);
}

// The library's conversion by table: each chroma sample's share of R, G and B, and each channel's
// sum (-512..767) clamped and placed in 5-6-5.
struct YccTables {
    int16_t crR[256], cbB[256];
    int32_t cbG[256], crG[256]; // G's share before its rounding shift
    uint16_t r5[1280], g6[1280], b5[1280];
    constexpr YccTables() : crR(), cbB(), cbG(), crG(), r5(), g6(), b5() {
        for (int32_t i = 0; i < 256; i++) {
            const int32_t c = i - 128;
            crR[i] = (int16_t)((91881 * c + 32768) >> 16);
            cbB[i] = (int16_t)((116130 * c + 32768) >> 16);
            cbG[i] = -22554 * c;
            crG[i] = -46802 * c + 32768;
        }
        for (int32_t i = 0; i < 1280; i++) {
            const int32_t v = i < 512 ? 0 : (i > 767 ? 255 : i - 512);
            r5[i] = (uint16_t)((v >> 3) << 11);
            g6[i] = (uint16_t)((v >> 2) << 5);
            b5[i] = (uint16_t)(v >> 3);
        }
    }
};
constexpr YccTables kYcc;

// One YCbCr pixel in 5-6-5 (the library's conversion, rounded as in the general path).
inline LCD_PIXELINDEX ycc565(int32_t l, int32_t b, int32_t r) {
    const int32_t y = l + 512;
    return (LCD_PIXELINDEX)(kYcc.r5[y + kYcc.crR[r]] | kYcc.g6[y + ((kYcc.cbG[b] + kYcc.crG[r]) >> 16)] |
                            kYcc.b5[y + kYcc.cbB[b]]);
}

// The common colour layout in one pass: chroma at half the luma's width (4:2:2 or 4:2:0) upsampled,
// converted and packed together. The chroma column sums are four times the sample at the scale of
// the vertical filter, so one horizontal filter serves both layouts.
void outputRowHalfWidth(const Decoder &d, const Output &o, int32_t y) {
    const Component &cb = d.comp[1], &cr = d.comp[2];
    const int32_t last = cb.width - 1;
    const int32_t j0 = (o.col0 >> 1) > 0 ? (o.col0 >> 1) - 1 : 0;
    const int32_t j1 = ((o.col1 - 1) >> 1) < last ? ((o.col1 - 1) >> 1) + 1 : last;
    int16_t *sb = (int16_t *)o.sum + 1 - j0, *sr = sb + (j1 - j0 + 3);
    int32_t evenRound, oddRound;
    if (d.vmax == cb.v) {
        const uint8_t *b = ringRow(cb, y), *r = ringRow(cr, y);
        for (int32_t j = j0; j <= j1; j++) {
            sb[j] = (int16_t)(4 * b[j]);
            sr[j] = (int16_t)(4 * r[j]);
        }
        evenRound = 4;
        oddRound = 8;
    } else {
        const int32_t c = y >> 1, f = (y & 1) ? c + 1 : c - 1;
        const uint8_t *bn = ringRow(cb, c), *bf = ringRow(cb, f), *rn = ringRow(cr, c), *rf = ringRow(cr, f);
        for (int32_t j = j0; j <= j1; j++) {
            sb[j] = (int16_t)(3 * bn[j] + bf[j]);
            sr[j] = (int16_t)(3 * rn[j] + rf[j]);
        }
        evenRound = 8;
        oddRound = 7;
    }
    sb[j0 - 1] = sb[j0];
    sb[j1 + 1] = sb[j1];
    sr[j0 - 1] = sr[j0];
    sr[j1 + 1] = sr[j1];
    const uint8_t *l = ringRow(d.comp[0], y);
    LCD_PIXELINDEX *px = o.px - o.col0;
    int32_t x = o.col0;
    if (x & 1) {
        const int32_t j = x >> 1;
        px[x] =
            ycc565(l[x], (3 * sb[j] + sb[j + 1] + oddRound) >> 4, (3 * sr[j] + sr[j + 1] + oddRound) >> 4);
        x++;
    }
    for (; x + 1 < o.col1; x += 2) {
        const int32_t j = x >> 1, b3 = 3 * sb[j], r3 = 3 * sr[j];
        px[x] = ycc565(l[x], (b3 + sb[j - 1] + evenRound) >> 4, (r3 + sr[j - 1] + evenRound) >> 4);
        px[x + 1] = ycc565(l[x + 1], (b3 + sb[j + 1] + oddRound) >> 4, (r3 + sr[j + 1] + oddRound) >> 4);
    }
    if (x < o.col1) {
        const int32_t j = x >> 1;
        px[x] =
            ycc565(l[x], (3 * sb[j] + sb[j - 1] + evenRound) >> 4, (3 * sr[j] + sr[j - 1] + evenRound) >> 4);
    }
}

void outputRows(const Decoder &d, const Output &o, int32_t from, int32_t to) {
    if (from < o.row0) from = o.row0;
    if (to > o.row1) to = o.row1;
    const int32_t n = o.col1 - o.col0;
    const bool halfWidth = d.ncomp == 3 && !d.rgb && d.comp[0].h == 2 && d.comp[0].v == d.vmax &&
                           d.comp[1].h == 1 && d.comp[2].h == 1 && d.comp[1].v == d.comp[2].v;
    for (int32_t y = from; y < to; y++) {
        if (halfWidth) {
            outputRowHalfWidth(d, o, y);
            GUI__DrawPixelRow(o.x + o.col0, o.y + y, o.px, n);
            continue;
        }
        for (int32_t i = 0; i < d.ncomp; i++) upsampleRow(d, d.comp[i], y, o, o.up[i]);
        if (d.ncomp == 1) {
            const uint8_t *g = o.up[0];
            for (int32_t i = 0; i < n; i++)
                o.px[i] = (LCD_PIXELINDEX)((g[i] >> 3) << 11 | (g[i] >> 2) << 5 | g[i] >> 3);
        } else if (d.rgb) {
            for (int32_t i = 0; i < n; i++)
                o.px[i] =
                    (LCD_PIXELINDEX)((o.up[0][i] >> 3) << 11 | (o.up[1][i] >> 2) << 5 | o.up[2][i] >> 3);
        } else {
            const uint8_t *yy = o.up[0], *cb = o.up[1], *cr = o.up[2];
            for (int32_t i = 0; i < n; i++) o.px[i] = ycc565(yy[i], cb[i], cr[i]);
        }
        GUI__DrawPixelRow(o.x + o.col0, o.y + y, o.px, n);
    }
}

bool start(Decoder &d, GUI_GET_DATA_FUNC getData, void *source, bool headerOnly) {
    memset(&d, 0, sizeof d);
    d.rd.begin(getData, source, 0);
    return readMarkers(d, headerOnly);
}

// Draws image columns o.col0..o.col1-1 (a strip of what is drawn), reading every scan from its
// start; `alone` when it is all that is drawn. 1 when the data is damaged, -1 when the strip's
// working memory does not fit in the pool.
int drawStrip(Decoder &d, Output &o, bool alone) {
    // Stored MCU columns: the drawn ones and one on each side for the filter. Outside them a
    // progressive image keeps, per block of the band, which coefficients are non-zero: all its
    // refinement scans need to know of the blocks they pass.
    int32_t mx0 = o.col0 / d.mcuW - 1, mx1 = (o.col1 + d.mcuW - 1) / d.mcuW + 1;
    if (mx0 < 0) mx0 = 0;
    if (mx1 > d.mcusX) mx1 = d.mcusX;
    const bool masks = d.progressive && (mx0 > 0 || mx1 < d.mcusX);
    const int32_t n = o.col1 - o.col0;
    // Room for the most MCU columns a strip of this width takes, wherever it lies (strips start at
    // whole MCUs from the first): then only the first strip can find the pool short, before
    // anything is drawn.
    int32_t span = mx1 - mx0;
    if (!alone) {
        span = (o.col1 - 1) / d.mcuW - o.col0 / d.mcuW + 3;
        if (span > d.mcusX) span = d.mcusX;
    }
    // A fused image keeps no coefficients, and its AC tables take whole coefficients.
    const uint32_t wholeBytes = d.fused ? MAX_COMPONENTS * (1u << FAST_BITS) * 4 : 0;
    uint32_t need = 2 * MAX_COMPONENTS * sizeof(Huffman) + wholeBytes + (uint32_t)n * (2 + 4 + d.ncomp) + 64;
    for (int32_t i = 0; i < d.ncomp; i++) {
        Component &c = d.comp[i];
        const int32_t rowsPerBand = d.ncomp == 1 ? 1 : c.v;
        c.firstBlock = mx0 * c.h;
        c.coefBlocksW = (mx1 - mx0) * c.h;
        c.ringStride = c.coefBlocksW * 8;
        c.ringRows = 2 * rowsPerBand * 8 + 1;
        if (!d.fused) need += (uint32_t)(span * c.h) * rowsPerBand * 128;
        need += (uint32_t)(span * c.h * 8) * c.ringRows + 16;
        if (masks) need += (uint32_t)c.blocksW * rowsPerBand * 8;
    }
    PoolBlock mem(need);
    if (!mem.p) return -1;
    if (need + MAX_SCANS * (uint32_t)sizeof(Scan) > PoolUse)
        PoolUse = need + MAX_SCANS * (uint32_t)sizeof(Scan);
    uint8_t *p = (uint8_t *)mem.p;
    d.tables = (Huffman *)p;
    memset(d.tableKey, 0, sizeof d.tableKey);
    p += 2 * MAX_COMPONENTS * sizeof(Huffman);
    for (int32_t j = 0; j < 2 * MAX_COMPONENTS; j++) {
        d.tables[j].whole = nullptr;
        if (d.fused && (j & 1)) {
            d.tables[j].whole = (int32_t *)p;
            p += (size_t)(1u << FAST_BITS) * 4;
        }
    }
    for (int32_t i = 0; i < d.ncomp; i++) {
        Component &c = d.comp[i];
        const int32_t rowsPerBand = d.ncomp == 1 ? 1 : c.v;
        c.coef = nullptr;
        if (!d.fused) {
            c.coef = (int16_t *)p;
            p += (size_t)(span * c.h) * rowsPerBand * 128;
        }
        c.mask = nullptr;
        if (masks) {
            c.mask = (uint32_t *)p;
            p += (size_t)c.blocksW * rowsPerBand * 8;
        }
        c.ring = p;
        p += ((size_t)(span * c.h * 8) * c.ringRows + 15) & ~(size_t)15;
    }
    o.sum = (int32_t *)p;
    p += (size_t)n * 2 + 32;
    o.px = (LCD_PIXELINDEX *)p;
    p += (size_t)n * 2;
    for (int32_t i = 0; i < d.ncomp; i++) {
        o.up[i] = p;
        p += n;
    }
    for (int32_t k = 0; k < d.scanCount; k++) {
        d.scans[k].st.started = false;
        d.scans[k].st.offset = d.scans[k].start;
    }

    // Scans that hold a component of a band: bands run while a row of them can still be drawn.
    const int32_t lastBand = (o.row1 - 1) / d.mcuH + 1 < d.mcusY ? (o.row1 - 1) / d.mcuH + 1 : d.mcusY - 1;
    int failed = 0;
    for (int32_t band = 0; band <= lastBand && !failed; band++) {
        for (int32_t i = 0; i < d.ncomp; i++) {
            Component &c = d.comp[i];
            const int32_t rowsPerBand = d.ncomp == 1 ? 1 : c.v;
            if (c.coef) memset(c.coef, 0, (size_t)c.coefBlocksW * rowsPerBand * 128);
            if (c.mask) memset(c.mask, 0, (size_t)c.blocksW * rowsPerBand * 8);
        }
        for (int32_t k = 0; k < d.scanCount; k++)
            if (!decodeScanBand(d, d.scans[k], band)) failed = 1;
        if (failed && band == 0) return 1;
        transformBand(d, band);
        if (band > 0) outputRows(d, o, (band - 1) * d.mcuH, band * d.mcuH);
        if (failed) outputRows(d, o, band * d.mcuH, (band + 1) * d.mcuH); // what was decoded
    }
    if (!failed) outputRows(d, o, lastBand * d.mcuH, (lastBand + 1) * d.mcuH);
    return failed;
}

} // namespace

int GUI_JPEG_GetInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_JPEG_INFO *info) {
    Decoder d;
    if (!start(d, getData, source, true) || d.ncomp == 0) return 1;
    info->XSize = d.width;
    info->YSize = d.height;
    info->Progressive = d.progressive ? 1 : 0;
    info->Components = d.ncomp;
    return 0;
}

uint32_t GUI_JPEG_LastPoolUse(void) {
    return PoolUse;
}

int GUI_JPEG_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y) {
    PoolUse = 0;
    PoolBlock scanMem(MAX_SCANS * sizeof(Scan));
    if (!scanMem.p) return 1;
    Decoder d;
    memset(&d, 0, sizeof d);
    d.scans = (Scan *)scanMem.p;
    d.rd.begin(getData, source, 0);
    if (!readMarkers(d, false) || d.ncomp == 0 || d.scanCount == 0) return 1;
    d.fused = !d.progressive && d.scanCount == 1 && d.scans[0].count == d.ncomp;
    for (int32_t t = 0; t < 4; t++) scaleQuant(d.quant[t], d.qscaled[t], d.qlimit[t]);

    // What is drawn: the image clipped to the clip rectangle, in image coordinates.
    const GUI_RECT &clip = GUI_Context.ClipRect;
    const int32_t sx = x - GUI_Context.OrgX, sy = y - GUI_Context.OrgY;
    Output o;
    o.x = x;
    o.y = y;
    const int32_t col0 = clip.x0 - sx > 0 ? clip.x0 - sx : 0;
    const int32_t col1 = clip.x1 - sx + 1 < d.width ? clip.x1 - sx + 1 : d.width;
    o.row0 = clip.y0 - sy > 0 ? clip.y0 - sy : 0;
    o.row1 = clip.y1 - sy + 1 < d.height ? clip.y1 - sy + 1 : d.height;
    if (col0 >= col1 || o.row0 >= o.row1) return 0;

    // The drawn columns in as few strips as the pool allows, each strip a complete decode: a
    // picture too wide for one pass costs one more reading of the data per strip.
    const int32_t mcus = (col1 - col0 + d.mcuW - 1) / d.mcuW;
    for (int32_t strips = 1; strips <= mcus; strips++) {
        const int32_t width = (mcus + strips - 1) / strips * d.mcuW;
        int result = 0;
        for (int32_t c = col0; c < col1 && result == 0; c += width) {
            o.col0 = c;
            o.col1 = c + width < col1 ? c + width : col1;
            result = drawStrip(d, o, strips == 1);
        }
        if (result >= 0) return result;
    }
    return 1;
}

int GUI_JPEG_Draw(const void *data, uint32_t size, int32_t x, int32_t y) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_JPEG_DrawEx(GUI_GetDataMemory, &m, x, y);
}

int GUI_JPEG_GetInfo(const void *data, uint32_t size, GUI_JPEG_INFO *info) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_JPEG_GetInfoEx(GUI_GetDataMemory, &m, info);
}
