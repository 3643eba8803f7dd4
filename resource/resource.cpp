// The resource image in external memory: header checks, offset conversion and the look-ups every
// other room uses. Nothing here trusts the image: every object handed out lies wholly inside the
// image and behind its record table, so a corrupt image can neither make the firmware read or
// write outside it nor rewrite its own header through a converted field.
#include "resource/resource.h"

#include <string.h>

#include "board/bsp/bsp.h"

uint32_t ExtMemSize;
uint32_t Flash1Size, Flash1SectorSize, Flash1NumSectors;
uint8_t splashShown;
void (*splashShownHook)(void);
uint32_t ExtMemRamBuffer = BSP_EXTRAM_BASE;
uint32_t ExtMemBuffer = BSP_EXTRAM_BASE;

namespace {

uint8_t *region(void) {
    if (ExtMemSize < RES_HEADER_SIZE) return nullptr;
    return (uint8_t *)bsp_mem(ExtMemBuffer, ExtMemSize);
}

ExtHeader *header(void) {
    uint8_t *b = region();
    if (!b) return nullptr;
    ExtHeader *h = (ExtHeader *)b;
    if (h->magic != RES_MAGIC || h->size > ExtMemSize || h->size < RES_HEADER_SIZE) return nullptr;
    if (RES_HEADER_SIZE + (uint32_t)h->count * RES_RECORD_SIZE > h->size) return nullptr;
    return h;
}

ExtRecord *table(ExtHeader *h) {
    return (ExtRecord *)((uint8_t *)h + RES_HEADER_SIZE);
}

uint32_t tableEnd(const ExtHeader *h) {
    return RES_HEADER_SIZE + (uint32_t)h->count * RES_RECORD_SIZE;
}

// Host pointer to [addr, addr + len) of the image, behind the record table; null otherwise.
uint8_t *span(const ExtHeader *h, uint32_t addr, uint32_t len) {
    if (addr < ExtMemBuffer) return nullptr;
    uint32_t off = addr - ExtMemBuffer;
    if (off < tableEnd(h) || off > h->size || len > h->size - off) return nullptr;
    return (uint8_t *)h + off;
}

// Converts a field on first use and checks the span it points at.
uint8_t *resolve(const ExtHeader *h, uint32_t *field, uint32_t len) {
    if (!tryFixup(field, ExtMemBuffer, h->size)) return nullptr;
    return span(h, *field, len);
}

// The same for an object of 32-bit fields, which must also be aligned to 4 bytes.
uint8_t *object(const ExtHeader *h, uint32_t *field, uint32_t len) {
    uint8_t *p = resolve(h, field, len);
    return p && (*field & 3) == 0 ? p : nullptr;
}

// A span of count entries of a given size, without the multiplication overflowing.
bool fitsEntries(const ExtHeader *h, uint32_t count, uint32_t size) {
    return count <= h->size / size;
}

ExtRecord *record(ExtHeader *h, int index) {
    if (!h || index < 0 || index >= h->count) return nullptr;
    return &table(h)[index];
}

bool isBitmapType(uint8_t type) {
    return type == RES_BITMAP || type == RES_RLE_BITMAP || type == RES_TRANS_BITMAP;
}

// A run-length stream that fills width x height pixels exactly, inside the image.
bool streamFits(const uint8_t *p, const uint8_t *end, uint32_t pixels) {
    uint32_t filled = 0;
    while (filled < pixels) {
        if (p >= end) return false;
        uint32_t n = *p++;
        uint32_t bytes = 2;
        if (n == 0) {
            if (p >= end) return false;
            n = *p++;
            if (n == 0) n = 256;
            bytes = 2 * n;
        }
        if ((uint32_t)(end - p) < bytes) return false;
        p += bytes;
        filled += n;
    }
    return filled >= pixels; // the decoder stops at the last row
}

ExtBitmap *bitmapObject(ExtHeader *h, ExtRecord *r) {
    if (!h || !r || !isBitmapType(r->type)) return nullptr;
    return (ExtBitmap *)object(h, &r->addr, RES_BITMAP_SIZE);
}

// The whole of a bitmap record is usable: object, 16-bit pixels, and its data inside the image.
bool bitmapUsable(ExtHeader *h, ExtRecord *r) {
    ExtBitmap *b = bitmapObject(h, r);
    if (!b || b->BitsPerPixel != 16) return false;
    uint32_t pixels = (uint32_t)b->XSize * b->YSize;
    if (r->type == RES_RLE_BITMAP) {
        const uint8_t *p = resolve(h, &b->pData, 0);
        return p && streamFits(p, (const uint8_t *)h + h->size, pixels);
    }
    if (b->BytesPerLine < 2u * b->XSize) return false;
    return resolve(h, &b->pData, (uint32_t)b->BytesPerLine * b->YSize) != nullptr;
}

} // namespace

