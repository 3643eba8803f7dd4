// CRC-16/MODBUS (reflected polynomial 0xA001, initial value 0xFFFF, no final XOR).
#pragma once

#include <stdint.h>

uint16_t CalcCRC(const uint8_t *data, uint32_t length);
// Continues a CRC: CRC(A then B) == CalcCRCwithSeed(B, |B|, CalcCRC(A, |A|)).
uint16_t CalcCRCwithSeed(const uint8_t *data, uint32_t length, uint16_t seed);
