// The project file of the resource-image builder: a plain text file naming the macros, bitmaps,
// user fonts and GIF files of an image.
//
//   # comment (a line whose first non-blank character is '#'; blank lines are ignored)
//   macro [NUMBER] [NAME]          a macro: its lines follow as they would be typed, up to "end"
//   bitmap [RECORD] FILE [plain | compressed | transparent COLOUR]
//   font [RECORD] NAME FILE SIZE [prop|ext|aa2|aa4|frm] [mono] [height N] [ranges LIST]
//   gif [RECORD] FILE
//   blank [RECORD]
//
// Macros are numbered from 1 in the order written unless a number is given; records likewise from 1
// (record 0 holds the macros). Files are found relative to the project file; a name with blanks is
// written in double quotes.
#pragma once

#include <string>
#include <vector>

#include "tools/pack/image.h"

namespace pack {

// Reads the project; false with one "FILE:LINE: message" per mistake in *errors.
bool readProject(const std::string &path, Image *image, std::vector<std::string> *errors);

// A PNG or BMP file as 0xAARRGGBB pixels, row after row from the top.
bool loadPicture(const std::string &path, int *width, int *height, std::vector<uint32_t> *argb,
                 std::string *error);

} // namespace pack
