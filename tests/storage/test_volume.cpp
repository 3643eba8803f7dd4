// Helpers of the storage tests that use the file system (see test_util.h).
#include <string.h>

#include "tests/storage/test_util.h"

namespace tu {

static int ramRead(void *context, uint32_t sector, uint8_t *buffer) {
    auto *d = (RamDisk *)context;
    if ((uint64_t)sector * 512 + 512 > d->bytes.size()) return 0;
    memcpy(buffer, d->bytes.data() + (uint64_t)sector * 512, 512);
    return 1;
}

static int ramWrite(void *context, uint32_t sector, const uint8_t *buffer) {
    auto *d = (RamDisk *)context;
    if ((uint64_t)sector * 512 + 512 > d->bytes.size()) return 0;
    if (d->writesLeft == 0) return 0;
    if (d->writesLeft > 0) d->writesLeft--;
    memcpy(d->bytes.data() + (uint64_t)sector * 512, buffer, 512);
    return 1;
}

ff::FF_BlockDevice RamDisk::device() {
    return {ramRead, ramWrite, this, (uint32_t)(bytes.size() / 512)};
}

Volume::Volume() : volume(new ff::FF_Volume()) {
    saved = ff::ffSelect(volume);
}
Volume::~Volume() {
    ff::ffUnmount();
    ff::ffSelect(saved);
    delete volume;
}
bool Volume::mount(RamDisk &disk) {
    ff::FF_BlockDevice d = disk.device();
    return ff::ffMount(&d) == ff::FF_OK;
}

std::vector<uint8_t> readCardFile(const char *path, bool *ok) {
    if (ok) *ok = false;
    ff::FF_FILE *f = ff::fopen(path, ff::FF_READ);
    if (!f) return {};
    std::vector<uint8_t> data(f->size);
    uint32_t got = data.empty() ? 0 : ff::fread(data.data(), 1, (uint32_t)data.size(), f);
    ff::fclose(f);
    if (got != data.size()) return {};
    if (ok) *ok = true;
    return data;
}

bool writeCardFile(const char *path, const std::vector<uint8_t> &data, int mode) {
    ff::FF_FILE *f = ff::fopen(path, mode);
    if (!f) return false;
    bool ok = data.empty() || ff::fwrite(data.data(), 1, (uint32_t)data.size(), f) == data.size();
    return ff::fclose(f) == 0 && ok;
}

} // namespace tu