const ExtHeader *QV_ExtHeader(void) {
    return header();
}

uint32_t QV_ExtImageSize(void) {
    const ExtHeader *h = header();
    return h ? h->size : 0;
}

const uint8_t *QV_ExtPtr(uint32_t addr, uint32_t len) {
    const ExtHeader *h = header();
    return h ? span(h, addr, len) : nullptr;
}

int tryFixup(uint32_t *field, uint32_t base, uint32_t limit) {
    uint32_t v = *field;
    if (v < base) {
        if (v >= limit) return 0;
        *field = base + v;
        return 1;
    }
    return v - base <= limit;
}

int QV_Fixup_ExtMem(uint32_t base, uint32_t limit) {
    ExtHeader *h = header();
    if (!h || base != ExtMemBuffer) return 0;
    if (limit > h->size) limit = h->size; // nothing may point past the image itself
    ExtRecord *t = table(h);
    for (int i = 0; i < h->count; i++) {
        ExtRecord *r = &t[i];
        if (r->type > RES_TYPE_LAST || r->size > ExtMemSize) return 0;
        if (!tryFixup(&r->addr, base, limit)) return 0;
        switch (r->type) {
        case RES_BITMAP:
        case RES_RLE_BITMAP:
        case RES_TRANS_BITMAP: {
            ExtBitmap *b = (r->addr & 3) ? nullptr : (ExtBitmap *)span(h, r->addr, RES_BITMAP_SIZE);
            if (!b || !tryFixup(&b->pData, base, limit)) return 0;
            break;
        }
        case RES_MACROS: {
            if (i != 0) break;
            if ((r->addr & 3) || !fitsEntries(h, r->size, RES_MACRO_ENTRY_SIZE)) return 0;
            ExtMacroEntry *e = (ExtMacroEntry *)span(h, r->addr, r->size * RES_MACRO_ENTRY_SIZE);
            if (!e) return 0;
            for (uint32_t k = 0; k < r->size; k++)
                if (!tryFixup(&e[k].text, base, limit)) return 0;
            break;
        }
        case RES_FONT: {
            ExtFont *f = (r->addr & 3) ? nullptr : (ExtFont *)span(h, r->addr, RES_FONT_SIZE);
            if (!f || !tryFixup(&f->pData, base, limit) || !tryFixup(&f->pName, base, limit)) return 0;
            break;
        }
        default:
            break;
        }
    }
    return 1;
}

uint32_t ExtMemUsed(void) {
    ExtHeader *h = header();
    if (!h || h->count == 0) return 0;
    ExtRecord *last = &table(h)[h->count - 1];
    if (last->size == 0 || !tryFixup(&last->addr, ExtMemBuffer, h->size)) return 0;
    uint32_t end = last->addr - ExtMemBuffer;
    if (last->size > h->size - end) return 0;
    return end + last->size;
}

// ---- look-ups ---------------------------------------------------------------------------------------

const ExtRecord *QV_GetExtRecord(int index) {
    ExtHeader *h = header();
    ExtRecord *r = record(h, index);
    if (r) tryFixup(&r->addr, ExtMemBuffer, h->size);
    return r;
}

const ExtRecord *QV_GetExtBitmap(int index) {
    ExtHeader *h = header();
    if (index < 1) return nullptr;
    ExtRecord *r = record(h, index);
    return r && bitmapUsable(h, r) ? r : nullptr;
}

const ExtBitmap *QV_BitmapObject(const ExtRecord *record) {
    return bitmapObject(header(), const_cast<ExtRecord *>(record));
}

const uint8_t *QV_BitmapPixels(const ExtRecord *record) {
    ExtHeader *h = header();
    ExtRecord *r = const_cast<ExtRecord *>(record);
    if (!r || r->type == RES_RLE_BITMAP || !bitmapUsable(h, r)) return nullptr;
    ExtBitmap *b = bitmapObject(h, r);
    return span(h, b->pData, (uint32_t)b->BytesPerLine * b->YSize);
}

const uint8_t *QV_BitmapStream(const ExtRecord *record) {
    ExtHeader *h = header();
    ExtRecord *r = const_cast<ExtRecord *>(record);
    if (!r || r->type != RES_RLE_BITMAP || !bitmapUsable(h, r)) return nullptr;
    return span(h, bitmapObject(h, r)->pData, 0);
}

int QV_BitmapWidth(const ExtRecord *record) {
    const ExtBitmap *b = QV_BitmapObject(record);
    return b ? b->XSize : 0;
}

int QV_BitmapHeight(const ExtRecord *record) {
    const ExtBitmap *b = QV_BitmapObject(record);
    return b ? b->YSize : 0;
}

uint16_t QV_BitmapTransparent(const ExtRecord *record) {
    const ExtBitmap *b = QV_BitmapObject(record);
    return b ? (uint16_t)b->pPal : 0;
}

