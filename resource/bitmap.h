// Bitmap records of the resource image and their drawing. Coordinates are screen coordinates (the
// commands add the drawing origin first). Plain and transparent bitmaps are copied into the frame
// buffer by the blits here; compressed ones go through the drawing core and obey its clip
// rectangle. Every blit is clamped to the bitmap and to the screen.
#pragma once

#include <stdint.h>

#include "resource/resource.h"

// Type 2 through the run-length method, type 5 with its own transparent colour, else plain.
// 1, or 0 for no (usable) bitmap record.
int QV_DrawBitmap(const ExtRecord *record, int x, int y);
// The same, once the panel's scan has passed the bitmap's last row, so that the redraw does not tear.
int QV_DrawBitmapW(const ExtRecord *record, int x, int y);
// Waits until the panel's scan has passed the screen row (returns at once in builds without the
// panel services).
void QV_WaitScanPast(int row);
int QV_DrawCompressedBitmap(const ExtRecord *record, int x, int y);
// Every pixel except those equal to the transparent index.
int QV_DrawBitmapTr(const ExtRecord *record, int x, int y, uint16_t transparent);
// The part of the bitmap placed at (x, y) inside the screen rectangle x0..x1, y0..y1 (inclusive);
// 0 and nothing drawn unless x0 >= x, y0 >= y, x1 >= x0 and y1 >= y0.
int QV_DrawBitmapClipAbs(const ExtRecord *record, int x, int y, int x0, int y0, int x1, int y1);
int QV_DrawBitmapTrClipAbs(const ExtRecord *record, int x, int y, int x0, int y0, int x1, int y1,
                           uint16_t transparent);
// Bitmap columns xOffset..xEnd-1 of rows yOffset..yEnd-1, with that band's corner at (x, y).
int QV_DrawBitmapCutOff(const ExtRecord *record, int x, int y, int xOffset, int yOffset, int xEnd, int yEnd);
// 0 with ":bitmap must be uncompressed\r" for a compressed record, else 1.
int screenCompressedBitmap(const ExtRecord *record);

// ---- commands of this room (return the interpreter's result code) -------------------------------
int cmd_xi(char *line);
int cmd_xit(char *line);
int cmd_xim(char *line);
int cmd_xic(char *line);
int cmd_xio(char *line);
