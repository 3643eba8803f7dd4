// The resource image in external memory: macros, bitmaps, user fonts and GIFs, looked up by record
// number. The image is stored with offsets from its start; they become 32-bit board addresses once,
// in place, after loading (never host pointers, so the image behaves the same on every board). Every
// look-up checks what it hands out against the image's bounds, so a corrupt image is rejected
// piece by piece instead of being trusted.
#pragma once

#include <stdint.h>

extern uint32_t ExtMemSize; // capacity of the image region, 0xB00000
extern uint32_t Flash1Size, Flash1SectorSize, Flash1NumSectors;
extern uint8_t splashShown;
extern uint32_t ExtMemRamBuffer; // board address of the image region
extern uint32_t ExtMemBuffer;    // board address of the image in use

enum : uint16_t { RES_MAGIC = 0xFEEB, RES_MAGIC_XT = 0xFEEC, RES_META_MARKER = 0xA5A5 };
enum : uint8_t {
    RES_BLANK = 0,
    RES_BITMAP = 1,
    RES_RLE_BITMAP = 2,
    RES_MACROS = 3,
    RES_FONT = 4,
    RES_TRANS_BITMAP = 5,
    RES_GIF = 6,
    RES_TYPE_LAST = 6,
};
enum : uint32_t {
    RES_HEADER_SIZE = 8,
    RES_RECORD_SIZE = 12,
    RES_BITMAP_SIZE = 20,
    RES_MACRO_ENTRY_SIZE = 8,
    RES_FONT_SIZE = 19,
    RES_FONT_NAME_MAX = 10, // with the terminator
};

// Image layout, little-endian like both targets.
struct ExtHeader {
    uint16_t magic;
    uint16_t count; // records, record 0 included
    uint32_t size;  // total bytes; equals the file size
};
struct ExtRecord {
    uint8_t type;
    uint8_t reserved[3];
    uint32_t addr; // object: offset from the image start, then board address
    uint32_t size; // object bytes; for the macro record the number of macros
};
struct ExtBitmap {
    uint16_t XSize, YSize;
    uint16_t BytesPerLine;
    uint16_t BitsPerPixel;
    uint32_t pData;    // offset, then board address
    uint32_t pPal;     // type 5: the transparent colour index in the low half
    uint32_t pMethods; // not used: the record type says how to draw
};
struct ExtMacroEntry {
    uint32_t text; // offset, then board address
    uint16_t lines;
    uint16_t number;
};
struct ExtFont {
    uint32_t pName; // offset, then board address
    uint32_t pData; // "GUIP" data: offset, then board address
    char name[RES_FONT_NAME_MAX];
    uint8_t sifType;
};
static_assert(sizeof(ExtHeader) == RES_HEADER_SIZE && sizeof(ExtRecord) == RES_RECORD_SIZE &&
                  sizeof(ExtBitmap) == RES_BITMAP_SIZE && sizeof(ExtMacroEntry) == RES_MACRO_ENTRY_SIZE,
              "resource image layout");

// ---- the image as a whole ---------------------------------------------------------------------------
// Header of the image in use, or null when the magic is not 0xFEEB or the header is not sane.
const ExtHeader *QV_ExtHeader(void);
// Bytes of the image in use (its header size, at most ExtMemSize), 0 when invalid.
uint32_t QV_ExtImageSize(void);
// Host pointer to [addr, addr + len) when that lies inside the image behind its record table.
const uint8_t *QV_ExtPtr(uint32_t addr, uint32_t len);
// Converts one stored field: an offset below base (it must be below limit) becomes base + offset;
// an address must not pass base + limit. 1 on success; converting twice changes nothing.
int tryFixup(uint32_t *field, uint32_t base, uint32_t limit);
// Converts every offset of the image in place; 1 when the whole table converted, 0 at the first
// failure (the records before it stay converted).
int QV_Fixup_ExtMem(uint32_t base, uint32_t limit);
// End of the last record's object minus the image's base; 0 when invalid.
uint32_t ExtMemUsed(void);

// ---- look-ups (each checks the magic, the index and the object's bounds) ----------------------------
const ExtRecord *QV_GetExtRecord(int index); // any type, 0..N-1
const ExtRecord *QV_GetExtBitmap(int index); // types 1, 2, 5; 1..N-1
const ExtBitmap *QV_BitmapObject(const ExtRecord *record);
// Pixel data of a plain or transparent bitmap, every row inside the image; null otherwise.
const uint8_t *QV_BitmapPixels(const ExtRecord *record);
// Run-length stream of a compressed bitmap, checked packet by packet to fill the bitmap inside the
// image; null otherwise.
const uint8_t *QV_BitmapStream(const ExtRecord *record);
int QV_BitmapWidth(const ExtRecord *record);
int QV_BitmapHeight(const ExtRecord *record);
uint16_t QV_BitmapTransparent(const ExtRecord *record);
const uint8_t *QV_GetExtGIF(int index, uint32_t *size);
// User fonts: the record's object and its "GUIP" data (with the bytes available up to the image end).
const ExtFont *QV_GetExtFont(int index);
const uint8_t *QV_ExtFontData(const ExtFont *font, uint32_t *available);
int QV_FindExtFont(const char *name); // record index of the first user font of that name, or 0
// Macros of record 0: count (0 when record 0 is not a macro table), entry k (1-based), its lines
// (with the end no line may pass) and its name from the name table ("" or null).
int QV_ExtMacroCount(void);
const ExtMacroEntry *QV_GetExtMacro(int k);
const char *QV_ExtMacroText(const ExtMacroEntry *entry, const char **end);
// 1: the name table is there; 0: the marker is missing.
int QV_ExtMacroNamesPresent(void);
const char *QV_ExtMacroName(int k); // k 0..N; null when the strings run out

// ---- loading ----------------------------------------------------------------------------------------
int QV_Load_ExtMem(void);
int QV_Load_ZefoBin_To_ExtMem(void);
// After an upload: the image the data flash now holds (when it begins with the magic; the region
// is converted in any case), or the card file `name` just written. 1, or 0 after a message.
int QV_Load_Uploaded_Flash(void);
int QV_Load_Uploaded_File(const char *name);
int QV_Check_Demo(void);

// Called when a splash bitmap has been drawn while the image loads; the layer above decides what
// follows from it (app/hooks.cpp turns the macro start notices on).
extern void (*splashShownHook)(void);
