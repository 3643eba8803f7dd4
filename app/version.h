// The version text of this build.
#pragma once

#include <stddef.h>

enum { VERSION_MAJOR = 1, VERSION_MINOR = 5, VERSION_PATCH = 0 };
#define PRODUCT_NAME "ZEFO5"

// Writes the version text (at most 60 characters and the configuration name) into buffer, which
// holds at least 131 bytes; returns its length.
size_t QV_Copy_Version(char *buffer);
