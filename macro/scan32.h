// Number reading for command arguments as a 32-bit board reads them (`strtol` / `strtoul` with
// 32-bit long): a PC build gets the same values, and the same replies, for any input.
#pragma once

#include <stdint.h>

// White space, optional sign, decimal digits; a value out of range saturates. False without a
// digit (p is then unchanged).
bool scanDec32(const char **p, int32_t *v);
// White space, optional sign, optional 0x, hexadecimal digits, saturating at 0xFFFFFFFF; a '-'
// negates modulo 2^32. False without a digit (p is then unchanged).
bool scanHex32(const char **p, uint32_t *v);
