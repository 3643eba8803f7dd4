// FAT12/FAT16 file system over 512-byte sectors. One volume is in use at a time and it has one open
// file, each with its own sector buffer; nothing is allocated. The functions carry the names of the
// C library's file functions, so they live in namespace ff (ff::fopen is not ::fopen).
//
// The sectors come from a block device given at mount time: the SD card on the display, an image in
// memory or in a file on the PC (card tool, simulator). The firmware uses the built-in volume; a PC
// program may select a volume of its own around its calls (ffSelect).
#pragma once

#include <stdint.h>

namespace ff {

enum : uint32_t { FF_SECTOR_SIZE = 512 };

// Status of an operation, returned by value; the code of the last failure also stays in _FF_error
// (commands print it as the file system's last error code). 2, 8, 9 and 10 are the codes other
// parts of the firmware know.
enum FF_STATUS : int {
    FF_OK = 0,
    FF_ERR_MEDIA = 1,     // no volume mounted, or a sector could not be read or written
    FF_ERR_NO_FILE = 2,   // no file (name or handle) given
    FF_ERR_NOT_FOUND = 3, // no such file or directory
    FF_ERR_NAME = 4,      // not a valid 8.3 name or path
    FF_ERR_FULL = 5,      // no free cluster, or the root directory is full
    FF_ERR_EXISTS = 6,    // the name is taken
    FF_ERR_NOT_EMPTY = 7, // directory not empty, or it is the current directory
    FF_ERR_OPEN = 8,      // a file is already open (or the operation concerns the open file)
    FF_ERR_SEEK = 9,      // seek beyond the end of the file
    FF_ERR_ACCESS = 10,   // writing a read-only file, reading a file that has no data
    FF_ERR_FORMAT = 11,   // not a FAT12/FAT16 volume, or a damaged structure on it
    FF_ERR_IS_DIR = 12,   // a directory where a file was expected
    FF_ERR_NOT_DIR = 13,  // a file where a directory was expected
};
extern int _FF_error;

// Open modes.
enum { FF_READ = 1, FF_WRITE = 2, FF_APPEND = 3, FF_APPEND_CONTIG = 4 };
// fseek origins.
enum { FF_SEEK_CUR = 0, FF_SEEK_END = 1, FF_SEEK_SET = 2 };
enum { FF_EOF = -1 };

enum : uint8_t {
    FF_ATTR_READ_ONLY = 0x01,
    FF_ATTR_HIDDEN = 0x02,
    FF_ATTR_SYSTEM = 0x04,
    FF_ATTR_VOLUME = 0x08,
    FF_ATTR_DIRECTORY = 0x10,
    FF_ATTR_ARCHIVE = 0x20,
    FF_ATTR_LONG_NAME = 0x0F,
};

// A directory entry, decoded from its 32 bytes.
struct FF_DIRENT {
    char name[8]; // blank padded; 0x05 in the first byte stands for 0xE5
    char ext[3];
    uint8_t attr;
    uint8_t ntCase;
    uint8_t createTenths;
    uint16_t createTime, createDate, accessDate;
    uint16_t clusterHigh;
    uint16_t writeTime, writeDate;
    uint16_t cluster;
    uint32_t size;
};

// Sector access of a volume's medium. read/write return 1 on success.
struct FF_BlockDevice {
    int (*read)(void *context, uint32_t sector, uint8_t *buffer);
    int (*write)(void *context, uint32_t sector, const uint8_t *buffer);
    void *context;
    uint32_t sectors; // size of the medium, 0 when unknown
};

// The open file. Callers read `size` and `position`; everything else is the file system's.
struct FF_FILE {
    uint32_t size;
    uint32_t position;
    uint8_t open;
    uint8_t mode;
    uint8_t attr;
    uint8_t entryDirty;  // size or first cluster changed: the directory entry needs updating
    uint8_t bufferDirty; // the sector buffer holds data not yet written
    int16_t pushback;    // ungetc byte, -1 when none
    uint32_t firstCluster;
    uint32_t cluster; // cluster number `clusterIndex` of the file, 0 when not known
    uint32_t clusterIndex;
    uint32_t entrySector; // where the directory entry lives
    uint16_t entryOffset;
    uint32_t bufferSector; // sector held in `buffer`, or FF_NO_SECTOR
    uint32_t bufferOffset; // file offset of that sector's first byte
    uint32_t contigLimit;  // FF_APPEND_CONTIG: bytes the consecutive clusters hold
    uint32_t written;      // FF_APPEND_CONTIG: end of what has been written
    uint8_t buffer[FF_SECTOR_SIZE];
};

enum : uint32_t { FF_NO_SECTOR = 0xFFFFFFFFu };

struct FF_Volume {
    FF_BlockDevice device;
    uint8_t mounted;
    uint8_t fatBits; // 12 or 16
    uint8_t sectorsPerCluster;
    uint8_t fatCount;
    uint32_t volumeStart; // sector of the boot sector on the medium
    uint32_t totalSectors;
    uint32_t fatStart, fatSectors;
    uint32_t rootStart, rootSectors, rootEntries;
    uint32_t dataStart;
    uint32_t clusterCount; // data clusters: numbers 2 .. clusterCount + 1
    uint32_t currentDir;   // first cluster of the current directory, 0 = root
    uint32_t allocHint;
    uint32_t fatCacheSector;
    uint8_t fatCacheDirty;
    uint32_t dirCacheSector;
    uint8_t media; // media byte of the boot sector, repeated in the first FAT entry
    // read_directory_entry's place in the current directory
    uint32_t listDir, listCluster, listSector, listIndex;
    uint8_t listActive;
    FF_FILE file;
    uint8_t fatCache[FF_SECTOR_SIZE];
    uint8_t dirCache[FF_SECTOR_SIZE];
};

// ---- volumes ------------------------------------------------------------------------------------
// Makes v the volume every function below works on and returns the one selected before. The
// firmware's own volume is selected from the start.
FF_Volume *ffSelect(FF_Volume *v);
// Reads the volume on the device (partitioned or not). Anything mounted before is dropped without
// being written.
FF_STATUS ffMount(const FF_BlockDevice *device);
// Forgets the volume and the open file without writing anything (the medium has gone).
void ffUnmount(void);
int ffMounted(void);
// Writes an empty file system of `sectors` sectors starting at sector `start` of the device:
// fatBits 12 or 16, or 0 to choose by size; FF_ERR_FORMAT when the size does not suit the type.
FF_STATUS ffFormat(const FF_BlockDevice *device, uint32_t start, uint32_t sectors, int fatBits);
uint32_t ffFreeClusters(void);
uint32_t ffClusterBytes(void);
// Time stamp of created and written entries: FAT date in the high half, FAT time in the low half.
// The display has no clock: unless a program installs its own, every stamp is 2010-01-01 00:00.
extern uint32_t (*ffClock)(void);

// ---- the file system operations ------------------------------------------------------------------
FF_FILE *fopen(const char *name, int mode);
FF_FILE *fcreate(const char *name, int mode);
FF_STATUS fcreate_contig_file(const char *name, uint32_t size);
FF_STATUS fsetFileSize(FF_FILE *file, uint32_t size);
FF_STATUS fclose(FF_FILE *file);
FF_STATUS fflush(FF_FILE *file);

uint32_t fread(void *buffer, uint32_t size, uint32_t count, FF_FILE *file); // items read
// The next part of the file, at most to the end of the current cluster: its length, -1 at the end.
int32_t freadChunk(FF_FILE *file, void *buffer, uint32_t capacity);
int fgetc(FF_FILE *file); // FF_EOF at the end
char *fgets(char *buffer, int size, FF_FILE *file);
int ungetc(int c, FF_FILE *file);
int feof(FF_FILE *file);
int32_t ftell(FF_FILE *file);

uint32_t fwrite(const void *data, uint32_t size, uint32_t count, FF_FILE *file); // items written
uint32_t fwriteChunkToContiguousFile(FF_FILE *file, const void *data, uint32_t length);
int fputc(int c, FF_FILE *file);            // c, or FF_EOF
int fputs(const char *text, FF_FILE *file); // the text and CR LF; 0 or -1
int fprintf(FF_FILE *file, const char *format, ...) __attribute__((format(printf, 2, 3)));
FF_STATUS fseek(FF_FILE *file, int32_t offset, int origin);

FF_STATUS remove(const char *name);
FF_STATUS rename(const char *oldName, const char *newName);
FF_STATUS mkdir(const char *name);
FF_STATUS rmdir(const char *name);
FF_STATUS chdir(const char *name);                      // "\" is the root, ".." the parent
int read_directory_entry(FF_DIRENT *entry, int next);   // 1 while an entry is returned
int fget_file_info(const char *name, FF_DIRENT *entry); // 1 when found
FF_STATUS fquickformat(void);
// "NAME.EXT", or "NAME" without extension; out holds at least 13 bytes.
char *NameFromDirEntry(const FF_DIRENT *entry, char *out);

} // namespace ff
