// Card images on the PC through the firmware's FAT code (see cardpack.h).
#include "tools/card/cardpack.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "fat/ff.h"

namespace fs = std::filesystem;

namespace {

enum : uint32_t { SECTOR = ff::FF_SECTOR_SIZE, MB = 1024 * 1024, IO_CHUNK = 64 * 1024 };

// ---- block devices --------------------------------------------------------------------------------
int memoryRead(void *context, uint32_t sector, uint8_t *buffer) {
    auto *bytes = (std::vector<uint8_t> *)context;
    if ((uint64_t)sector * SECTOR + SECTOR > bytes->size()) return 0;
    memcpy(buffer, bytes->data() + (uint64_t)sector * SECTOR, SECTOR);
    return 1;
}

int memoryWrite(void *context, uint32_t sector, const uint8_t *buffer) {
    auto *bytes = (std::vector<uint8_t> *)context;
    if ((uint64_t)sector * SECTOR + SECTOR > bytes->size()) return 0;
    memcpy(bytes->data() + (uint64_t)sector * SECTOR, buffer, SECTOR);
    return 1;
}

int fileRead(void *context, uint32_t sector, uint8_t *buffer) {
    int fd = *(int *)context;
    return pread(fd, buffer, SECTOR, (off_t)sector * SECTOR) == (ssize_t)SECTOR;
}

int fileWrite(void *context, uint32_t sector, const uint8_t *buffer) {
    int fd = *(int *)context;
    return pwrite(fd, buffer, SECTOR, (off_t)sector * SECTOR) == (ssize_t)SECTOR;
}

// ---- time stamps ----------------------------------------------------------------------------------
uint32_t stamp;
uint32_t stampClock(void) {
    return stamp;
}

void setStamp(time_t t) {
    struct tm tm;
    localtime_r(&t, &tm);
    if (tm.tm_year < 80) { // FAT dates start in 1980
        stamp = (uint32_t)(1 << 5 | 1) << 16;
        return;
    }
    uint32_t date = (uint32_t)(tm.tm_year - 80) << 9 | (uint32_t)(tm.tm_mon + 1) << 5 | (uint32_t)tm.tm_mday;
    uint32_t time = (uint32_t)tm.tm_hour << 11 | (uint32_t)tm.tm_min << 5 | (uint32_t)(tm.tm_sec / 2);
    stamp = date << 16 | time;
}

void setStamp(const fs::path &p) {
    struct stat st;
    setStamp(stat(p.c_str(), &st) == 0 ? st.st_mtime : ::time(nullptr));
}

// A volume of our own while the object lives; the firmware's selection comes back afterwards.
class Session {
  public:
    Session() : volume(std::make_unique<ff::FF_Volume>()) {
        saved = ff::ffSelect(volume.get());
        savedClock = ff::ffClock;
        ff::ffClock = stampClock;
        setStamp(::time(nullptr));
    }
    ~Session() {
        ff::ffUnmount();
        ff::ffSelect(saved);
        ff::ffClock = savedClock;
        if (fd >= 0) close(fd);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    ff::FF_BlockDevice memory(std::vector<uint8_t> &bytes) {
        return {memoryRead, memoryWrite, &bytes, (uint32_t)(bytes.size() / SECTOR)};
    }
    // Opens an image file; false with the reason in *error.
    bool openFile(const char *path, bool writable, bool create, uint64_t size, ff::FF_BlockDevice *device,
                  std::string *error) {
        fd = open(path, (writable ? O_RDWR : O_RDONLY) | (create ? O_CREAT | O_TRUNC : 0), 0644);
        if (fd < 0) return fail(error, std::string(path) + ": " + strerror(errno));
        if (create && ftruncate(fd, (off_t)size) != 0)
            return fail(error, std::string(path) + ": " + strerror(errno));
        struct stat st;
        if (fstat(fd, &st) != 0) return fail(error, std::string(path) + ": " + strerror(errno));
        *device = {fileRead, writable ? fileWrite : nullptr, &fd, (uint32_t)(st.st_size / SECTOR)};
        return true;
    }
    bool mountFile(const char *path, bool writable, std::string *error) {
        ff::FF_BlockDevice device;
        if (!openFile(path, writable, false, 0, &device, error)) return false;
        if (ff::ffMount(&device) != ff::FF_OK)
            return fail(error, std::string(path) + ": not a FAT12/FAT16 card image");
        return true;
    }
    static bool fail(std::string *error, const std::string &why) {
        if (error) *error = why;
        return false;
    }

  private:
    std::unique_ptr<ff::FF_Volume> volume;
    ff::FF_Volume *saved;
    uint32_t (*savedClock)(void);
    int fd = -1;
};

std::string reason(int code) {
    switch (code) {
    case ff::FF_ERR_MEDIA:
        return "the image could not be read or written";
    case ff::FF_ERR_NO_FILE:
        return "no name given";
    case ff::FF_ERR_NOT_FOUND:
        return "no such file or directory";
    case ff::FF_ERR_NAME:
        return "not an 8.3 name";
    case ff::FF_ERR_FULL:
        return "the card is full";
    case ff::FF_ERR_EXISTS:
        return "the name is taken";
    case ff::FF_ERR_NOT_EMPTY:
        return "directory not empty";
    case ff::FF_ERR_ACCESS:
        return "read-only";
    case ff::FF_ERR_FORMAT:
        return "damaged file system";
    case ff::FF_ERR_IS_DIR:
        return "is a directory";
    case ff::FF_ERR_NOT_DIR:
        return "is not a directory";
    default:
        return "file system error " + std::to_string(code);
    }
}

bool readHostFile(const fs::path &p, std::vector<uint8_t> &data, std::string *error) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return Session::fail(error, p.string() + ": cannot be read");
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return Session::fail(error, p.string() + ": cannot be read");
    return true;
}

// Writes one file in the current card directory (or at a card path), replacing an older one.
bool writeCardFile(const std::string &cardPath, const std::vector<uint8_t> &data, std::string *error) {
    ff::FF_FILE *f = ff::fopen(cardPath.c_str(), ff::FF_WRITE);
    if (!f) return Session::fail(error, cardPath + ": " + reason(ff::_FF_error));
    for (size_t done = 0; done < data.size();) {
        uint32_t n = (uint32_t)std::min<size_t>(IO_CHUNK, data.size() - done);
        if (ff::fwrite(data.data() + done, 1, n, f) != n) {
            int code = ff::_FF_error;
            ff::fclose(f);
            ff::remove(cardPath.c_str());
            return Session::fail(error, cardPath + ": " + reason(code));
        }
        done += n;
    }
    if (ff::fclose(f) != 0) return Session::fail(error, cardPath + ": " + reason(ff::_FF_error));
    return true;
}

// The entries of a host directory in name order, without those whose name starts with '.'.
std::vector<fs::directory_entry> sortedEntries(const fs::path &dir, std::error_code &ec) {
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string()[0] != '.') entries.push_back(*it);
    // Directory order decides which of several candidate files the firmware finds first.
    auto key = [](const fs::directory_entry &e) {
        std::string n = e.path().filename().string();
        for (char &c : n) c = (char)toupper((unsigned char)c);
        return n;
    };
    std::sort(entries.begin(), entries.end(), [&](const auto &a, const auto &b) { return key(a) < key(b); });
    return entries;
}

