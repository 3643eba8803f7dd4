// GIF decoding. The file is walked block by block through the reader; a frame's LZW data is decoded
// straight into one row of colour indices, and every finished row is converted and drawn, at its
// interlaced place when the frame is interlaced. Nothing is kept between calls.
#include "gfx/gif_decode.h"

#include <string.h>

#include "gfx/gui_private.h"

namespace {

typedef GUI_ImageReader Reader;

enum : uint32_t { MAX_CODES = 4096, EXT = 0x21, IMAGE = 0x2C, TRAILER = 0x3B, GCE = 0xF9, COMMENT = 0xFE };

struct Screen {
    int32_t w, h;
    uint32_t globalCount; // 0: no global table
    uint32_t globalOffset;
    uint32_t bgIndex;
};

struct Frame {
    GUI_GIF_IMAGE_INFO info;
    uint32_t tableCount, tableOffset; // local table, else the global one
    uint32_t dataOffset;              // the LZW minimum code size byte
};

uint32_t rd16(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

bool readScreen(Reader &rd, Screen *s) {
    uint8_t h[13];
    if (!rd.read(h, sizeof h) || memcmp(h, "GIF", 3) != 0) return false;
    if (memcmp(h + 3, "87a", 3) != 0 && memcmp(h + 3, "89a", 3) != 0) return false;
    s->w = (int32_t)rd16(h + 6);
    s->h = (int32_t)rd16(h + 8);
    s->globalCount = (h[10] & 0x80) ? 2u << (h[10] & 7) : 0;
    s->globalOffset = 13;
    s->bgIndex = h[11];
    return s->w > 0 && s->h > 0 && rd.skip(3 * s->globalCount);
}

// Skips a chain of data sub-blocks; false when the data ends inside it.
bool skipSubBlocks(Reader &rd) {
    for (;;) {
        int n = rd.byte();
        if (n < 0) return false;
        if (n == 0) return true;
        if (!rd.skip((uint32_t)n)) return false;
    }
}

// What a walk looks for: frame `frame` (its header in *out), or comment `comment` (copied out).
struct Walk {
    int32_t frame = -1, comment = -1;
    Frame *out = nullptr;
    uint8_t *text = nullptr;
    uint32_t textSize = 0;
    int32_t frames = 0, comments = 0; // complete frames and comments seen
};

// Walks the blocks after the global table. True when the wanted item was found; otherwise the
// counts say what the stream holds (a missing trailer or damaged tail ends the walk).
bool walk(Reader &rd, const Screen &s, Walk &w) {
    GUI_GIF_IMAGE_INFO pending = {};
    pending.Transparent = -1;
    for (;;) {
        const int block = rd.byte();
        if (block == EXT) {
            const int label = rd.byte();
            if (label == GCE) {
                uint8_t g[6];
                if (!rd.read(g, sizeof g)) return false;
                if (g[0] < 4) return false;
                pending.Disposal = (g[1] >> 2) & 7;
                pending.Delay = (int32_t)rd16(g + 2);
                pending.Transparent = (g[1] & 1) ? g[4] : -1;
                if (g[5] && (!rd.skip(g[5]) || !skipSubBlocks(rd))) return false;
                // g[0] larger than 4 is tolerated: the sub-block chain takes the rest
            } else if (label == COMMENT && w.comments++ == w.comment) {
                uint32_t used = 0;
                for (;;) {
                    int n = rd.byte();
                    if (n <= 0) break;
                    for (int i = 0; i < n; i++) {
                        int c = rd.byte();
                        if (c < 0) break;
                        if (used + 1 < w.textSize) w.text[used++] = (uint8_t)c;
                    }
                }
                if (w.textSize) w.text[used] = 0;
                return !rd.failed;
            } else if (label < 0 || !skipSubBlocks(rd)) {
                return false;
            }
        } else if (block == IMAGE) {
            uint8_t d[9];
            if (!rd.read(d, sizeof d)) return false;
            Frame f;
            f.info = pending;
            f.info.xPos = (int32_t)rd16(d);
            f.info.yPos = (int32_t)rd16(d + 2);
            f.info.xSize = (int32_t)rd16(d + 4);
            f.info.ySize = (int32_t)rd16(d + 6);
            f.info.Interlaced = (d[8] & 0x40) ? 1 : 0;
            if (d[8] & 0x80) {
                f.tableCount = 2u << (d[8] & 7);
                f.tableOffset = rd.tell();
                if (!rd.skip(3 * f.tableCount)) return false;
            } else {
                f.tableCount = s.globalCount;
                f.tableOffset = s.globalOffset;
            }
            f.dataOffset = rd.tell();
            if (w.frames == w.frame) {
                *w.out = f;
                return true;
            }
            if (rd.byte() < 0 || !skipSubBlocks(rd)) return false;
            w.frames++;
            pending = GUI_GIF_IMAGE_INFO{};
            pending.Transparent = -1;
        } else {
            return false; // the trailer, the end of the data, or something that is not GIF
        }
    }
}

bool findFrame(Reader &rd, GUI_GET_DATA_FUNC getData, void *source, Screen *s, int32_t index, Frame *f) {
    rd.begin(getData, source, 0);
    if (!readScreen(rd, s) || index < 0) return false;
    Walk w;
    w.frame = index;
    w.out = f;
    return walk(rd, *s, w);
}

// The decoder's working memory, from the pool: the LZW table, its output stack, the colour table in
// frame-buffer values, and one row of indices and of pixels.
struct Work {
    uint16_t prefix[MAX_CODES];
    uint8_t suffix[MAX_CODES];
    uint8_t stack[MAX_CODES + 1];
    LCD_PIXELINDEX pal[256];
    uint8_t rgb[256 * 3];
};

struct PoolBlock {
    void *p;
    explicit PoolBlock(uint32_t size) : p(GUI_ALLOC_Alloc(size)) {}
    ~PoolBlock() { GUI_ALLOC_Free(p); }
};

bool readTable(Reader &rd, uint32_t offset, uint32_t count, Work *wk) {
    for (uint32_t i = 0; i < 256; i++) wk->pal[i] = 0; // indices past the table are black
    rd.seek(offset);
    if (!rd.read(wk->rgb, 3 * count)) return false;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *c = wk->rgb + 3 * i;
        wk->pal[i] = LCD_Color2Index((uint32_t)c[0] | (uint32_t)c[1] << 8 | (uint32_t)c[2] << 16);
    }
    return true;
}

// Output of decoded indices into rows, drawn as each row completes.
struct RowSink {
    const Work *wk;
    uint8_t *idx;
    LCD_PIXELINDEX *px;
    int32_t fw, fh, vis; // frame width and height, columns inside the logical screen
    int32_t visRows;     // rows inside the logical screen
    int32_t x, y;        // screen position of the frame's top-left
    int32_t transparent;
    bool interlaced;
    int32_t col = 0, done = 0, pass = 0, row = 0;

