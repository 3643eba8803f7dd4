// The --sd DIR form: a directory packed into a FAT card image at start-up, with the card tool's
// packer (the firmware's own FAT code). This is the one place that turns a directory into an image;
// the rest of the slot only ever sees an image file.
#include <stdio.h>

#include "board/host/host.h"
#include "tools/card/cardpack.h"

namespace host {

std::string packWithCardTool(const std::string &dir) {
    std::string path, error;
    if (!cardPackDirectoryToTempFile(dir.c_str(), path, &error)) {
        fprintf(stderr, "zefo5: %s\n", error.c_str());
        return "";
    }
    return path;
}

} // namespace host