const uint8_t *QV_GetExtGIF(int index, uint32_t *size) {
    ExtHeader *h = header();
    ExtRecord *r = record(h, index);
    if (!r || r->type != RES_GIF || r->size == 0) return nullptr;
    const uint8_t *p = resolve(h, &r->addr, r->size);
    if (p && size) *size = r->size;
    return p;
}

const ExtFont *QV_GetExtFont(int index) {
    ExtHeader *h = header();
    ExtRecord *r = record(h, index);
    if (!r || (r->type & 0x0F) != RES_FONT) return nullptr;
    ExtFont *f = (ExtFont *)object(h, &r->addr, RES_FONT_SIZE);
    if (!f || !memchr(f->name, 0, RES_FONT_NAME_MAX)) return nullptr;
    return f;
}

const uint8_t *QV_ExtFontData(const ExtFont *font, uint32_t *available) {
    ExtHeader *h = header();
    if (!h || !font) return nullptr;
    uint8_t *p = resolve(h, &const_cast<ExtFont *>(font)->pData, 4);
    if (!p || memcmp(p, "GUIP", 4) != 0) return nullptr;
    if (available) *available = h->size - (uint32_t)(p - (uint8_t *)h);
    return p;
}

int QV_FindExtFont(const char *name) {
    const ExtHeader *h = header();
    if (!h || !name) return 0;
    for (int i = 0; i < h->count; i++) {
        const ExtFont *f = QV_GetExtFont(i);
        if (f && strcmp(f->name, name) == 0) return i;
    }
    return 0;
}

// ---- macros ------------------------------------------------------------------------------------------

static ExtMacroEntry *macroTable(ExtHeader *h, uint32_t *count) {
    ExtRecord *r = record(h, 0);
    if (!r || r->type != RES_MACROS || r->size == 0 || !fitsEntries(h, r->size, RES_MACRO_ENTRY_SIZE))
        return nullptr;
    ExtMacroEntry *e = (ExtMacroEntry *)object(h, &r->addr, r->size * RES_MACRO_ENTRY_SIZE);
    if (e) *count = r->size;
    return e;
}

int QV_ExtMacroCount(void) {
    uint32_t n = 0;
    return macroTable(header(), &n) ? (int)n : 0;
}

const ExtMacroEntry *QV_GetExtMacro(int k) {
    uint32_t n = 0;
    ExtHeader *h = header();
    ExtMacroEntry *e = macroTable(h, &n);
    if (!e || k < 1 || k > 255 || (uint32_t)k > n) return nullptr;
    tryFixup(&e[k - 1].text, ExtMemBuffer, h->size);
    return &e[k - 1];
}

const char *QV_ExtMacroText(const ExtMacroEntry *entry, const char **end) {
    ExtHeader *h = header();
    if (!h || !entry) return nullptr;
    const char *p = (const char *)resolve(h, &const_cast<ExtMacroEntry *>(entry)->text, 0);
    if (!p) return nullptr;
    const char *limit = (const char *)h + h->size;
    const char *q = p;
    for (uint32_t i = 0; i < entry->lines; i++) { // every line ends inside the image
        const char *nul = (const char *)memchr(q, 0, (size_t)(limit - q));
        if (!nul) return nullptr;
        q = nul + 1;
    }
    if (end) *end = limit;
    return p;
}

// The name table follows the entries: marker 0xA5A5, four bytes, then N + 1 strings.
static const char *nameTable(const ExtHeader *h, uint32_t n, const ExtMacroEntry *e) {
    uint32_t at =
        ExtMemBuffer + (uint32_t)((const uint8_t *)e - (const uint8_t *)h) + n * RES_MACRO_ENTRY_SIZE;
    const uint8_t *m = span(h, at, 6);
    if (!m || (uint16_t)(m[0] | m[1] << 8) != RES_META_MARKER) return nullptr;
    return (const char *)m + 6;
}

int QV_ExtMacroNamesPresent(void) {
    uint32_t n = 0;
    ExtHeader *h = header();
    ExtMacroEntry *e = macroTable(h, &n);
    return e && nameTable(h, n, e) ? 1 : 0;
}

const char *QV_ExtMacroName(int k) {
    uint32_t n = 0;
    ExtHeader *h = header();
    ExtMacroEntry *e = macroTable(h, &n);
    if (!e || k < 0 || (uint32_t)k > n) return nullptr;
    const char *s = nameTable(h, n, e);
    const char *limit = (const char *)h + h->size;
    for (int i = 0; s; i++) {
        const char *nul = (const char *)memchr(s, 0, (size_t)(limit - s));
        if (!nul) return nullptr;
        if (i == k) return s;
        s = nul + 1;
    }
    return nullptr;
}