// Copies the host tree into the card's current directory.
bool copyTree(const fs::path &host, const std::string &shown, std::string *error) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries = sortedEntries(host, ec);
    if (ec) return Session::fail(error, host.string() + ": " + ec.message());
    for (const auto &e : entries) {
        std::string name = e.path().filename().string();
        std::string where = shown + name;
        ff::FF_DIRENT existing;
        if (ff::fget_file_info(name.c_str(), &existing))
            return Session::fail(error, where + ": another name in this directory is the same 8.3 name");
        setStamp(e.path());
        if (e.is_directory(ec)) {
            if (ff::mkdir(name.c_str()) != 0 || ff::chdir(name.c_str()) != 0)
                return Session::fail(error, where + ": " + reason(ff::_FF_error));
            if (!copyTree(e.path(), where + "/", error)) return false;
            if (ff::chdir("..") != 0) return Session::fail(error, where + ": " + reason(ff::_FF_error));
        } else if (e.is_regular_file(ec)) {
            std::vector<uint8_t> data;
            if (!readHostFile(e.path(), data, error)) return false;
            setStamp(e.path());
            std::string message;
            if (!writeCardFile(name, data, &message)) return Session::fail(error, shown + message);
        }
    }
    return true;
}

uint64_t treeBytes(const fs::path &dir) {
    const uint64_t slack = 32 * 1024; // the largest cluster a card of this size gets
    uint64_t total = slack;
    std::error_code ec;
    for (const auto &e : sortedEntries(dir, ec)) {
        if (e.is_directory(ec))
            total += treeBytes(e.path());
        else if (e.is_regular_file(ec))
            total += (e.file_size(ec) + slack - 1) / slack * slack;
    }
    return total;
}

bool checkDirectory(const char *dir, std::string *error) {
    std::error_code ec;
    if (!dir || !fs::is_directory(dir, ec))
        return Session::fail(error, std::string(dir ? dir : "") + ": not a directory");
    return true;
}

bool formatAndFill(const ff::FF_BlockDevice &device, uint32_t sectors, int fatBits, const char *dir,
                   std::string *error) {
    if (ff::ffFormat(&device, 0, sectors, fatBits) != 0)
        return Session::fail(error,
                             "a " + std::to_string(sectors / (MB / SECTOR)) + " MB card cannot be " +
                                 (fatBits ? "FAT" + std::to_string(fatBits) : std::string("FAT12/FAT16")));
    if (ff::ffMount(&device) != ff::FF_OK) return Session::fail(error, "the new file system does not mount");
    return copyTree(dir, "", error);
}

} // namespace

