// Windows BMP decoding. Rows are decoded one at a time into frame-buffer values and handed to the
// drawing core as one-row bitmaps; run-length rows draw only the pixels they set.
#include "gfx/bmp_decode.h"

#include <string.h>

#include "gfx/gui.h"

namespace {

enum : uint32_t { FILE_HEADER = 14, INFO_MIN = 40, MAX_ROW_BYTES = GUI_BMP_MAX_SIZE * 4 };

uint32_t rd16(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}
uint32_t rd32(const uint8_t *p) {
    return rd16(p) | rd16(p + 2) << 16;
}

typedef GUI_ImageReader Reader;

struct Header {
    int32_t w, h; // h > 0
    bool topDown;
    uint32_t bpp, compression, dataOffset, colours;
};

bool parseHeader(const uint8_t *hd, Header *out) {
    if (hd[0] != 'B' || hd[1] != 'M') return false;
    uint32_t infoSize = rd32(hd + 14);
    if (infoSize < INFO_MIN) return false;
    int32_t w = (int32_t)rd32(hd + 18), h = (int32_t)rd32(hd + 22);
    uint32_t bpp = rd16(hd + 28), compression = rd32(hd + 30), colours = rd32(hd + 46);
    bool topDown = h < 0;
    if (topDown) h = h == INT32_MIN ? 0 : -h;
    if (w <= 0 || h <= 0 || w > GUI_BMP_MAX_SIZE || h > GUI_BMP_MAX_SIZE) return false;
    switch (bpp) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    if (compression > 2 || (compression == 1 && bpp != 8) || (compression == 2 && bpp != 4)) return false;
    if (compression && topDown) return false; // run-length images are stored bottom-up
    if (bpp <= 8) {
        if (colours == 0) colours = 1u << bpp;
        if (colours > 256 || colours > (1u << bpp)) return false;
    } else {
        colours = 0;
    }
    *out = Header{w, h, topDown, bpp, compression, rd32(hd + 10), colours};
    return true;
}

// The row buffer and, for run-length rows, which of its pixels were set.
LCD_PIXELINDEX rowPixels[GUI_BMP_MAX_SIZE];
uint8_t rowSet[GUI_BMP_MAX_SIZE];
uint8_t rowBytes[MAX_ROW_BYTES];

void drawSpan(int32_t x, int32_t y, int32_t from, int32_t to) {
    GUI__DrawPixelRow(x + from, y, rowPixels + from, to - from);
}

// Draws the pixels of the row that were set, span by span.
void drawSetPixels(int32_t x, int32_t y, int32_t w) {
    for (int32_t i = 0; i < w;) {
        if (!rowSet[i]) {
            i++;
            continue;
        }
        int32_t j = i;
        while (j < w && rowSet[j]) j++;
        drawSpan(x, y, i, j);
        i = j;
    }
}

LCD_PIXELINDEX rgb(uint32_t r, uint32_t g, uint32_t b) {
    return LCD_Color2Index(r | g << 8 | b << 16);
}

int decodePlain(Reader &rd, const Header &hd, const LCD_PIXELINDEX *pal, int32_t x, int32_t y) {
    const uint32_t stride = ((uint32_t)hd.w * hd.bpp + 31) / 32 * 4;
    for (int32_t i = 0; i < hd.h; i++) {
        rd.seek(hd.dataOffset + (uint32_t)i * stride);
        if (!rd.read(rowBytes, stride)) return 1;
        const uint8_t *s = rowBytes;
        for (int32_t c = 0; c < hd.w; c++) {
            switch (hd.bpp) {
            case 1:
                rowPixels[c] = pal[(s[c >> 3] >> (7 - (c & 7))) & 1];
                break;
            case 4:
                rowPixels[c] = pal[(s[c >> 1] >> ((c & 1) ? 0 : 4)) & 0xF];
                break;
            case 8:
                rowPixels[c] = pal[s[c]];
                break;
            case 16: { // 5-5-5
                uint32_t v = rd16(s + 2 * c);
                rowPixels[c] =
                    rgb(((v >> 10) & 0x1F) * 255 / 31, ((v >> 5) & 0x1F) * 255 / 31, (v & 0x1F) * 255 / 31);
                break;
            }
            case 24:
                rowPixels[c] = rgb(s[3 * c + 2], s[3 * c + 1], s[3 * c]);
                break;
            default:
                rowPixels[c] = rgb(s[4 * c + 2], s[4 * c + 1], s[4 * c]);
                break;
            }
        }
        drawSpan(x, y + (hd.topDown ? i : hd.h - 1 - i), 0, hd.w);
    }
    return 0;
}

// 8-bit (RLE8) and 4-bit (RLE4) run-length data: runs, end of line, end of bitmap, delta and
// absolute runs padded to 16 bits. Pixels a delta skips stay as they are on the screen.
int decodeRle(Reader &rd, const Header &hd, const LCD_PIXELINDEX *pal, int32_t x, int32_t y) {
    const bool four = hd.compression == 2;
    rd.seek(hd.dataOffset);
    int32_t row = 0, col = 0;
    memset(rowSet, 0, sizeof rowSet);
    auto put = [&](uint32_t index) {
        if (col < hd.w) {
            rowPixels[col] = pal[index < hd.colours ? index : 0];
            rowSet[col] = 1;
        }
        col++;
    };
    auto endLine = [&]() {
        drawSetPixels(x, y + hd.h - 1 - row, hd.w);
        memset(rowSet, 0, sizeof rowSet);
        row++;
        col = 0;
    };
    while (row < hd.h) {
        uint8_t code[2];
        if (!rd.read(code, 2)) return 1;
        if (code[0]) {
            for (uint32_t k = 0; k < code[0]; k++)
                put(four ? ((k & 1) ? code[1] & 0xF : code[1] >> 4) : code[1]);
            continue;
        }
        switch (code[1]) {
        case 0:
            endLine();
            break;
        case 1:
            drawSetPixels(x, y + hd.h - 1 - row, hd.w);
            return 0;
        case 2: {
            uint8_t d[2];
            if (!rd.read(d, 2)) return 1;
            for (int32_t k = 0; k < d[1] && row < hd.h; k++) {
                int32_t keep = col;
                endLine();
                col = keep;
            }
            col += d[0];
            break;
        }
        default: {
            uint32_t n = code[1];
            uint32_t bytes = four ? (n + 1) / 2 : n;
            uint8_t data[256];
            if (!rd.read(data, (bytes + 1) & ~1u)) return 1;
            for (uint32_t k = 0; k < n; k++)
                put(four ? ((k & 1) ? data[k / 2] & 0xF : data[k / 2] >> 4) : data[k]);
            break;
        }
        }
    }
    return 0;
}

bool headerOf(const void *data, uint32_t size, Header *hd) {
    return data && size >= FILE_HEADER + INFO_MIN && parseHeader((const uint8_t *)data, hd);
}

} // namespace