    void emit(int32_t n) {
        if (row < visRows) {
            const int32_t w = n < vis ? n : vis;
            if (transparent < 0) {
                for (int32_t c = 0; c < w; c++) px[c] = wk->pal[idx[c]];
                GUI__DrawPixelRow(x, y + row, px, w);
            } else {
                for (int32_t c = 0; c < w;) {
                    if (idx[c] == transparent) {
                        c++;
                        continue;
                    }
                    int32_t e = c;
                    for (; e < w && idx[e] != transparent; e++) px[e] = wk->pal[idx[e]];
                    GUI__DrawPixelRow(x + c, y + row, px + c, e - c);
                    c = e;
                }
            }
        }
        done++;
        if (!interlaced) {
            row++;
            return;
        }
        static const uint8_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        row += step[pass];
        while (row >= fh && pass < 3) row = start[++pass];
    }
    bool full() const { return done >= fh; }
};

// Decodes the LZW data at the reader into the sink. True when every row was decoded.
bool decodeLzw(Reader &rd, Work *wk, RowSink &out) {
    const int min = rd.byte();
    if (min < 1 || min > 8) return false;
    const uint32_t clear = 1u << min, eoi = clear + 1;
    uint32_t size = (uint32_t)min + 1, mask = (1u << size) - 1, next = clear + 2;
    uint32_t acc = 0, bits = 0, left = 0;
    int32_t prev = -1;
    uint8_t first = 0;
    uint8_t *const idx = out.idx;
    const int32_t vis = out.vis, fw = out.fw;
    int32_t col = 0;
    while (!out.full()) {
        while (bits < size) {
            if (left == 0) {
                const int n = rd.byte();
                if (n <= 0) goto ended;
                left = (uint32_t)n;
            }
            if (rd.cur == rd.end && !rd.fill()) goto ended;
            // Take as many bytes of the sub-block as the accumulator holds.
            while (bits <= 24 && left && rd.cur != rd.end) {
                acc |= (uint32_t)*rd.cur++ << bits;
                bits += 8;
                left--;
            }
        }
        uint32_t code = acc & mask;
        acc >>= size;
        bits -= size;
        if (code == clear) {
            size = (uint32_t)min + 1;
            mask = (1u << size) - 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi) break;
        uint8_t *sp = wk->stack;
        if (prev < 0) {
            if (code > clear) goto ended; // damaged: a string code with an empty table
            first = (uint8_t)code;
            *sp++ = first;
        } else {
            const uint32_t in = code;
            if (code > next) goto ended;
            if (code == next) {
                if (next >= MAX_CODES) goto ended;
                *sp++ = first;
                code = (uint32_t)prev;
            }
            while (code > clear) {
                *sp++ = wk->suffix[code];
                code = wk->prefix[code];
            }
            first = (uint8_t)code;
            *sp++ = first;
            if (next < MAX_CODES) {
                wk->prefix[next] = (uint16_t)prev;
                wk->suffix[next] = first;
                if (++next > mask && size < 12) {
                    size++;
                    mask = (1u << size) - 1;
                }
            }
            code = in;
        }
        prev = (int32_t)code;
        while (sp != wk->stack) {
            const uint8_t v = *--sp;
            if (col < vis) idx[col] = v;
            if (++col == fw) {
                out.emit(fw);
                col = 0;
                if (out.full()) break;
            }
        }
    }
    if (out.full()) return true;
ended:
    if (col && !out.full()) out.emit(col); // the part decoded so far
    return false;
}

// Frame `index` drawn by itself at (x, y), its logical screen's top-left.
int drawFrame(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y, int32_t index) {
    Reader rd;
    Screen s;
    Frame f;
    if (!findFrame(rd, getData, source, &s, index, &f)) return 1;
    const GUI_GIF_IMAGE_INFO &i = f.info;
    const int32_t vis = i.xPos >= s.w ? 0 : (i.xSize < s.w - i.xPos ? i.xSize : s.w - i.xPos);
    const int32_t visRows = i.yPos >= s.h ? 0 : s.h - i.yPos;
    if (i.xSize == 0 || i.ySize == 0) return 0;
    PoolBlock mem(sizeof(Work) + (uint32_t)vis * 3 + 8);
    if (!mem.p) return 1;
    Work *wk = (Work *)mem.p;
    if (f.tableCount && !readTable(rd, f.tableOffset, f.tableCount, wk)) return 1;
    if (!f.tableCount) {
        for (uint32_t c = 0; c < 256; c++) wk->pal[c] = LCD_Color2Index(c * 0x010101u);
    }
    RowSink out;
    out.wk = wk;
    out.px = (LCD_PIXELINDEX *)(wk + 1);
    out.idx = (uint8_t *)(out.px + vis);
    out.fw = i.xSize;
    out.fh = i.ySize;
    out.vis = vis;
    out.visRows = visRows;
    out.x = x + i.xPos;
    out.y = y + i.yPos;
    out.transparent = i.Transparent;
    out.interlaced = i.Interlaced != 0;
    rd.seek(f.dataOffset);
    return decodeLzw(rd, wk, out) ? 0 : 1;
}

// Restores the background colour over a frame's area.
int fillBackground(GUI_GET_DATA_FUNC getData, void *source, const Screen &s, const GUI_GIF_IMAGE_INFO &i,
                   int32_t x, int32_t y) {
    if (!s.globalCount || s.bgIndex >= s.globalCount || i.xPos >= s.w || i.yPos >= s.h) return 0;
    Reader rd;
    rd.begin(getData, source, s.globalOffset + 3 * s.bgIndex);
    uint8_t c[3];
    if (!rd.read(c, 3)) return 1;
    const int32_t x1 = (i.xPos + i.xSize < s.w ? i.xPos + i.xSize : s.w) - 1;
    const int32_t y1 = (i.yPos + i.ySize < s.h ? i.yPos + i.ySize : s.h) - 1;
    if (x1 < i.xPos || y1 < i.yPos) return 0;
    LCD__FillRectIndex(GUI__SX(x + i.xPos), GUI__SY(y + i.yPos), GUI__SX(x + x1), GUI__SY(y + y1),
                       LCD_Color2Index((uint32_t)c[0] | (uint32_t)c[1] << 8 | (uint32_t)c[2] << 16));
    return 0;
}

// Frame `index` as it shows in the animation: the frame before it disposed of, then the frame.
// A frame that restores what was under it gets the frames before it redrawn, clipped to its area.
int drawSub(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y, int32_t index, bool replay) {
    if (index > 0) {
        Reader rd;
        Screen s;
        Frame before;
        if (!findFrame(rd, getData, source, &s, index - 1, &before)) return 1;
        const GUI_GIF_IMAGE_INFO &b = before.info;
        if (b.Disposal == 2 || (b.Disposal == 3 && replay)) {
            if (fillBackground(getData, source, s, b, x, y)) return 1;
        } else if (b.Disposal == 3) {
            const GUI_RECT keep = GUI_Context.ClipRect;
            GUI_RECT &c = GUI_Context.ClipRect;
            const int32_t x0 = GUI__SX(x + b.xPos), y0 = GUI__SY(y + b.yPos);
            if (x0 > c.x0) c.x0 = x0;
            if (y0 > c.y0) c.y0 = y0;
            if (x0 + b.xSize - 1 < c.x1) c.x1 = x0 + b.xSize - 1;
            if (y0 + b.ySize - 1 < c.y1) c.y1 = y0 + b.ySize - 1;
            int failed = fillBackground(getData, source, s, b, x, y);
            for (int32_t k = 0; k < index - 1 && !failed && c.x0 <= c.x1 && c.y0 <= c.y1; k++)
                failed = drawSub(getData, source, x, y, k, true);
            GUI_Context.ClipRect = keep;
            if (failed) return 1;
        }
    }
    return drawFrame(getData, source, x, y, index);
}

int scan(GUI_GET_DATA_FUNC getData, void *source, Walk &w) {
    Reader rd;
    Screen s;
    rd.begin(getData, source, 0);
    if (!readScreen(rd, &s)) return 1;
    return walk(rd, s, w) ? 0 : 1;
}

} // namespace

