// The configuration EEPROM and the serial data flash, which the machine does not have, modelled at
// the level of their buses: the portable protocol code above the bus primitives runs unchanged.
// Their cells live in machine RAM outside the board's memory map and last for the run (a restart
// through the watchdog keeps them); both are stored inverted, so fresh RAM reads as erased.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

// ---------------------------------------------------------------------------------------------
// A 24xx64 on the I2C bus at 0xA0: 8 KiB, two address bytes (high first, the top three bits
// ignored), 32-byte pages. Written bytes are latched and stored at the stop condition, within the
// page of the first address (the address rolls over inside the page); until its write cycle is
// over the device does not acknowledge its address.

enum : uint32_t { EE_SIZE = VPB_EEPROM_SIZE, EE_PAGE = 32, EE_WRITE_CYCLE_POLLS = 2 };

static uint8_t *const eeCells = reinterpret_cast<uint8_t *>(VPB_EEPROM_STORE);

enum I2cState : uint8_t { I2C_IGNORED, I2C_ADDR_HIGH, I2C_ADDR_LOW, I2C_WRITING, I2C_READING };
static I2cState i2cState;
static uint16_t eePointer;
static uint8_t eeLatch[EE_PAGE];
static uint32_t eeLatched; // one bit per page byte
static uint16_t eePage;
static uint8_t eeBusyPolls;

void InitI2C(void) {
    i2cState = I2C_IGNORED;
    eeLatched = 0;
}

int bsp_i2c_start(uint8_t address_byte) {
    eeLatched = 0; // a (repeated) start abandons an unfinished write
    if ((address_byte & 0xFE) != 0xA0) {
        i2cState = I2C_IGNORED;
        return 0;
    }
    if (eeBusyPolls) {
        eeBusyPolls--;
        i2cState = I2C_IGNORED;
        return 0;
    }
    i2cState = (address_byte & 1) ? I2C_READING : I2C_ADDR_HIGH;
    return 1;
}

int bsp_i2c_write(uint8_t byte) {
    switch (i2cState) {
    case I2C_ADDR_HIGH:
        eePointer = (uint16_t)((byte << 8) & (EE_SIZE - 1));
        i2cState = I2C_ADDR_LOW;
        return 1;
    case I2C_ADDR_LOW:
        eePointer = (uint16_t)((eePointer | byte) & (EE_SIZE - 1));
        eePage = (uint16_t)(eePointer & ~(EE_PAGE - 1));
        i2cState = I2C_WRITING;
        return 1;
    case I2C_WRITING: {
        uint32_t offset = eePointer & (EE_PAGE - 1);
        eeLatch[offset] = byte;
        eeLatched |= 1u << offset;
        eePointer = (uint16_t)(eePage | ((offset + 1) & (EE_PAGE - 1)));
        return 1;
    }
    default:
        return 0;
    }
}

uint8_t bsp_i2c_read(int ack) {
    (void)ack;
    if (i2cState != I2C_READING) return 0xFF;
    uint8_t value = (uint8_t)~eeCells[eePointer];
    eePointer = (uint16_t)((eePointer + 1) & (EE_SIZE - 1));
    return value;
}

void bsp_i2c_stop(void) {
    if (i2cState == I2C_WRITING && eeLatched) {
        for (uint32_t i = 0; i < EE_PAGE; i++)
            if (eeLatched & (1u << i)) eeCells[eePage + i] = (uint8_t)~eeLatch[i];
        eeBusyPolls = EE_WRITE_CYCLE_POLLS;
    }
    eeLatched = 0;
    i2cState = I2C_IGNORED;
}

// ---------------------------------------------------------------------------------------------
// A 128-Mbit serial NOR flash: identification 20 20 18, 64 sectors of 256 KiB, 256-byte pages.
// Program and erase need the write-enable latch and clear it; programming only clears bits and
// wraps inside its page; an erase sets a sector (or the chip) to 0xFF. Operations complete at
// once, but the status shows busy for one read afterwards, as a real part would for a while.