int GUI_BMP_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y) {
    Reader rd;
    rd.begin(getData, source, 0);
    uint8_t head[FILE_HEADER + INFO_MIN];
    Header hd;
    if (!rd.read(head, sizeof head) || !parseHeader(head, &hd)) return 1;
    LCD_PIXELINDEX pal[256] = {};
    if (hd.colours) {
        rd.seek(FILE_HEADER + rd32(head + 14));
        for (uint32_t i = 0; i < hd.colours; i++) {
            uint8_t q[4];
            if (!rd.read(q, 4)) return 1;
            pal[i] = rgb(q[2], q[1], q[0]);
        }
    }
    return hd.compression ? decodeRle(rd, hd, pal, x, y) : decodePlain(rd, hd, pal, x, y);
}

int GUI_BMP_Draw(const void *data, uint32_t size, int32_t x, int32_t y) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    if (!data) return 1;
    return GUI_BMP_DrawEx(GUI_GetDataMemory, &m, x, y);
}

int32_t GUI_BMP_GetXSize(const void *data, uint32_t size) {
    Header hd;
    return headerOf(data, size, &hd) ? hd.w : 0;
}

int32_t GUI_BMP_GetYSize(const void *data, uint32_t size) {
    Header hd;
    return headerOf(data, size, &hd) ? hd.h : 0;
}
