// The --sd DIR form: a directory packed into a FAT card image at start-up. This is the one place
// that turns a directory into an image; the rest of the slot only ever sees an image file.
#include <stdio.h>

#include "board/host/host.h"

namespace host {

std::string packDirectory(const std::string &dir) {
    fprintf(stderr,
            "zefo5: %s is a directory; the card needs an image file (packing a directory is not "
            "available yet)\n",
            dir.c_str());
    return "";
}

} // namespace host