int GUI_GIF_GetInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_GIF_INFO *info) {
    Reader rd;
    Screen s;
    rd.begin(getData, source, 0);
    if (!readScreen(rd, &s)) return 1;
    Walk w;
    walk(rd, s, w);
    info->xSize = s.w;
    info->ySize = s.h;
    info->NumImages = w.frames;
    return 0;
}

int GUI_GIF_GetImageInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_GIF_IMAGE_INFO *info, int32_t index) {
    Reader rd;
    Screen s;
    Frame f;
    if (!findFrame(rd, getData, source, &s, index, &f)) return 1;
    *info = f.info;
    return 0;
}

int GUI_GIF_DrawSubEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y, int32_t index) {
    return drawSub(getData, source, x, y, index, false);
}

int GUI_GIF_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y) {
    return drawFrame(getData, source, x, y, 0);
}

int GUI_GIF_GetCommentEx(GUI_GET_DATA_FUNC getData, void *source, uint8_t *buffer, uint32_t size,
                         int32_t index) {
    if (!buffer || !size || index < 0) return 1;
    buffer[0] = 0;
    Walk w;
    w.comment = index;
    w.text = buffer;
    w.textSize = size;
    return scan(getData, source, w);
}

int GUI_GIF_GetInfo(const void *data, uint32_t size, GUI_GIF_INFO *info) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_GIF_GetInfoEx(GUI_GetDataMemory, &m, info);
}

int GUI_GIF_GetImageInfo(const void *data, uint32_t size, GUI_GIF_IMAGE_INFO *info, int32_t index) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_GIF_GetImageInfoEx(GUI_GetDataMemory, &m, info, index);
}

int GUI_GIF_DrawSub(const void *data, uint32_t size, int32_t x, int32_t y, int32_t index) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_GIF_DrawSubEx(GUI_GetDataMemory, &m, x, y, index);
}

int GUI_GIF_Draw(const void *data, uint32_t size, int32_t x, int32_t y) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_GIF_DrawEx(GUI_GetDataMemory, &m, x, y);
}

int GUI_GIF_GetComment(const void *data, uint32_t size, uint8_t *buffer, uint32_t bufferSize, int32_t index) {
    GUI_MEMORY_SOURCE m{(const uint8_t *)data, size};
    return GUI_GIF_GetCommentEx(GUI_GetDataMemory, &m, buffer, bufferSize, index);
}