uint32_t cardSizeFor(const char *dir) {
    std::error_code ec;
    if (!dir || !fs::is_directory(dir, ec)) return 8;
    uint64_t bytes = treeBytes(dir);
    uint64_t mb = (bytes + bytes / 4 + 4ull * MB + MB - 1) / MB;
    return (uint32_t)std::max<uint64_t>(8, std::min<uint64_t>(mb, 0xFFFFFFFFu));
}

bool cardPackDirectory(const char *dir, std::vector<uint8_t> &image, std::string *error, uint32_t sizeMB,
                       int fatBits) {
    if (!checkDirectory(dir, error)) return false;
    if (sizeMB == 0) sizeMB = cardSizeFor(dir);
    if (sizeMB > CARD_MAX_MB) return Session::fail(error, std::string(dir) + ": too much for a card of 2 GB");
    Session session;
    image.assign((size_t)sizeMB * MB, 0);
    ff::FF_BlockDevice device = session.memory(image);
    return formatAndFill(device, device.sectors, fatBits, dir, error);
}

bool cardMakeImage(const char *imagePath, const char *dir, std::string *error, uint32_t sizeMB, int fatBits) {
    if (!checkDirectory(dir, error)) return false;
    if (sizeMB == 0) sizeMB = cardSizeFor(dir);
    if (sizeMB > CARD_MAX_MB) return Session::fail(error, std::string(dir) + ": too much for a card of 2 GB");
    Session session;
    ff::FF_BlockDevice device;
    if (!session.openFile(imagePath, true, true, (uint64_t)sizeMB * MB, &device, error)) return false;
    return formatAndFill(device, device.sectors, fatBits, dir, error);
}

bool cardPackDirectoryToTempFile(const char *dir, std::string &path, std::string *error, uint32_t sizeMB,
                                 int fatBits) {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zefo5-card-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0) return Session::fail(error, pattern + ": " + strerror(errno));
    close(fd);
    if (!cardMakeImage(name.data(), dir, error, sizeMB, fatBits)) {
        unlink(name.data());
        return false;
    }
    path = name.data();
    return true;
}

bool cardList(const char *imagePath, const char *cardPath, std::vector<CardEntry> &entries,
              std::string *error) {
    Session session;
    if (!session.mountFile(imagePath, false, error)) return false;
    entries.clear();
    ff::FF_DIRENT e;
    char name[16];
    if (cardPath && *cardPath && ff::chdir(cardPath) != 0) {
        // A file: list just that one.
        if (!ff::fget_file_info(cardPath, &e))
            return Session::fail(error, std::string(cardPath) + ": " + reason(ff::_FF_error));
        entries.push_back({ff::NameFromDirEntry(&e, name), (e.attr & ff::FF_ATTR_DIRECTORY) != 0, e.size,
                           e.writeDate, e.writeTime, e.attr});
        return true;
    }
    for (int more = ff::read_directory_entry(&e, 0); more; more = ff::read_directory_entry(&e, 1)) {
        if ((e.attr & ff::FF_ATTR_VOLUME) || e.name[0] == '.') continue;
        entries.push_back({ff::NameFromDirEntry(&e, name), (e.attr & ff::FF_ATTR_DIRECTORY) != 0, e.size,
                           e.writeDate, e.writeTime, e.attr});
    }
    return true;
}

bool cardGet(const char *imagePath, const char *cardPath, std::vector<uint8_t> &data, std::string *error) {
    Session session;
    if (!session.mountFile(imagePath, false, error)) return false;
    ff::FF_FILE *f = ff::fopen(cardPath, ff::FF_READ);
    if (!f) return Session::fail(error, std::string(cardPath) + ": " + reason(ff::_FF_error));
    data.resize(f->size);
    uint32_t got = data.empty() ? 0 : ff::fread(data.data(), 1, (uint32_t)data.size(), f);
    int code = ff::_FF_error;
    ff::fclose(f);
    if (got != data.size()) return Session::fail(error, std::string(cardPath) + ": " + reason(code));
    return true;
}

bool cardPut(const char *imagePath, const char *cardPath, const char *name, const std::vector<uint8_t> &data,
             std::string *error) {
    Session session;
    if (!session.mountFile(imagePath, true, error)) return false;
    std::string target = name ? name : "";
    if (cardPath && *cardPath) {
        if (ff::chdir(cardPath) != 0) target = cardPath; // not a directory: the file's own path
    }
    if (target.empty()) return Session::fail(error, "no file name given");
    return writeCardFile(target, data, error);
}
