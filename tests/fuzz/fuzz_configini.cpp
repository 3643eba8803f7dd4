// Any "config.ini": on a card (formatted and written by the file system itself), read at start-up
// by the configuration store with and without verbose mode. Afterwards the block must be valid,
// saved in both EEPROM copies, and "tspan" at least 4.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/config_file.h"
#include "fat/ff.h"
#include "sdcard/sdcard.h"
#include "settings/settings.h"
#include "tests/storage/storage_board.h"

namespace {

std::vector<uint8_t> *disk;
int readSector(void *, uint32_t sector, uint8_t *buffer) {
    if ((sector + 1) * 512u > disk->size()) return 0;
    memcpy(buffer, disk->data() + sector * 512u, 512);
    return 1;
}
int writeSector(void *, uint32_t sector, const uint8_t *buffer) {
    if ((sector + 1) * 512u > disk->size()) return 0;
    memcpy(disk->data() + sector * 512u, buffer, 512);
    return 1;
}

// A small card holding config.ini with the given bytes, in the slot of a freshly powered board.
void insertCardWith(const uint8_t *data, size_t size) {
    static ff::FF_Volume volume;
    static std::vector<uint8_t> blank, image;
    static std::string path;
    ff::FF_Volume *saved = ff::ffSelect(&volume);
    if (blank.empty()) {
        blank.assign(192 * 1024, 0);
        disk = &blank;
        ff::FF_BlockDevice device = {readSector, writeSector, nullptr, (uint32_t)(blank.size() / 512)};
        if (ff::ffFormat(&device, 0, device.sectors, 12) != 0) abort();
        char name[] = "/tmp/fuzz_configini_XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) abort();
        close(fd);
        path = name;
        atexit([] { unlink(path.c_str()); });
    }
    image = blank;
    disk = &image;
    ff::FF_BlockDevice device = {readSector, writeSector, nullptr, (uint32_t)(image.size() / 512)};
    if (ff::ffMount(&device) != ff::FF_OK) abort();
    ff::FF_FILE *f = ff::fopen("CONFIG.INI", ff::FF_WRITE);
    if (!f || ff::fwrite(data, 1, (uint32_t)size, f) != size || ff::fclose(f) != 0) abort();
    ff::ffUnmount();
    ff::ffSelect(saved);
    FILE *out = fopen(path.c_str(), "wb");
    if (!out || fwrite(image.data(), 1, image.size(), out) != image.size() || fclose(out) != 0) abort();
    sb::powerOn();
    if (!testboard::insertCard(path)) abort();
}

bool copyGood(uint16_t base) {
    const std::vector<uint8_t> &ee = testboard::eeprom();
    return ee[base + 1] == 0x12 && QV_EEPROM_Checksum(&ee[base]) == ee[base + 0xFF] &&
           memcmp(&ee[base], eepromData, 0x46) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 64 * 1024) return 0;
    insertCardWith(data, size);
    if (initialize_media() != SD_OK) abort();
    SDhotplugInitialized();
    QV_EEPROM_LoadAndFix();
    QV_EEPROM_Init();
    if (!QV_EEPROMvalid() || eepromData[CFG_TSPAN] < 4 || eepromData[CFG_MARKER_AA] != 0xAA) abort();
    if (!copyGood(EE_COPY_A) || !copyGood(EE_COPY_B)) abort();
    // The key search on its own, for keys the store does not use.
    std::vector<char> text(data, data + size);
    text.push_back(0);
    int value;
    char quoted[8];
    lookfor(text.data(), "a", 'h', &value, 1);
    lookfor(text.data(), "=", 'd', &value, 1);
    lookforQuotedString(text.data(), "\"", quoted, sizeof quoted, 1);
    lookforQuotedString(text.data(), "x", quoted, 1, 1);
    return 0;
}
