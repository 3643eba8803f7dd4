// File-backed memories: the EEPROM and the data flash keep their contents in a file, written
// through on every completed write so that a reset or a killed simulator loses nothing.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/host/host.h"

namespace host {

bool openStore(const std::string &path, size_t size, uint8_t blank, std::vector<uint8_t> &mem, int &fd,
               const char *what) {
    mem.assign(size, blank);
    fd = -1;
    if (path.empty()) return true;
    fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0) {
        fprintf(stderr, "zefo5: cannot open the %s file %s: %s\n", what, path.c_str(), strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "zefo5: the %s file %s is not a regular file\n", what, path.c_str());
        closeStore(fd);
        return false;
    }
    size_t have = (size_t)st.st_size < size ? (size_t)st.st_size : size;
    size_t done = 0;
    while (done < have) {
        ssize_t n = pread(fd, mem.data() + done, have - done, (off_t)done);
        if (n <= 0) {
            fprintf(stderr, "zefo5: cannot read the %s file %s\n", what, path.c_str());
            closeStore(fd);
            return false;
        }
        done += (size_t)n;
    }
    // A new or short file gets its blank rest now, so that it always holds the whole device.
    if (have < size) writeStore(fd, mem, have, size - have);
    return true;
}

void writeStore(int fd, const std::vector<uint8_t> &mem, size_t offset, size_t len) {
    writeStore(fd, mem.data() + offset, offset, len);
}

void writeStore(int fd, const uint8_t *bytes, size_t offset, size_t len) {
    if (fd < 0) return;
    size_t done = 0;
    while (done < len) {
        ssize_t n = pwrite(fd, bytes + done, len - done, (off_t)(offset + done));
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            fprintf(stderr, "zefo5: write to a memory file failed: %s\n", strerror(errno));
            return;
        }
        done += (size_t)n;
    }
}

void closeStore(int &fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace host
