// Card images that are damaged in any way: mounting, listing, reading every file and then writing
// (create, append, directories, rename, remove, contiguous file) must neither crash nor loop.
//
// Input: the card's size in sectors (4 bytes, little-endian), then the first bytes of its image;
// the rest of the card reads as zeros. Written sectors are kept aside.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <map>
#include <vector>

#include "fat/ff.h"

namespace {

const uint8_t *imageData;
size_t imageSize;
uint32_t cardSectors;
std::map<uint32_t, std::vector<uint8_t>> written;

int readSector(void *, uint32_t sector, uint8_t *buffer) {
    if (sector >= cardSectors) return 0;
    auto w = written.find(sector);
    if (w != written.end()) {
        memcpy(buffer, w->second.data(), 512);
        return 1;
    }
    memset(buffer, 0, 512);
    size_t at = (size_t)sector * 512;
    if (at < imageSize) memcpy(buffer, imageData + at, imageSize - at < 512 ? imageSize - at : 512);
    return 1;
}

int writeSector(void *, uint32_t sector, const uint8_t *buffer) {
    if (sector >= cardSectors || written.size() > 4096) return 0;
    written[sector].assign(buffer, buffer + 512);
    return 1;
}

void readAll(const char *name) {
    ff::FF_FILE *f = ff::fopen(name, ff::FF_READ);
    if (!f) return;
    static uint8_t chunk[64 * 1024];
    uint32_t total = 0;
    // Enough to follow a damaged chain well past its sane end; a file claiming gigabytes would
    // otherwise make every input take seconds.
    for (int32_t n; total < (512u << 10) && (n = ff::freadChunk(f, chunk, sizeof chunk)) > 0;)
        total += (uint32_t)n;
    ff::fseek(f, -1, ff::FF_SEEK_END);
    ff::fgetc(f);
    ff::fclose(f);
}

void listAndRead(int depth) {
    ff::FF_DIRENT e;
    char names[16][13];
    bool dirs[16];
    int n = 0;
    for (int more = ff::read_directory_entry(&e, 0); more && n < 16; more = ff::read_directory_entry(&e, 1)) {
        ff::NameFromDirEntry(&e, names[n]);
        dirs[n] = (e.attr & ff::FF_ATTR_DIRECTORY) != 0;
        n++;
    }
    for (int i = 0; i < n; i++) {
        if (!dirs[i]) {
            readAll(names[i]);
        } else if (depth < 3 && names[i][0] != '.' && ff::chdir(names[i]) == 0) {
            listAndRead(depth + 1);
            ff::chdir("..");
        }
    }
}

void writeSome() {
    static const uint8_t bytes[3000] = {1, 2, 3};
    ff::FF_FILE *f = ff::fopen("NEW.TXT", ff::FF_APPEND);
    if (f) {
        ff::fwrite(bytes, 1, sizeof bytes, f);
        ff::fputs("line", f);
        ff::fclose(f);
    }
    ff::mkdir("DIR");
    f = ff::fopen("DIR\\IN.BIN", ff::FF_WRITE);
    if (f) {
        ff::fwrite(bytes, 1, 700, f);
        ff::fclose(f);
    }
    ff::rename("NEW.TXT", "OLD.TXT");
    if (ff::fcreate_contig_file("BIG.BIN", 5000) == 0) {
        f = ff::fopen("BIG.BIN", ff::FF_APPEND_CONTIG);
        if (f) {
            ff::fwriteChunkToContiguousFile(f, bytes, 1000);
            ff::fsetFileSize(f, 1000);
            ff::fclose(f);
        }
    }
    ff::remove("OLD.TXT");
    ff::rmdir("DIR");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    cardSectors = (uint32_t)(data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24);
    imageData = data + 4;
    imageSize = size - 4;
    written.clear();
    static ff::FF_Volume volume;
    ff::FF_Volume *saved = ff::ffSelect(&volume);
    ff::FF_BlockDevice device = {readSector, writeSector, nullptr, cardSectors};
    if (ff::ffMount(&device) == ff::FF_OK) {
        listAndRead(0);
        writeSome();
        listAndRead(0);
        ff::fquickformat();
    }
    ff::ffUnmount();
    ff::ffSelect(saved);
    return 0;
}
