// Helpers of the storage tests: shell commands (mkfs.fat, mtools, fsck.fat), temporary folders,
// files, and a block device over an image in memory.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fat/ff.h"

namespace tu {

struct Result {
    int status;
    std::string out; // standard output and standard error
};
Result run(const std::string &command);
std::string quote(const std::string &s);

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return dir; }
    std::string operator/(const std::string &name) const { return dir + "/" + name; }

  private:
    std::string dir;
};

std::vector<uint8_t> readFile(const std::string &path);
void writeFile(const std::string &path, const std::vector<uint8_t> &data);
void writeText(const std::string &path, const std::string &text);
std::vector<uint8_t> randomBytes(size_t n, uint32_t seed);

// fsck.fat -n finds nothing to repair: exit status 0 and no message beyond its summary line.
bool fsckClean(const std::string &image, std::string *report = nullptr);
// A new image file formatted by mkfs.fat (extra: more options, e.g. "-F 12 -s 1").
void mkfs(const std::string &image, uint32_t kib, const std::string &extra);
// mtools on an image: copy a host file in, a card file out, list a directory.
void mcopyIn(const std::string &image, const std::string &hostFile, const std::string &cardPath);
std::vector<uint8_t> mcopyOut(const std::string &image, const std::string &cardPath);
std::string mdirNames(const std::string &image, const std::string &cardDir); // sorted, one per line

// An image in memory as a block device; writes fail after `writesLeft` more (-1: never), as when
// the card is pulled.
struct RamDisk {
    std::vector<uint8_t> bytes;
    long writesLeft = -1;
    ff::FF_BlockDevice device();
};

// Selects a volume of its own for a test (the firmware's stays untouched) and mounts a RamDisk.
class Volume {
  public:
    Volume();
    ~Volume();
    Volume(const Volume &) = delete;
    Volume &operator=(const Volume &) = delete;
    bool mount(RamDisk &disk);

  private:
    ff::FF_Volume *volume;
    ff::FF_Volume *saved;
};

// Whole file through the file system (empty vector with ok = false when it cannot be read).
std::vector<uint8_t> readCardFile(const char *path, bool *ok = nullptr);
bool writeCardFile(const char *path, const std::vector<uint8_t> &data, int mode = ff::FF_WRITE);

} // namespace tu
