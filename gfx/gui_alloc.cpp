// The library's memory pool: 100000 bytes with a first-fit allocator. Every block carries an 8-byte
// header (its size with the in-use bit, and the size of the block before it) so that freeing merges
// with both neighbours at once.
#include "gfx/gui.h"

static uint64_t GUI_Pool[GUI_POOL_SIZE / 8];

enum : uint32_t { HDR = 8, USED = 1 };

struct BlockHeader {
    uint32_t size; // whole block, header included, multiple of 8; bit 0 = in use
    uint32_t prev; // size of the block before (0 for the first)
};

static uint8_t *poolStart(void) {
    return (uint8_t *)GUI_Pool;
}
static uint8_t *poolEnd(void) {
    return (uint8_t *)GUI_Pool + sizeof GUI_Pool;
}
static BlockHeader *hdr(uint8_t *p) {
    return (BlockHeader *)p;
}
static uint32_t blockSize(const BlockHeader *h) {
    return h->size & ~USED;
}

void GUI_ALLOC_Init(void) {
    BlockHeader *h = hdr(poolStart());
    h->size = (uint32_t)sizeof GUI_Pool;
    h->prev = 0;
}

void *GUI_ALLOC_Alloc(uint32_t size) {
    if (size == 0 || size > sizeof GUI_Pool) return nullptr;
    uint32_t need = ((size + 7) & ~7u) + HDR;
    for (uint8_t *p = poolStart(); p < poolEnd(); p += blockSize(hdr(p))) {
        BlockHeader *h = hdr(p);
        if ((h->size & USED) || h->size < need) continue;
        uint32_t rest = h->size - need;
        if (rest >= HDR + 8) { // split: the remainder stays free
            h->size = need;
            BlockHeader *r = hdr(p + need);
            r->size = rest;
            r->prev = need;
            uint8_t *after = p + need + rest;
            if (after < poolEnd()) hdr(after)->prev = rest;
        }
        h->size |= USED;
        return p + HDR;
    }
    return nullptr;
}

void GUI_ALLOC_Free(void *ptr) {
    if (!ptr) return;
    uint8_t *p = (uint8_t *)ptr - HDR;
    if (p < poolStart() || p >= poolEnd()) return;
    BlockHeader *h = hdr(p);
    h->size &= ~USED;
    uint8_t *next = p + h->size;
    if (next < poolEnd() && !(hdr(next)->size & USED)) h->size += hdr(next)->size;
    if (h->prev) {
        BlockHeader *before = hdr(p - h->prev);
        if (!(before->size & USED)) {
            before->size += h->size;
            p -= h->prev;
            h = before;
        }
    }
    next = p + h->size;
    if (next < poolEnd()) hdr(next)->prev = h->size;
}

uint32_t GUI_ALLOC_GetNumFreeBytes(void) {
    uint32_t sum = 0;
    for (uint8_t *p = poolStart(); p < poolEnd(); p += blockSize(hdr(p)))
        if (!(hdr(p)->size & USED)) sum += hdr(p)->size - HDR;
    return sum;
}

uint32_t GUI_ALLOC_GetMaxSize(void) {
    uint32_t best = 0;
    for (uint8_t *p = poolStart(); p < poolEnd(); p += blockSize(hdr(p)))
        if (!(hdr(p)->size & USED) && hdr(p)->size - HDR > best) best = hdr(p)->size - HDR;
    return best;
}
