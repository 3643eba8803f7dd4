// Card images on the PC, through the firmware's own FAT code: formatting an image, copying a
// directory tree into it, reading and writing single files. Used by the card tool (zefo5-card) and
// by the simulator, which packs a directory given as its card (--sd DIR) into an image at start.
//
// Every function selects a volume of its own for the time of the call and restores the one that
// was selected before, so the firmware's volume is never touched.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum : uint32_t { CARD_MAX_MB = 2048 }; // standard-capacity cards end at 2 GiB

// Packs the directory tree `dir` into a freshly formatted FAT card image held in `image`.
// sizeMB 0 chooses a size that holds the tree with room to spare (at least 8 MB); fatBits 0
// chooses FAT12 or FAT16 by size. Names must be 8.3 names (case does not matter); entries whose
// name starts with '.' are skipped. On failure returns false with the reason in *error.
bool cardPackDirectory(const char *dir, std::vector<uint8_t> &image, std::string *error = nullptr,
                       uint32_t sizeMB = 0, int fatBits = 0);

// The same, written to an image file (created or truncated).
bool cardMakeImage(const char *imagePath, const char *dir, std::string *error = nullptr, uint32_t sizeMB = 0,
                   int fatBits = 0);

// The same, into a new temporary image file (in $TMPDIR, else /tmp) whose path is returned in
// `path`; the caller removes the file when it is done with it.
bool cardPackDirectoryToTempFile(const char *dir, std::string &path, std::string *error = nullptr,
                                 uint32_t sizeMB = 0, int fatBits = 0);

// Size in MB that cardPackDirectory chooses for a tree.
uint32_t cardSizeFor(const char *dir);

// One entry of a card directory.
struct CardEntry {
    std::string name; // 8.3 name as stored ("NAME.EXT")
    bool directory;
    uint32_t size;
    uint16_t date, time; // FAT date and time of the last write
    uint8_t attr;
};

// Operations on an existing image file (partitioned or not). Paths inside the card use '/' or '\'.
bool cardList(const char *imagePath, const char *cardPath, std::vector<CardEntry> &entries,
              std::string *error);
bool cardGet(const char *imagePath, const char *cardPath, std::vector<uint8_t> &data, std::string *error);
// Writes data as the file cardPath; when cardPath names a directory (or is empty) the file goes
// into it under `name`. An existing file is replaced.
bool cardPut(const char *imagePath, const char *cardPath, const char *name, const std::vector<uint8_t> &data,
             std::string *error);
