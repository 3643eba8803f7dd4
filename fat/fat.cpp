// FAT12/FAT16 file system: volume mount, clusters, directories, the one open file.
//
// Write order keeps other files safe when the card goes away in the middle of an operation: data
// first, then the FAT (all copies), then the directory entry; a file being truncated or deleted
// loses its entry before its clusters are freed. The FAT sector cache is written back before any
// public operation returns, except during a file's writes, where it follows the data.
#include "fat/ff.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace ff {

int _FF_error;

// The status of an operation that failed: the code its step left in _FF_error.
static FF_STATUS failed(void) {
    return _FF_error != FF_OK ? (FF_STATUS)_FF_error : FF_ERR_MEDIA;
}

static uint32_t fixedClock(void) {
    return (uint32_t)((2010 - 1980) << 9 | 1 << 5 | 1) << 16;
}
uint32_t (*ffClock)(void) = fixedClock;

static FF_Volume firmwareVolume;
static FF_Volume *vol = &firmwareVolume;
static const uint8_t zeroSector[FF_SECTOR_SIZE] = {};

enum : uint32_t { FAT_ERROR = 0xFFFFFFFFu, MAX_DIR_ENTRIES = 65536 };

static inline uint16_t rd16(const uint8_t *p) {
    return (uint16_t)(p[0] | p[1] << 8);
}
static inline uint32_t rd32(const uint8_t *p) {
    return rd16(p) | (uint32_t)rd16(p + 2) << 16;
}
static inline void wr16(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
static inline void wr32(uint8_t *p, uint32_t v) {
    wr16(p, v);
    wr16(p + 2, v >> 16);
}
static inline uint32_t minU(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

FF_Volume *ffSelect(FF_Volume *v) {
    FF_Volume *old = vol;
    vol = v ? v : &firmwareVolume;
    return old;
}

// ---- sectors ------------------------------------------------------------------------------------
static int readSector(uint32_t sector, uint8_t *buffer) {
    if (!vol->device.read || !vol->device.read(vol->device.context, sector, buffer)) {
        _FF_error = FF_ERR_MEDIA;
        return 0;
    }
    return 1;
}

static int writeSector(uint32_t sector, const uint8_t *buffer) {
    if (!vol->device.write || !vol->device.write(vol->device.context, sector, buffer)) {
        _FF_error = FF_ERR_MEDIA;
        return 0;
    }
    return 1;
}

// A sector written around the directory cache: the cache must not keep an older copy of it.
static int writeData(uint32_t sector, const uint8_t *buffer) {
    if (vol->dirCacheSector == sector) vol->dirCacheSector = FF_NO_SECTOR;
    return writeSector(sector, buffer);
}

static void dropCaches(void) {
    vol->fatCacheSector = FF_NO_SECTOR;
    vol->fatCacheDirty = 0;
    vol->dirCacheSector = FF_NO_SECTOR;
    vol->listActive = 0;
}

// ---- the FAT --------------------------------------------------------------------------------------
static int fatFlush(void) {
    if (!vol->fatCacheDirty) return 1;
    uint32_t rel = vol->fatCacheSector - vol->fatStart;
    for (uint32_t k = 0; k < vol->fatCount; k++)
        if (!writeSector(vol->fatStart + k * vol->fatSectors + rel, vol->fatCache)) return 0;
    vol->fatCacheDirty = 0;
    return 1;
}

static uint8_t *fatByte(uint32_t offset) {
    uint32_t sector = vol->fatStart + offset / FF_SECTOR_SIZE;
    if (vol->fatCacheSector != sector) {
        if (!fatFlush()) return nullptr;
        vol->fatCacheSector = FF_NO_SECTOR;
        if (!readSector(sector, vol->fatCache)) return nullptr;
        vol->fatCacheSector = sector;
    }
    return &vol->fatCache[offset % FF_SECTOR_SIZE];
}

static uint32_t fatGet(uint32_t c) {
    if (vol->fatBits == 12) {
        uint32_t off = c + c / 2; // a FAT12 entry may straddle two sectors
        uint8_t *p = fatByte(off);
        if (!p) return FAT_ERROR;
        uint32_t lo = *p;
        p = fatByte(off + 1);
        if (!p) return FAT_ERROR;
        uint32_t v = lo | (uint32_t)*p << 8;
        return (c & 1) ? v >> 4 : v & 0xFFF;
    }
    uint8_t *p = fatByte(c * 2);
    return p ? (uint32_t)rd16(p) : (uint32_t)FAT_ERROR;
}

static int fatSet(uint32_t c, uint32_t value) {
    if (vol->fatBits == 12) {
        uint32_t off = c + c / 2;
        uint8_t *p = fatByte(off);
        if (!p) return 0;
        *p = (c & 1) ? (uint8_t)((*p & 0x0F) | (value << 4 & 0xF0)) : (uint8_t)value;
        vol->fatCacheDirty = 1;
        p = fatByte(off + 1);
        if (!p) return 0;
        *p = (c & 1) ? (uint8_t)(value >> 4) : (uint8_t)((*p & 0xF0) | (value >> 8 & 0x0F));
        vol->fatCacheDirty = 1;
        return 1;
    }
    uint8_t *p = fatByte(c * 2);
    if (!p) return 0;
    wr16(p, value);
    vol->fatCacheDirty = 1;
    return 1;
}

static uint32_t endOfChain(void) {
    return vol->fatBits == 12 ? 0xFFFu : 0xFFFFu;
}
static bool isEnd(uint32_t v) {
    return v >= (vol->fatBits == 12 ? 0xFF8u : 0xFFF8u);
}
static bool isData(uint32_t c) {
    return c >= 2 && c < vol->clusterCount + 2;
}
static uint32_t clusterSector(uint32_t c) {
    return vol->dataStart + (c - 2) * vol->sectorsPerCluster;
}
static uint32_t clusterSize(void) {
    return (uint32_t)vol->sectorsPerCluster * FF_SECTOR_SIZE;
}

// The cluster after c: 1 with *next set (0 at the end of the chain), 0 on error or a broken chain.
static int nextCluster(uint32_t c, uint32_t *next) {
    uint32_t v = fatGet(c);
    if (v == FAT_ERROR) return 0;
    if (isEnd(v)) {
        *next = 0;
        return 1;
    }
    if (!isData(v)) {
        _FF_error = FF_ERR_FORMAT;
        return 0;
    }
    *next = v;
    return 1;
}

// Takes a free cluster, marks it as the end of a chain and links it after `previous` (0: none).
static uint32_t allocCluster(uint32_t previous) {
    uint32_t n = vol->clusterCount;
    uint32_t c = isData(vol->allocHint) ? vol->allocHint : 2;
    for (uint32_t i = 0; i < n; i++, c++) {
        if (c >= n + 2) c = 2;
        uint32_t v = fatGet(c);
        if (v == FAT_ERROR) return 0;
        if (v != 0) continue;
        if (!fatSet(c, endOfChain())) return 0;
        if (previous && !fatSet(previous, c)) return 0;
        vol->allocHint = c + 1;
        return c;
    }
    _FF_error = FF_ERR_FULL;
    return 0;
}

static int freeChain(uint32_t c) {
    for (uint32_t guard = 0; isData(c) && guard < vol->clusterCount; guard++) {
        uint32_t v = fatGet(c);
        if (v == FAT_ERROR || !fatSet(c, 0)) return 0;
        if (c < vol->allocHint) vol->allocHint = c;
        if (!isData(v)) break;
        c = v;
    }
    return 1;
}

static int zeroCluster(uint32_t c) {
    uint32_t s = clusterSector(c);
    for (uint32_t i = 0; i < vol->sectorsPerCluster; i++)
        if (!writeData(s + i, zeroSector)) return 0;
    return 1;
}

// ---- directories ----------------------------------------------------------------------------------
struct DirIter {
    uint32_t dir;     // first cluster of the directory, 0 = root
    uint32_t cluster; // cluster of the current entry (subdirectories)
    uint32_t sector;  // sector of the current entry
    uint32_t index;   // entry number within the directory
};

static int dirStart(DirIter *it, uint32_t dir) {
    it->dir = dir;
    it->index = 0;
    if (dir == 0) {
        it->cluster = 0;
        it->sector = vol->rootStart;
        return 1;
    }
    if (!isData(dir)) {
        _FF_error = FF_ERR_FORMAT;
        return 0;
    }
    it->cluster = dir;
    it->sector = clusterSector(dir);
    return 1;
}

// The current entry's 32 bytes inside the directory cache.
static uint8_t *dirEntry(const DirIter *it) {
    if (vol->dirCacheSector != it->sector) {
        vol->dirCacheSector = FF_NO_SECTOR;
        if (!readSector(it->sector, vol->dirCache)) return nullptr;
        vol->dirCacheSector = it->sector;
    }
    return vol->dirCache + (it->index % 16) * 32;
}

static int dirWrite(void) {
    return writeSector(vol->dirCacheSector, vol->dirCache);
}

// Moves to the next entry: 1, 0 at the end of the directory, -1 on error. With `grow`, a
// subdirectory whose chain ends gets another (zeroed) cluster.
static int dirNext(DirIter *it, bool grow) {
    uint32_t i = it->index + 1;
    if (it->dir == 0) {
        if (i >= vol->rootEntries) return 0;
        if (i % 16 == 0) it->sector++;
        it->index = i;
        return 1;
    }
    if (i >= MAX_DIR_ENTRIES) return 0;
    if (i % 16 != 0) {
        it->index = i;
        return 1;
    }
    if ((i / 16) % vol->sectorsPerCluster != 0) {
        it->sector++;
        it->index = i;
        return 1;
    }
    uint32_t next;
    if (!nextCluster(it->cluster, &next)) return -1;
    if (next == 0) {
        if (!grow) return 0;
        next = allocCluster(it->cluster);
        if (!next || !zeroCluster(next) || !fatFlush()) return -1;
    }
    it->cluster = next;
    it->sector = clusterSector(next);
    it->index = i;
    return 1;
}

static bool isLongName(const uint8_t *e) {
    return (e[11] & 0x3F) == FF_ATTR_LONG_NAME;
}

struct Found {
    DirIter at;        // the short entry
    DirIter longStart; // the first long-name entry in front of it
    bool hasLong;
    uint8_t raw[32];
};

// Looks up an 11-byte name in a directory: 1 found, 0 not found, -1 error.
static int findEntry(uint32_t dir, const uint8_t *name11, Found *out) {
    DirIter it;
    if (!dirStart(&it, dir)) return -1;
    bool inLong = false;
    DirIter longStart = it;
    for (;;) {
        const uint8_t *e = dirEntry(&it);
        if (!e) return -1;
        if (e[0] == 0) break;
        if (e[0] == 0xE5) {
            inLong = false;
        } else if (isLongName(e)) {
            if (!inLong) longStart = it;
            inLong = true;
        } else {
            if (!(e[11] & FF_ATTR_VOLUME) && memcmp(e, name11, 11) == 0) {
                out->at = it;
                out->longStart = longStart;
                out->hasLong = inLong;
                memcpy(out->raw, e, 32);
                return 1;
            }
            inLong = false;
        }
        int r = dirNext(&it, false);
        if (r < 0) return -1;
        if (r == 0) break;
    }
    _FF_error = FF_ERR_NOT_FOUND;
    return 0;
}

// Marks the entries from `from` up to and including `to` as deleted.
static int markDeleted(DirIter from, const DirIter &to) {
    for (;;) {
        uint8_t *e = dirEntry(&from);
        if (!e) return 0;
        e[0] = 0xE5;
        if (!dirWrite()) return 0;
        if (from.index >= to.index) return 1;
        if (dirNext(&from, false) <= 0) return 0;
    }
}

// A free entry (deleted or never used) in the directory; a full subdirectory grows.
static int findFreeSlot(uint32_t dir, DirIter *out) {
    DirIter it;
    if (!dirStart(&it, dir)) return 0;
    for (;;) {
        const uint8_t *e = dirEntry(&it);
        if (!e) return 0;
        if (e[0] == 0 || e[0] == 0xE5) {
            *out = it;
            return 1;
        }
        int r = dirNext(&it, true);
        if (r < 0) return 0;
        if (r == 0) {
            _FF_error = FF_ERR_FULL;
            return 0;
        }
    }
}

static void stampWrite(uint8_t *e) {
    uint32_t t = ffClock();
    wr16(e + 18, t >> 16); // last access date
    wr16(e + 22, t);
    wr16(e + 24, t >> 16);
}

static void fillEntry(uint8_t *e, const uint8_t *name11, uint8_t attr, uint32_t cluster, uint32_t size) {
    memset(e, 0, 32);
    memcpy(e, name11, 11);
    e[11] = attr;
    uint32_t t = ffClock();
    wr16(e + 14, t);
    wr16(e + 16, t >> 16);
    stampWrite(e);
    wr16(e + 26, cluster);
    wr32(e + 28, size);
}

static void decodeEntry(const uint8_t *e, FF_DIRENT *d) {
    memcpy(d->name, e, 8);
    memcpy(d->ext, e + 8, 3);
    d->attr = e[11];
    d->ntCase = e[12];
    d->createTenths = e[13];
    d->createTime = rd16(e + 14);
    d->createDate = rd16(e + 16);
    d->accessDate = rd16(e + 18);
    d->clusterHigh = rd16(e + 20);
    d->writeTime = rd16(e + 22);
    d->writeDate = rd16(e + 24);
    d->cluster = rd16(e + 26);
    d->size = rd32(e + 28);
}

// ---- names and paths ------------------------------------------------------------------------------
static bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

static bool validNameChar(uint8_t c) {
    if (c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return c != 0 && strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

// One path component as an 11-byte directory name; false when it is no valid 8.3 name. "." and
// ".." are accepted as themselves.
static bool makeShortName(const char *s, uint32_t len, uint8_t *out) {
    memset(out, ' ', 11);
    if (len == 1 && s[0] == '.') {
        out[0] = '.';
        return true;
    }
    if (len == 2 && s[0] == '.' && s[1] == '.') {
        out[0] = out[1] = '.';
        return true;
    }
    uint32_t i = 0, n = 0;
    for (; i < len && s[i] != '.'; i++) {
        uint8_t c = (uint8_t)s[i];
        if (c >= 'a' && c <= 'z') c = (uint8_t)(c - 32);
        if (n == 8 || !validNameChar(c)) return false;
        out[n++] = c;
    }
    if (n == 0) return false;
    if (i < len) {
        uint32_t m = 0;
        for (i++; i < len; i++) {
            uint8_t c = (uint8_t)s[i];
            if (c >= 'a' && c <= 'z') c = (uint8_t)(c - 32);
            if (m == 3 || !validNameChar(c)) return false;
            out[8 + m++] = c;
        }
    }
    if (out[0] == 0xE5) out[0] = 0x05; // 0xE5 would read as a deleted entry
    return true;
}

static bool isDotName(const uint8_t *name11) {
    return name11[0] == '.';
}

// Follows one component from directory *dir into a subdirectory.
static int enterDir(uint32_t *dir, const char *s, uint32_t len) {
    uint8_t n[11];
    if (!makeShortName(s, len, n)) {
        _FF_error = FF_ERR_NAME;
        return 0;
    }
    if (n[0] == '.' && n[1] == ' ') return 1;
    if (*dir == 0 && n[0] == '.') return 1; // the parent of the root is the root
    Found f;
    if (findEntry(*dir, n, &f) <= 0) return 0;
    if (!(f.raw[11] & FF_ATTR_DIRECTORY)) {
        _FF_error = FF_ERR_NOT_DIR;
        return 0;
    }
    uint32_t c = rd16(f.raw + 26);
    if (c != 0 && !isData(c)) {
        _FF_error = FF_ERR_FORMAT;
        return 0;
    }
    *dir = c;
    return 1;
}

// Resolves every component of the path but the last, which is returned as text (length 0 for the
// root path or a path that ends in separators only).
static int walkPath(const char *path, uint32_t *dir, const char **leaf, uint32_t *leafLen) {
    uint32_t d = vol->currentDir;
    const char *p = path;
    if (isSeparator(*p)) {
        d = 0;
        while (isSeparator(*p)) p++;
    }
    for (;;) {
        const char *start = p;
        while (*p && !isSeparator(*p)) p++;
        uint32_t len = (uint32_t)(p - start);
        const char *q = p;
        while (isSeparator(*q)) q++;
        if (*q == 0) {
            *dir = d;
            *leaf = start;
            *leafLen = len;
            return 1;
        }
        if (!enterDir(&d, start, len)) return 0;
        p = q;
    }
}

// The directory and 11-byte name of a path naming a file or directory (not "." or "..").
static int resolveName(const char *path, uint32_t *dir, uint8_t *name11) {
    if (!path || !*path) {
        _FF_error = FF_ERR_NO_FILE;
        return 0;
    }
    if (!vol->mounted) {
        _FF_error = FF_ERR_MEDIA;
        return 0;
    }
    const char *leaf;
    uint32_t len;
    if (!walkPath(path, dir, &leaf, &len)) return 0;
    if (!makeShortName(leaf, len, name11) || isDotName(name11)) {
        _FF_error = FF_ERR_NAME;
        return 0;
    }
    return 1;
}

// ---- volumes --------------------------------------------------------------------------------------
static bool bootJump(const uint8_t *b) {
    return b[0] == 0xE9 || (b[0] == 0xEB && b[2] == 0x90);
}
static bool signature(const uint8_t *b) {
    return b[510] == 0x55 && b[511] == 0xAA;
}

FF_STATUS ffMount(const FF_BlockDevice *device) {
    FF_Volume *v = vol;
    v->mounted = 0;
    v->file.open = 0;
    v->device = *device;
    dropCaches();
    uint8_t *b = v->dirCache;
    if (!readSector(0, b)) return failed();
    _FF_error = FF_ERR_FORMAT;
    if (!signature(b)) return failed();
    uint32_t start = 0;
    if (!bootJump(b) || b[0x1BE] == 0x80) {
        // A partition table: the first entry with a type gives the volume.
        uint32_t i = 0;
        while (i < 4 && b[0x1BE + 16 * i + 4] == 0) i++;
        if (i == 4) return failed();
        start = rd32(b + 0x1BE + 16 * i + 8);
        if (!readSector(start, b)) return failed();
        _FF_error = FF_ERR_FORMAT;
        if (!signature(b) || !bootJump(b)) return failed();
    }
    uint32_t spc = b[13], reserved = rd16(b + 14), fats = b[16], rootEntries = rd16(b + 17);
    uint32_t total = rd16(b + 19) ? rd16(b + 19) : rd32(b + 32);
    uint32_t fatSectors = rd16(b + 22);
    if (rd16(b + 11) != FF_SECTOR_SIZE || spc == 0 || (spc & (spc - 1)) != 0 || reserved == 0 || fats == 0 ||
        rootEntries == 0 || fatSectors == 0) // no 16-bit FAT size: a FAT32 volume
        return failed();
    uint32_t rootSectors = (rootEntries * 32 + FF_SECTOR_SIZE - 1) / FF_SECTOR_SIZE;
    uint32_t meta = reserved + fats * fatSectors + rootSectors;
    if (meta >= total || start > 0xFFFFFFFFu - total) return failed();
    uint32_t clusters = (total - meta) / spc;
    if (clusters == 0 || clusters > 65524) return failed(); // more clusters than FAT16 can have: FAT32
    uint32_t bits = clusters <= 4084 ? 12 : 16;
    uint32_t fatBytes = bits == 12 ? ((clusters + 2) * 3 + 1) / 2 : (clusters + 2) * 2;
    if (fatBytes > fatSectors * FF_SECTOR_SIZE) return failed();
    v->fatBits = (uint8_t)bits;
    v->sectorsPerCluster = (uint8_t)spc;
    v->fatCount = (uint8_t)fats;
    v->media = b[21];
    v->volumeStart = start;
    v->totalSectors = total;
    v->fatStart = start + reserved;
    v->fatSectors = fatSectors;
    v->rootStart = v->fatStart + fats * fatSectors;
    v->rootSectors = rootSectors;
    v->rootEntries = rootEntries;
    v->dataStart = v->rootStart + rootSectors;
    v->clusterCount = clusters;
    v->currentDir = 0;
    v->allocHint = 2;
    v->mounted = 1;
    _FF_error = FF_OK;
    return FF_OK;
}

void ffUnmount(void) {
    vol->mounted = 0;
    vol->file.open = 0;
    dropCaches();
}

int ffMounted(void) {
    return vol->mounted;
}
uint32_t ffClusterBytes(void) {
    return vol->mounted ? clusterSize() : 0;
}

uint32_t ffFreeClusters(void) {
    if (!vol->mounted) return 0;
    uint32_t n = 0;
    for (uint32_t c = 2; c < vol->clusterCount + 2; c++) {
        uint32_t v = fatGet(c);
        if (v == FAT_ERROR) return 0;
        if (v == 0) n++;
    }
    return n;
}

struct Geometry {
    uint32_t bits, spc, fatSectors, clusters;
};

enum : uint32_t { FORMAT_RESERVED = 1, FORMAT_FATS = 2, FORMAT_ROOT_ENTRIES = 512, FORMAT_ROOT_SECTORS = 32 };

static bool tryGeometry(uint32_t total, uint32_t bits, uint32_t spc, Geometry *g) {
    uint32_t overhead = FORMAT_RESERVED + FORMAT_ROOT_SECTORS;
    uint32_t fs = 1;
    for (int i = 0; i < 32; i++) {
        if (overhead + FORMAT_FATS * fs >= total) return false;
        uint32_t clusters = (total - overhead - FORMAT_FATS * fs) / spc;
        uint32_t bytes = bits == 12 ? ((clusters + 2) * 3 + 1) / 2 : (clusters + 2) * 2;
        uint32_t need = (bytes + FF_SECTOR_SIZE - 1) / FF_SECTOR_SIZE;
        if (need <= fs) {
            bool fits =
                bits == 12 ? clusters >= 1 && clusters <= 4084 : clusters >= 4085 && clusters <= 65524;
            if (!fits || fs > 0xFFFF) return false;
            *g = {bits, spc, fs, clusters};
            return true;
        }
        fs = need;
    }
    return false;
}

static bool chooseGeometry(uint32_t total, int fatBits, Geometry *g) {
    uint32_t bits = fatBits ? (uint32_t)fatBits : (total <= 8400 ? 12u : 16u);
    if (bits != 12 && bits != 16) return false;
    uint32_t first = 1; // FAT16 starts from the usual cluster size for the volume size
    if (bits == 16) {
        static const uint32_t limits[] = {32680, 262144, 524288, 1048576, 2097152, 4194304};
        first = 2;
        for (uint32_t i = 0; i < 6 && total > limits[i]; i++) first *= 2;
    }
    for (uint32_t spc = first; spc <= 128; spc *= 2)
        if (tryGeometry(total, bits, spc, g)) return true;
    for (uint32_t spc = first / 2; spc >= 1; spc /= 2)
        if (tryGeometry(total, bits, spc, g)) return true;
    return false;
}

static int writeEmptyTables(uint32_t fatStart, uint32_t fatSectors, uint32_t fats, uint32_t rootSectors,
                            uint32_t bits, uint8_t media) {
    uint8_t *b = vol->dirCache;
    vol->dirCacheSector = FF_NO_SECTOR;
    for (uint32_t k = 0; k < fats; k++) {
        memset(b, 0, FF_SECTOR_SIZE);
        b[0] = media;
        b[1] = 0xFF;
        b[2] = 0xFF;
        if (bits == 16) b[3] = 0xFF;
        if (!writeSector(fatStart + k * fatSectors, b)) return 0;
        for (uint32_t s = 1; s < fatSectors; s++)
            if (!writeSector(fatStart + k * fatSectors + s, zeroSector)) return 0;
    }
    uint32_t root = fatStart + fats * fatSectors;
    for (uint32_t s = 0; s < rootSectors; s++)
        if (!writeSector(root + s, zeroSector)) return 0;
    return 1;
}

FF_STATUS ffFormat(const FF_BlockDevice *device, uint32_t start, uint32_t sectors, int fatBits) {
    if (vol->file.open) {
        _FF_error = FF_ERR_OPEN;
        return failed();
    }
    Geometry g;
    if (!chooseGeometry(sectors, fatBits, &g)) {
        _FF_error = FF_ERR_FORMAT;
        return failed();
    }
    vol->mounted = 0;
    vol->device = *device;
    dropCaches();
    uint8_t *b = vol->dirCache;
    memset(b, 0, FF_SECTOR_SIZE);
    static const uint8_t jump[3] = {0xEB, 0x3C, 0x90};
    memcpy(b, jump, 3);
    memcpy(b + 3, "ZEFO5   ", 8);
    wr16(b + 11, FF_SECTOR_SIZE);
    b[13] = (uint8_t)g.spc;
    wr16(b + 14, FORMAT_RESERVED);
    b[16] = FORMAT_FATS;
    wr16(b + 17, FORMAT_ROOT_ENTRIES);
    if (sectors < 0x10000)
        wr16(b + 19, sectors);
    else
        wr32(b + 32, sectors);
    b[21] = 0xF8;
    wr16(b + 22, g.fatSectors);
    wr16(b + 24, 63);
    wr16(b + 26, 255);
    wr32(b + 28, start);
    b[36] = 0x80;
    b[38] = 0x29;
    wr32(b + 39, ffClock() ^ sectors);
    memcpy(b + 43, "NO NAME    ", 11);
    memcpy(b + 54, g.bits == 12 ? "FAT12   " : "FAT16   ", 8);
    b[62] = 0xF4; // hlt: this volume is not bootable
    b[63] = 0xEB;
    b[64] = 0xFD;
    b[510] = 0x55;
    b[511] = 0xAA;
    if (!writeSector(start, b)) return failed();
    if (!writeEmptyTables(start + FORMAT_RESERVED, g.fatSectors, FORMAT_FATS, FORMAT_ROOT_SECTORS, g.bits,
                          0xF8))
        return failed();
    return FF_OK;
}

FF_STATUS fquickformat(void) {
    if (vol->file.open) {
        _FF_error = FF_ERR_OPEN;
        return failed();
    }
    if (vol->mounted) {
        // The boot sector stays; the FATs and the root directory start empty.
        dropCaches();
        if (!writeEmptyTables(vol->fatStart, vol->fatSectors, vol->fatCount, vol->rootSectors, vol->fatBits,
                              vol->media))
            return failed();
        vol->currentDir = 0;
        vol->allocHint = 2;
        return FF_OK;
    }
    if (!vol->device.read || vol->device.sectors == 0) {
        _FF_error = FF_ERR_MEDIA;
        return failed();
    }
    FF_BlockDevice device = vol->device;
    if (ffFormat(&device, 0, device.sectors, 0) != 0) return failed();
    return ffMount(&device);
}

// ---- the open file --------------------------------------------------------------------------------
static bool usable(FF_FILE *f) {
    if (!f || f != &vol->file || !f->open) {
        _FF_error = FF_ERR_NO_FILE;
        return false;
    }
    if (!vol->mounted) {
        _FF_error = FF_ERR_MEDIA;
        return false;
    }
    return true;
}

static int flushBuffer(FF_FILE *f) {
    if (f->bufferDirty) {
        if (!writeData(f->bufferSector, f->buffer)) return 0;
        f->bufferDirty = 0;
    }
    return 1;
}

static int loadBuffer(FF_FILE *f, uint32_t sector, uint32_t offset, bool read) {
    if (f->bufferSector == sector) return 1;
    if (!flushBuffer(f)) return 0;
    f->bufferSector = FF_NO_SECTOR;
    if (read) {
        if (!readSector(sector, f->buffer)) return 0;
    } else {
        memset(f->buffer, 0, FF_SECTOR_SIZE);
    }
    f->bufferSector = sector;
    f->bufferOffset = offset;
    return 1;
}

// The sector holding file offset pos; with `grow` the chain is extended to reach it.
static int fileSector(FF_FILE *f, uint32_t pos, bool grow, uint32_t *sector) {
    if (f->mode == FF_APPEND_CONTIG) {
        if (pos >= f->contigLimit) {
            _FF_error = FF_ERR_FULL;
            return 0;
        }
        *sector = clusterSector(f->firstCluster) + pos / FF_SECTOR_SIZE;
        return 1;
    }
    uint32_t cb = clusterSize();
    uint32_t index = pos / cb;
    if (f->firstCluster == 0) {
        if (!grow) {
            _FF_error = FF_ERR_FORMAT;
            return 0;
        }
        uint32_t c = allocCluster(0);
        if (!c) return 0;
        f->firstCluster = c;
        f->entryDirty = 1;
        f->cluster = 0;
    }
    if (f->cluster == 0 || index < f->clusterIndex) {
        f->cluster = f->firstCluster;
        f->clusterIndex = 0;
    }
    while (f->clusterIndex < index) {
        uint32_t next;
        if (!nextCluster(f->cluster, &next)) return 0;
        if (next == 0) {
            if (!grow) {
                _FF_error = FF_ERR_FORMAT;
                return 0;
            }
            next = allocCluster(f->cluster);
            if (!next) return 0;
        }
        f->cluster = next;
        f->clusterIndex++;
    }
    *sector = clusterSector(f->cluster) + (pos % cb) / FF_SECTOR_SIZE;
    return 1;
}

// Keeps the first `keep` clusters of the file's chain and frees the rest.
static int truncateChain(FF_FILE *f, uint32_t keep) {
    f->cluster = 0;
    if (keep == 0) {
        uint32_t c = f->firstCluster;
        f->firstCluster = 0;
        f->entryDirty = 1;
        return c ? freeChain(c) : 1;
    }
    uint32_t c = f->firstCluster;
    for (uint32_t i = 1; i < keep; i++) {
        uint32_t next;
        if (!nextCluster(c, &next)) return 0;
        if (next == 0) return 1;
        c = next;
    }
    uint32_t rest;
    if (!nextCluster(c, &rest)) return 0;
    if (rest == 0) return 1;
    return fatSet(c, endOfChain()) && freeChain(rest);
}

static FF_FILE *openFile(const char *name, int mode, bool create) {
    FF_FILE *f = &vol->file;
    if (name && *name && vol->mounted && f->open) {
        _FF_error = FF_ERR_OPEN;
        return nullptr;
    }
    uint32_t dir;
    uint8_t n11[11];
    if (!resolveName(name, &dir, n11)) return nullptr;
    if (mode < FF_READ || mode > FF_APPEND_CONTIG) {
        _FF_error = FF_ERR_ACCESS;
        return nullptr;
    }
    Found fd;
    int r = findEntry(dir, n11, &fd);
    if (r < 0) return nullptr;
    memset(f, 0, offsetof(FF_FILE, buffer));
    f->pushback = -1;
    f->bufferSector = FF_NO_SECTOR;
    if (r == 1) {
        uint8_t attr = fd.raw[11];
        if (attr & FF_ATTR_DIRECTORY) {
            _FF_error = FF_ERR_IS_DIR;
            return nullptr;
        }
        if (mode != FF_READ && (attr & FF_ATTR_READ_ONLY)) {
            _FF_error = FF_ERR_ACCESS;
            return nullptr;
        }
        f->attr = attr;
        f->firstCluster = rd16(fd.raw + 26);
        f->size = rd32(fd.raw + 28);
        if ((f->firstCluster != 0 && !isData(f->firstCluster)) ||
            f->size / clusterSize() > vol->clusterCount) { // more than the volume can hold
            _FF_error = FF_ERR_FORMAT;
            return nullptr;
        }
        f->entrySector = fd.at.sector;
        f->entryOffset = (uint16_t)((fd.at.index % 16) * 32);
        if (create || mode == FF_WRITE) {
            // The entry lets go of the clusters before they are freed.
            uint32_t c = f->firstCluster;
            f->firstCluster = 0;
            f->size = 0;
            uint8_t *e = dirEntry(&fd.at);
            if (!e) return nullptr;
            wr16(e + 26, 0);
            wr32(e + 28, 0);
            stampWrite(e);
            if (!dirWrite()) return nullptr;
            if (c && (!freeChain(c) || !fatFlush())) return nullptr;
        } else if (mode == FF_APPEND) {
            f->position = f->size;
        } else if (mode == FF_APPEND_CONTIG) {
            // Written without the FAT: the clusters must really be consecutive.
            uint32_t count = 0, c = f->firstCluster;
            while (c) {
                uint32_t next;
                if (!nextCluster(c, &next)) return nullptr;
                count++;
                if (next != 0 && next != c + 1) {
                    _FF_error = FF_ERR_ACCESS;
                    return nullptr;
                }
                c = next;
            }
            f->contigLimit = count * clusterSize();
        }
    } else {
        if (mode == FF_READ || mode == FF_APPEND_CONTIG) return nullptr;
        DirIter slot;
        if (!findFreeSlot(dir, &slot)) return nullptr;
        uint8_t *e = dirEntry(&slot);
        if (!e) return nullptr;
        fillEntry(e, n11, FF_ATTR_ARCHIVE, 0, 0);
        if (!dirWrite()) return nullptr;
        f->attr = FF_ATTR_ARCHIVE;
        f->entrySector = slot.sector;
        f->entryOffset = (uint16_t)((slot.index % 16) * 32);
    }
    f->mode = (uint8_t)(create ? FF_WRITE : mode);
    f->open = 1;
    _FF_error = FF_OK;
    return f;
}

FF_FILE *fopen(const char *name, int mode) {
    return openFile(name, mode, false);
}

FF_FILE *fcreate(const char *name, int mode) {
    (void)mode; // a new file is empty whether it is then written or appended to
    return openFile(name, FF_WRITE, true);
}

FF_STATUS fcreate_contig_file(const char *name, uint32_t size) {
    if (vol->mounted && vol->file.open) {
        _FF_error = FF_ERR_OPEN;
        return failed();
    }
    uint32_t dir;
    uint8_t n11[11];
    if (!resolveName(name, &dir, n11)) return failed();
    Found fd;
    int r = findEntry(dir, n11, &fd);
    if (r < 0) return failed();
    if (r == 1) {
        _FF_error = FF_ERR_EXISTS;
        return failed();
    }
    uint32_t cb = clusterSize();
    uint32_t need = size / cb + (size % cb != 0);
    uint32_t first = 0;
    if (need) {
        uint32_t run = 0;
        for (uint32_t c = 2; c < vol->clusterCount + 2 && run < need; c++) {
            uint32_t v = fatGet(c);
            if (v == FAT_ERROR) return failed();
            if (v != 0) {
                run = 0;
                continue;
            }
            if (run++ == 0) first = c;
        }
        if (run < need) {
            _FF_error = FF_ERR_FULL;
            return failed();
        }
        for (uint32_t i = 0; i < need; i++)
            if (!fatSet(first + i, i + 1 == need ? endOfChain() : first + i + 1)) return failed();
        if (!fatFlush()) return failed();
    }
    DirIter slot;
    uint8_t *e;
    if (!findFreeSlot(dir, &slot) || !(e = dirEntry(&slot))) {
        if (first) {
            freeChain(first);
            fatFlush();
        }
        return failed();
    }
    fillEntry(e, n11, FF_ATTR_ARCHIVE, first, size);
    return dirWrite() ? FF_OK : failed();
}

FF_STATUS fflush(FF_FILE *f) {
    if (!usable(f)) return failed();
    if (!flushBuffer(f) || !fatFlush()) return failed();
    if (f->entryDirty) {
        if (vol->dirCacheSector != f->entrySector) {
            vol->dirCacheSector = FF_NO_SECTOR;
            if (!readSector(f->entrySector, vol->dirCache)) return failed();
            vol->dirCacheSector = f->entrySector;
        }
        uint8_t *e = vol->dirCache + f->entryOffset;
        wr16(e + 26, f->firstCluster);
        wr32(e + 28, f->size);
        e[11] |= FF_ATTR_ARCHIVE;
        stampWrite(e);
        if (!dirWrite()) return failed();
        f->entryDirty = 0;
    }
    return FF_OK;
}

FF_STATUS fclose(FF_FILE *f) {
    if (f && f == &vol->file && f->open && !vol->mounted) {
        f->open = 0; // the card has gone: nothing can be written any more
        _FF_error = FF_ERR_MEDIA;
        return failed();
    }
    FF_STATUS r = fflush(f);
    if (f == &vol->file) f->open = 0;
    return r;
}

FF_STATUS fsetFileSize(FF_FILE *f, uint32_t size) {
    if (!usable(f)) return failed();
    uint32_t limit = f->mode == FF_APPEND_CONTIG ? f->contigLimit : f->size;
    if (size > limit) {
        _FF_error = FF_ERR_SEEK;
        return failed();
    }
    if (!flushBuffer(f)) return failed();
    f->bufferSector = FF_NO_SECTOR;
    uint32_t cb = clusterSize();
    uint32_t keep = size / cb + (size % cb != 0);
    if (!truncateChain(f, keep) || !fatFlush()) return failed();
    f->size = size;
    if (f->mode == FF_APPEND_CONTIG) {
        f->contigLimit = keep * cb;
        if (f->written > size) f->written = size;
    }
    if (f->position > size) f->position = size;
    f->entryDirty = 1;
    return fflush(f);
}

uint32_t fread(void *buffer, uint32_t size, uint32_t count, FF_FILE *f) {
    if (!usable(f) || !buffer || size == 0 || count == 0) return 0;
    uint32_t want = count > 0xFFFFFFFFu / size ? 0xFFFFFFFFu : size * count;
    uint8_t *out = (uint8_t *)buffer;
    uint32_t done = 0;
    if (f->size == 0) _FF_error = FF_ERR_ACCESS;
    if (f->pushback >= 0) {
        out[done++] = (uint8_t)f->pushback;
        f->pushback = -1;
    }
    while (done < want && f->position < f->size) {
        uint32_t off = f->position % FF_SECTOR_SIZE;
        uint32_t n = minU(minU(FF_SECTOR_SIZE - off, want - done), f->size - f->position);
        if (f->bufferSector != FF_NO_SECTOR && f->position - off == f->bufferOffset) {
            memcpy(out + done, f->buffer + off, n);
        } else {
            uint32_t sector;
            if (!fileSector(f, f->position, false, &sector)) break;
            if (n == FF_SECTOR_SIZE) {
                if (!readSector(sector, out + done)) break;
            } else {
                if (!loadBuffer(f, sector, f->position - off, true)) break;
                memcpy(out + done, f->buffer + off, n);
            }
        }
        done += n;
        f->position += n;
    }
    return done / size;
}

int32_t freadChunk(FF_FILE *f, void *buffer, uint32_t capacity) {
    if (!usable(f)) return -1;
    if (f->position >= f->size && f->pushback < 0) return -1;
    uint32_t cb = clusterSize();
    uint32_t n = minU(capacity, cb - f->position % cb);
    if (n == 0) return 0;
    uint32_t got = fread(buffer, 1, n, f);
    return got ? (int32_t)got : -1;
}

int fgetc(FF_FILE *f) {
    if (!usable(f)) return FF_EOF;
    if (f->pushback >= 0) {
        int c = f->pushback;
        f->pushback = -1;
        return c;
    }
    if (f->position >= f->size) {
        if (f->size == 0) _FF_error = FF_ERR_ACCESS;
        return FF_EOF;
    }
    uint32_t off = f->position % FF_SECTOR_SIZE;
    if (f->bufferSector == FF_NO_SECTOR || f->position - off != f->bufferOffset) {
        uint32_t sector;
        if (!fileSector(f, f->position, false, &sector) || !loadBuffer(f, sector, f->position - off, true))
            return FF_EOF;
    }
    f->position++;
    return f->buffer[off];
}

char *fgets(char *buffer, int size, FF_FILE *f) {
    if (!buffer || size <= 0) return nullptr;
    int i = 0;
    while (i < size - 1) {
        int c = fgetc(f);
        if (c == FF_EOF) break;
        buffer[i++] = (char)c;
        if (c == '\n') break;
    }
    if (i == 0 && size > 1) return nullptr;
    buffer[i] = 0;
    return buffer;
}

int ungetc(int c, FF_FILE *f) {
    if (!usable(f) || c == FF_EOF) return FF_EOF;
    f->pushback = (int16_t)(c & 0xFF);
    return c & 0xFF;
}

int feof(FF_FILE *f) {
    if (!usable(f)) return 1;
    return f->pushback < 0 && f->position >= f->size;
}

int32_t ftell(FF_FILE *f) {
    if (!usable(f)) return -1;
    uint32_t p = f->position;
    if (f->pushback >= 0 && p > 0) p--;
    return (int32_t)p;
}

uint32_t fwrite(const void *data, uint32_t size, uint32_t count, FF_FILE *f) {
    if (!usable(f) || !data || size == 0 || count == 0) return 0;
    if (f->mode == FF_READ) {
        _FF_error = FF_ERR_ACCESS;
        return 0;
    }
    uint32_t want = count > 0xFFFFFFFFu / size ? 0xFFFFFFFFu : size * count;
    const uint8_t *in = (const uint8_t *)data;
    uint32_t done = 0;
    f->pushback = -1;
    f->entryDirty = 1;
    bool contig = f->mode == FF_APPEND_CONTIG;
    while (done < want) {
        uint32_t pos = f->position;
        uint32_t off = pos % FF_SECTOR_SIZE;
        uint32_t n = minU(FF_SECTOR_SIZE - off, want - done);
        if (f->bufferSector != FF_NO_SECTOR && pos - off == f->bufferOffset) {
            memcpy(f->buffer + off, in + done, n);
            f->bufferDirty = 1;
        } else {
            uint32_t sector;
            if (!fileSector(f, pos, true, &sector)) break;
            if (n == FF_SECTOR_SIZE) {
                if (!writeData(sector, in + done)) break;
            } else {
                // The rest of the sector keeps the file's bytes; beyond its end it is zero.
                bool hasData = pos - off < (contig ? f->written : f->size);
                if (!loadBuffer(f, sector, pos - off, hasData)) break;
                memcpy(f->buffer + off, in + done, n);
                f->bufferDirty = 1;
            }
        }
        done += n;
        f->position = pos + n;
        if (contig) {
            if (f->position > f->written) f->written = f->position;
        } else if (f->position > f->size) {
            f->size = f->position;
        }
    }
    return done / size;
}

uint32_t fwriteChunkToContiguousFile(FF_FILE *f, const void *data, uint32_t length) {
    if (f && f == &vol->file && f->open && f->mode != FF_APPEND_CONTIG) {
        _FF_error = FF_ERR_ACCESS;
        return 0;
    }
    return fwrite(data, 1, length, f);
}

int fputc(int c, FF_FILE *f) {
    // Byte by byte into the sector already in the buffer: the screen dump writes this way.
    if (f == &vol->file && f->open && vol->mounted && f->mode != FF_READ && f->bufferSector != FF_NO_SECTOR &&
        f->pushback < 0 && f->position - f->position % FF_SECTOR_SIZE == f->bufferOffset) {
        f->buffer[f->position % FF_SECTOR_SIZE] = (uint8_t)c;
        f->bufferDirty = 1;
        f->entryDirty = 1;
        f->position++;
        if (f->mode == FF_APPEND_CONTIG) {
            if (f->position > f->written) f->written = f->position;
        } else if (f->position > f->size) {
            f->size = f->position;
        }
        return (uint8_t)c;
    }
    uint8_t b = (uint8_t)c;
    return fwrite(&b, 1, 1, f) == 1 ? (int)b : (int)FF_EOF;
}

int fputs(const char *text, FF_FILE *f) {
    if (!text) {
        _FF_error = FF_ERR_NO_FILE;
        return -1;
    }
    uint32_t n = (uint32_t)strlen(text);
    if (n && fwrite(text, 1, n, f) != n) return -1;
    return fwrite("\r\n", 1, 2, f) == 2 ? 0 : -1;
}

int fprintf(FF_FILE *f, const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return -1;
    uint32_t len = minU((uint32_t)n, sizeof text - 1);
    return fwrite(text, 1, len, f) == len ? (int)len : -1;
}

FF_STATUS fseek(FF_FILE *f, int32_t offset, int origin) {
    if (!usable(f)) return failed();
    uint32_t target;
    uint32_t magnitude = offset < 0 ? 0u - (uint32_t)offset : (uint32_t)offset;
    switch (origin) {
    case FF_SEEK_CUR: {
        uint32_t here = (uint32_t)ftell(f);
        if (offset < 0 ? magnitude > here : magnitude > f->size - here) goto beyond;
        target = offset < 0 ? here - magnitude : here + magnitude;
        break;
    }
    case FF_SEEK_END:
        if (magnitude > f->size) goto beyond;
        target = f->size - magnitude;
        break;
    case FF_SEEK_SET:
        if (offset < 0 || magnitude > f->size) goto beyond;
        target = magnitude;
        break;
    default:
        goto beyond;
    }
    f->position = target;
    f->pushback = -1;
    return FF_OK;
beyond:
    _FF_error = FF_ERR_SEEK;
    return failed();
}

// ---- names in directories -------------------------------------------------------------------------
static bool isOpenFile(const Found &fd) {
    const FF_FILE *f = &vol->file;
    return f->open && f->entrySector == fd.at.sector && f->entryOffset == (fd.at.index % 16) * 32;
}

FF_STATUS remove(const char *name) {
    uint32_t dir;
    uint8_t n11[11];
    Found fd;
    if (!resolveName(name, &dir, n11) || findEntry(dir, n11, &fd) <= 0) return failed();
    if (fd.raw[11] & FF_ATTR_DIRECTORY) {
        _FF_error = FF_ERR_IS_DIR;
        return failed();
    }
    if (fd.raw[11] & FF_ATTR_READ_ONLY) {
        _FF_error = FF_ERR_ACCESS;
        return failed();
    }
    if (isOpenFile(fd)) {
        _FF_error = FF_ERR_OPEN;
        return failed();
    }
    uint32_t c = rd16(fd.raw + 26);
    if (!markDeleted(fd.hasLong ? fd.longStart : fd.at, fd.at)) return failed();
    if (isData(c) && (!freeChain(c) || !fatFlush())) return failed();
    return FF_OK;
}

FF_STATUS rename(const char *oldName, const char *newName) {
    uint32_t dir;
    uint8_t n11[11], newN11[11];
    Found fd;
    if (!resolveName(oldName, &dir, n11) || findEntry(dir, n11, &fd) <= 0) return failed();
    if (!newName || !*newName) {
        _FF_error = FF_ERR_NO_FILE;
        return failed();
    }
    uint32_t len = (uint32_t)strlen(newName);
    if (strpbrk(newName, "\\/") || !makeShortName(newName, len, newN11) || isDotName(newN11)) {
        _FF_error = FF_ERR_NAME;
        return failed();
    }
    if (memcmp(n11, newN11, 11) == 0) return FF_OK;
    Found other;
    int r = findEntry(dir, newN11, &other);
    if (r < 0) return failed();
    if (r == 1) {
        _FF_error = FF_ERR_EXISTS;
        return failed();
    }
    if (fd.hasLong) {
        // The long name belonged to the old name: it goes.
        DirIter last = fd.longStart;
        for (;;) {
            DirIter probe = last;
            if (dirNext(&probe, false) <= 0) return failed();
            if (probe.index >= fd.at.index) break;
            last = probe;
        }
        if (!markDeleted(fd.longStart, last)) return failed();
    }
    uint8_t *e = dirEntry(&fd.at);
    if (!e) return failed();
    memcpy(e, newN11, 11);
    e[12] = 0;
    return dirWrite() ? FF_OK : failed();
}

FF_STATUS mkdir(const char *name) {
    uint32_t dir;
    uint8_t n11[11];
    Found fd;
    if (!resolveName(name, &dir, n11)) return failed();
    int r = findEntry(dir, n11, &fd);
    if (r < 0) return failed();
    if (r == 1) {
        _FF_error = FF_ERR_EXISTS;
        return failed();
    }
    uint32_t c = allocCluster(0);
    if (!c) return failed();
    DirIter slot;
    uint8_t *e = nullptr;
    bool ok = zeroCluster(c) && fatFlush();
    if (ok) {
        // "." and ".." first, so that the entry never names a half-made directory.
        uint8_t *b = vol->dirCache;
        vol->dirCacheSector = clusterSector(c);
        memset(b, 0, FF_SECTOR_SIZE);
        uint8_t dot[11], dotdot[11];
        makeShortName(".", 1, dot);
        makeShortName("..", 2, dotdot);
        fillEntry(b, dot, FF_ATTR_DIRECTORY, c, 0);
        fillEntry(b + 32, dotdot, FF_ATTR_DIRECTORY, dir, 0);
        ok = dirWrite() && findFreeSlot(dir, &slot) && (e = dirEntry(&slot)) != nullptr;
    }
    if (!ok) {
        int error = _FF_error;
        freeChain(c);
        fatFlush();
        _FF_error = error;
        return failed();
    }
    fillEntry(e, n11, FF_ATTR_DIRECTORY, c, 0);
    return dirWrite() ? FF_OK : failed();
}

FF_STATUS rmdir(const char *name) {
    uint32_t dir;
    uint8_t n11[11];
    Found fd;
    if (!resolveName(name, &dir, n11) || findEntry(dir, n11, &fd) <= 0) return failed();
    if (!(fd.raw[11] & FF_ATTR_DIRECTORY)) {
        _FF_error = FF_ERR_NOT_DIR;
        return failed();
    }
    uint32_t c = rd16(fd.raw + 26);
    if (!isData(c)) {
        _FF_error = FF_ERR_FORMAT;
        return failed();
    }
    if (c == vol->currentDir) {
        _FF_error = FF_ERR_NOT_EMPTY;
        return failed();
    }
    DirIter it;
    if (!dirStart(&it, c)) return failed();
    for (;;) {
        const uint8_t *e = dirEntry(&it);
        if (!e) return failed();
        if (e[0] == 0) break;
        if (e[0] != 0xE5 && e[0] != '.' && !isLongName(e)) {
            _FF_error = FF_ERR_NOT_EMPTY;
            return failed();
        }
        int r = dirNext(&it, false);
        if (r < 0) return failed();
        if (r == 0) break;
    }
    if (!markDeleted(fd.hasLong ? fd.longStart : fd.at, fd.at)) return failed();
    return freeChain(c) && fatFlush() ? FF_OK : failed();
}

FF_STATUS chdir(const char *name) {
    if (!name || !*name) {
        _FF_error = FF_ERR_NO_FILE;
        return failed();
    }
    if (!vol->mounted) {
        _FF_error = FF_ERR_MEDIA;
        return failed();
    }
    uint32_t dir;
    const char *leaf;
    uint32_t len;
    if (!walkPath(name, &dir, &leaf, &len)) return failed();
    if (len && !enterDir(&dir, leaf, len)) return failed();
    vol->currentDir = dir;
    vol->listActive = 0;
    return FF_OK;
}

int read_directory_entry(FF_DIRENT *entry, int next) {
    if (!vol->mounted || !entry) {
        _FF_error = vol->mounted ? FF_ERR_NO_FILE : FF_ERR_MEDIA;
        return 0;
    }
    DirIter it;
    if (!next || !vol->listActive) {
        if (!dirStart(&it, vol->currentDir)) return 0;
    } else {
        it = {vol->listDir, vol->listCluster, vol->listSector, vol->listIndex};
        if (dirNext(&it, false) <= 0) {
            vol->listActive = 0;
            return 0;
        }
    }
    for (;;) {
        const uint8_t *e = dirEntry(&it);
        if (!e || e[0] == 0) break;
        if (e[0] != 0xE5 && !isLongName(e)) {
            decodeEntry(e, entry);
            vol->listDir = it.dir;
            vol->listCluster = it.cluster;
            vol->listSector = it.sector;
            vol->listIndex = it.index;
            vol->listActive = 1;
            return 1;
        }
        if (dirNext(&it, false) <= 0) break;
    }
    vol->listActive = 0;
    return 0;
}

int fget_file_info(const char *name, FF_DIRENT *entry) {
    uint32_t dir;
    uint8_t n11[11];
    Found fd;
    if (!entry || !resolveName(name, &dir, n11) || findEntry(dir, n11, &fd) <= 0) return 0;
    decodeEntry(fd.raw, entry);
    return 1;
}

char *NameFromDirEntry(const FF_DIRENT *entry, char *out) {
    int n = 0;
    for (int i = 0; i < 8 && entry->name[i] != ' '; i++)
        out[n++] = (i == 0 && (uint8_t)entry->name[0] == 0x05) ? (char)0xE5 : entry->name[i];
    if (entry->ext[0] != ' ') {
        out[n++] = '.';
        for (int i = 0; i < 3 && entry->ext[i] != ' '; i++) out[n++] = entry->ext[i];
    }
    out[n] = 0;
    return out;
}

} // namespace ff
