// The host's view of the data flash and the image upload: "xma" (memory sizes), "xmc" (erase) and
// "xmp" (the line-encoded upload into the data flash or into the card's image file).
#pragma once

#include <stdint.h>

// An upload that hears nothing at all for this long gives up, so that a host that went away never
// leaves the display deaf to commands.
enum : uint32_t { XMP_IDLE_MS = 30000 };

int cmd_xma(char *line);
int cmd_xmc(char *line);
int cmd_xmp(char *line);