enum : uint32_t {
    SF_SIZE = VPB_DATAFLASH_SIZE,
    SF_SECTOR = 0x40000,
    SF_PAGE = 256,
    SF_STATUS_BUSY = 0x01,
    SF_STATUS_WEL = 0x02,
};
static const uint8_t flashId[3] = {0x20, 0x20, 0x18};

static uint8_t *const sfCells = reinterpret_cast<uint8_t *>(VPB_DATAFLASH_STORE);

static uint8_t sfSelected, sfCommand, sfWriteEnabled, sfBusyReads;
static uint32_t sfBytes; // bytes exchanged since the chip was selected
static uint32_t sfAddress;

void InitSerialFlash(void) {
    sfSelected = 0;
    sfWriteEnabled = 0;
}

static void eraseRange(uint32_t start, uint32_t length) {
    uint32_t *cells = reinterpret_cast<uint32_t *>(sfCells + start);
    for (uint32_t i = 0; i < length / 4; i++) cells[i] = 0; // stored inverted: erased
}

// Commands that act when the chip is deselected.
static void finishCommand(void) {
    switch (sfCommand) {
    case 0x06:
        if (sfBytes == 1) sfWriteEnabled = 1;
        break;
    case 0x04:
        if (sfBytes == 1) sfWriteEnabled = 0;
        break;
    case 0x02:
        if (sfBytes >= 4 && sfWriteEnabled) {
            sfWriteEnabled = 0;
            sfBusyReads = 1;
        }
        break;
    case 0xD8:
        if (sfBytes == 4 && sfWriteEnabled) {
            eraseRange(sfAddress & ~(SF_SECTOR - 1), SF_SECTOR);
            sfWriteEnabled = 0;
            sfBusyReads = 1;
        }
        break;
    case 0xC7:
        if (sfBytes == 1 && sfWriteEnabled) {
            eraseRange(0, SF_SIZE);
            sfWriteEnabled = 0;
            sfBusyReads = 1;
        }
        break;
    default:
        break;
    }
}

void bsp_flash_select(int on) {
    if (on && !sfSelected) {
        sfBytes = 0;
        sfAddress = 0;
    } else if (!on && sfSelected) {
        finishCommand();
    }
    sfSelected = on != 0;
}

uint8_t bsp_flash_xfer(uint8_t out) {
    if (!sfSelected) return 0xFF;
    uint32_t n = sfBytes++;
    if (n == 0) {
        sfCommand = out;
        return 0xFF;
    }
    switch (sfCommand) {
    case 0x9F:
        return n <= 3 ? flashId[n - 1] : 0xFF;
    case 0x05: {
        uint8_t status = sfWriteEnabled ? (uint8_t)SF_STATUS_WEL : (uint8_t)0;
        if (sfBusyReads) {
            sfBusyReads--;
            status |= SF_STATUS_BUSY;
        }
        return status;
    }
    case 0x03: // read
    case 0x0B: // fast read: one dummy byte after the address
    case 0x02: // page program
    case 0xD8: // sector erase
        if (n <= 3) {
            sfAddress = ((sfAddress << 8) | out) & (SF_SIZE - 1);
            return 0xFF;
        }
        if (sfCommand == 0x0B && n == 4) return 0xFF;
        if (sfCommand == 0x03 || sfCommand == 0x0B) {
            uint8_t value = (uint8_t)~sfCells[sfAddress];
            sfAddress = (sfAddress + 1) & (SF_SIZE - 1);
            return value;
        }
        if (sfCommand == 0x02 && sfWriteEnabled) {
            sfCells[sfAddress] |= (uint8_t)~out; // inverted: programming clears bits
            sfAddress = (sfAddress & ~(SF_PAGE - 1)) | ((sfAddress + 1) & (SF_PAGE - 1));
        }
        return 0xFF;
    default:
        return 0xFF;
    }
}
