// Text: character decoding, glyph drawing in the four text modes, lines with alignment and line
// feeds, text in rectangles (clipped to them), wrapped and rotated text.
//
// Every string is laid out in a "virtual" plane: u along the text, v down the lines. Unrotated text
// maps it straight onto the screen; rotated text maps it onto a rectangle turned by a quarter, a
// half or three quarters. Glyph rows are walked with two frame-buffer steps (one per u, one per v),
// so one drawing loop serves every direction.
#include "gfx/text.h"

#include "gfx/font.h"
#include "gfx/gui_private.h"

struct GUI_ROTATION {
    int32_t quarterTurns; // counter-clockwise
};
const GUI_ROTATION LCD_APIListCCW = {1};
const GUI_ROTATION LCD_APIListCW = {3};
const GUI_ROTATION LCD_APIList180 = {2};

// ---- characters ---------------------------------------------------------------------------------------

// The next character code of a text of at most *left bytes; 0 at the end. UTF-8 sequences that are
// broken or too long for 16 bits give their first byte as the code, so no byte is ever lost.
uint16_t GUI__NextChar(const char **ps, int32_t *left) {
    const uint8_t *s = (const uint8_t *)*ps;
    if (*left <= 0 || s[0] == 0) return 0;
    uint32_t c = s[0], n = 1;
    if (GUI_Context.Encoding == GUI_ENCODE_UTF8 && c >= 0xC2) {
        if (c < 0xE0 && *left >= 2 && (s[1] & 0xC0) == 0x80) {
            c = ((c & 0x1F) << 6) | (s[1] & 0x3F);
            n = 2;
        } else if (c >= 0xE0 && c < 0xF0 && *left >= 3 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
            uint32_t code = ((c & 0x0F) << 12) | ((uint32_t)(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
            if (code >= 0x800) {
                c = code;
                n = 3;
            }
        }
    }
    *ps += n;
    *left -= (int32_t)n;
    return (uint16_t)c;
}

static int32_t charDist(const GUI_FONT *font, uint16_t c) {
    GUI_GLYPH g;
    if (!GUI__GetGlyph(font, c, &g)) return 0;
    return g.XDist + GUI_Context.CharSpacing;
}

// Width of at most len bytes of text; line ends have no width.
static int32_t lineWidth(const char *s, int32_t len) {
    const GUI_FONT *font = GUI_Context.pAFont;
    int32_t w = 0;
    for (uint16_t c; (c = GUI__NextChar(&s, &len)) != 0;)
        if (c != '\n' && c != '\r') w += charDist(font, c);
    return w;
}

int32_t GUI_GetStringDistX(const char *text) {
    if (!text || !GUI_Context.pAFont) return 0;
    const GUI_FONT *font = GUI_Context.pAFont;
    int32_t w = 0, len = 0x7FFFFFFF;
    for (uint16_t c; (c = GUI__NextChar(&text, &len)) != 0;) w += charDist(font, c);
    return w;
}

int32_t GUI_GetFontDistY(void) {
    return GUI_Context.pAFont ? GUI_Context.pAFont->YDist : 0;
}

int32_t GUI_GetCharDistX(uint16_t c) {
    return GUI_Context.pAFont ? charDist(GUI_Context.pAFont, c) : 0;
}

static int32_t lineDist(void) {
    return GUI_GetFontDistY() + GUI_Context.LineSpacing;
}

// ---- the virtual plane ----------------------------------------------------------------------------------

struct Plane {
    // Screen point of (u, v): (ox + ux u + vx v, oy + uy u + vy v).
    int32_t ox, oy, ux, uy, vx, vy;
    int32_t du, dv;             // frame-buffer steps of one u and one v
    int32_t cu0, cv0, cu1, cv1; // clip rectangle in the plane, inclusive
};

// A plane whose (0, 0) lies at screen (x0, y0) and whose u axis points along the quarter turns
// given; clipped to the screen rectangle clip.
static void planeInit(Plane *p, int32_t x0, int32_t y0, int32_t quarterTurns, const GUI_RECT *clip) {
    static const int8_t axes[4][4] = {
        {1, 0, 0, 1},   // unrotated
        {0, -1, 1, 0},  // counter-clockwise: text runs up, line feeds go right
        {-1, 0, 0, -1}, // half a turn
        {0, 1, -1, 0},  // clockwise: text runs down, line feeds go left
    };
    const int8_t *a = axes[quarterTurns & 3];
    p->ox = x0;
    p->oy = y0;
    p->ux = a[0], p->uy = a[1], p->vx = a[2], p->vy = a[3];
    p->du = p->ux + p->uy * LCD__XSize;
    p->dv = p->vx + p->vy * LCD__XSize;
    // The inverse of an axis turn is its transpose.
    int32_t ua = p->ux * (clip->x0 - x0) + p->uy * (clip->y0 - y0);
    int32_t va = p->vx * (clip->x0 - x0) + p->vy * (clip->y0 - y0);
    int32_t ub = p->ux * (clip->x1 - x0) + p->uy * (clip->y1 - y0);
    int32_t vb = p->vx * (clip->x1 - x0) + p->vy * (clip->y1 - y0);
    p->cu0 = ua < ub ? ua : ub, p->cu1 = ua < ub ? ub : ua;
    p->cv0 = va < vb ? va : vb, p->cv1 = va < vb ? vb : va;
}

static inline LCD_PIXELINDEX *planePixel(const Plane *p, int32_t u, int32_t v) {
    int32_t x = p->ox + p->ux * u + p->vx * v, y = p->oy + p->uy * u + p->vy * v;
    return LCD__pVRAM + y * LCD__XSize + x;
}

// Fills a rectangle of the plane with one index, clipped.
static void planeFill(const Plane *p, int32_t u0, int32_t v0, int32_t u1, int32_t v1, LCD_PIXELINDEX index) {
    if (u0 < p->cu0) u0 = p->cu0;
    if (v0 < p->cv0) v0 = p->cv0;
    if (u1 > p->cu1) u1 = p->cu1;
    if (v1 > p->cv1) v1 = p->cv1;
    if (u0 > u1 || v0 > v1) return;
    // The same rectangle on the screen, filled row by row.
    int32_t xa = p->ox + p->ux * u0 + p->vx * v0, ya = p->oy + p->uy * u0 + p->vy * v0;
    int32_t xb = p->ox + p->ux * u1 + p->vx * v1, yb = p->oy + p->uy * u1 + p->vy * v1;
    int32_t x0 = xa < xb ? xa : xb, x1 = xa < xb ? xb : xa;
    int32_t y0 = ya < yb ? ya : yb, y1 = ya < yb ? yb : ya;
    for (int32_t y = y0; y <= y1; y++)
        LCD__Fill16(LCD__pVRAM + y * LCD__XSize + x0, (uint32_t)(x1 - x0 + 1), index);
}

// ---- glyphs -----------------------------------------------------------------------------------------------

// How the pixels of the glyphs are set.
struct Ink {
    uint8_t xorMode;      // invert the pixels a glyph covers at least half
    uint8_t fill;         // the cells are filled first (normal and reverse modes)
    LCD_PIXELINDEX index; // glyph colour
    LCD_PIXELINDEX frame; // frame colour of framed glyphs
    LCD_PIXELINDEX cell;  // fill colour of the cells
    uint32_t index32;     // glyph colour spread for mixing
};

static inline uint32_t spread(uint32_t c) {
    return (c | (c << 16)) & 0x07E0F81Fu;
}

// The glyph colour over the pixel below, with a weight of 0 .. 32.
static inline LCD_PIXELINDEX mix(uint32_t fg32, LCD_PIXELINDEX below, uint32_t w) {
    uint32_t b = spread(below);
    uint32_t r = ((fg32 * w + b * (32 - w)) >> 5) & 0x07E0F81Fu;
    return (LCD_PIXELINDEX)(r | (r >> 16));
}

// Coverage of 2 and 4 bits as mixing weights.
static const uint8_t weight2[4] = {0, 11, 21, 32};
static const uint8_t weight4[16] = {0, 2, 4, 6, 9, 11, 13, 15, 17, 19, 21, 23, 26, 28, 30, 32};

// One pixel of a 4-bit glyph with coverage a (1 .. 15).
static inline void aaPixel(LCD_PIXELINDEX *dst, uint32_t a, const Ink *ink) {
    if (ink->xorMode) {
        if (a >= 8) *dst ^= 0xFFFF;
    } else if (a == 15) {
        *dst = ink->index;
    } else {
        *dst = mix(ink->index32, *dst, weight4[a]);
    }
}

// Draws glyph g with its box's top-left corner at (u0, v0) of the plane.
static void drawGlyph(const Plane *p, const GUI_GLYPH *g, int32_t u0, int32_t v0, uint32_t bpp, uint8_t kind,
                      const Ink *ink) {
    int32_t ua = u0 > p->cu0 ? u0 : p->cu0, ub = u0 + g->XSize - 1 < p->cu1 ? u0 + g->XSize - 1 : p->cu1;
    int32_t va = v0 > p->cv0 ? v0 : p->cv0, vb = v0 + g->YSize - 1 < p->cv1 ? v0 + g->YSize - 1 : p->cv1;
    if (ua > ub || va > vb) return;
    const int32_t du = p->du;
    const int32_t n = ub - ua + 1, skip = ua - u0;
    for (int32_t v = va; v <= vb; v++) {
        const uint8_t *row = g->pData + (v - v0) * g->BytesPerLine;
        LCD_PIXELINDEX *dst = planePixel(p, ua, v);
        if (bpp == 1) {
            uint32_t bit = (uint32_t)skip;
            const uint8_t *b = row + (bit >> 3);
            uint32_t bits = (uint32_t)*b++ << (bit & 7);
            uint32_t inByte = 8 - (bit & 7);
            for (int32_t i = 0; i < n; i++, dst += du) {
                if (inByte == 0) {
                    bits = *b++;
                    inByte = 8;
                    // Whole empty bytes are passed over at once.
                    while (bits == 0 && i + 8 < n) {
                        i += 8;
                        dst += 8 * du;
                        bits = *b++;
                    }
                }
                inByte--;
                uint32_t on = bits & 0x80;
                bits <<= 1;
                if (!on) continue;
                if (ink->xorMode)
                    *dst ^= 0xFFFF;
                else
                    *dst = ink->index;
            }
        } else if (bpp == 4 && kind != GUI_FONTKIND_FRM) {
            // Two pixels a byte; empty bytes are the common case around the strokes.
            const uint8_t *b = row + (skip >> 1);
            int32_t i = 0;
            if (skip & 1) {
                uint32_t a = *b++ & 0x0F;
                if (a) aaPixel(dst, a, ink);
                dst += du;
                i = 1;
            }
            for (; i + 1 < n; i += 2, dst += 2 * du) {
                uint32_t v = *b++;
                if (!v) continue;
                if (v >> 4) aaPixel(dst, v >> 4, ink);
                if (v & 0x0F) aaPixel(dst + du, v & 0x0F, ink);
            }
            if (i < n) {
                uint32_t a = *b >> 4;
                if (a) aaPixel(dst, a, ink);
            }
        } else {
            const uint32_t shiftTop = 8 - bpp, mask = (1u << bpp) - 1;
            for (int32_t i = 0; i < n; i++, dst += du) {
                uint32_t pos = (uint32_t)(skip + i) * bpp;
                uint32_t a = (row[pos >> 3] >> (shiftTop - (pos & 7))) & mask;
                if (!a) continue;
                if (kind == GUI_FONTKIND_FRM) {
                    if (ink->xorMode)
                        *dst ^= 0xFFFF;
                    else
                        *dst = a == 2 ? ink->frame : ink->index;
                } else if (ink->xorMode) {
                    if (a > (mask >> 1)) *dst ^= 0xFFFF;
                } else if (a == mask) {
                    *dst = ink->index;
                } else {
                    *dst = mix(ink->index32, *dst, bpp == 4 ? weight4[a] : weight2[a]);
                }
            }
        }
    }
}

static void inkInit(Ink *ink) {
    int16_t tm = GUI_Context.TextMode;
    bool rev = (tm & GUI_TM_REV) != 0;
    ink->xorMode = (tm & GUI_TM_XOR) != 0;
    ink->fill = !ink->xorMode && !(tm & GUI_TM_TRANS);
    ink->index = rev ? GUI_Context.BkColorIndex : GUI_Context.ColorIndex;
    ink->frame = rev ? GUI_Context.ColorIndex : GUI_Context.BkColorIndex;
    ink->cell = ink->frame;
    ink->index32 = spread(ink->index);
}

// Draws at most len bytes of one line with the pen at u and the cell's top line at v; returns the
// pen position after it. Line ends are not drawn.
static int32_t drawLine(const Plane *p, const char *s, int32_t len, int32_t u, int32_t v, const Ink *ink) {
    const GUI_FONT *font = GUI_Context.pAFont;
    if (ink->fill) {
        int32_t w = lineWidth(s, len);
        if (w > 0) planeFill(p, u, v, u + w - 1, v + font->YSize - 1, ink->cell);
    }
    const uint32_t bpp = font->BitsPerPixel;
    for (uint16_t c; (c = GUI__NextChar(&s, &len)) != 0;) {
        GUI_GLYPH g;
        if (c == '\n' || c == '\r' || !GUI__GetGlyph(font, c, &g)) continue;
        if (g.XSize) drawGlyph(p, &g, u + g.XOff, v + g.YOff, bpp, font->Kind, ink);
        u += g.XDist + GUI_Context.CharSpacing;
    }
    return u;
}

// Bytes up to and including the line end (a line feed, or a carriage return when crEnds) or the end
// of the text; *end is the line end, or 0.
static int32_t lineBytes(const char *s, int32_t len, bool crEnds, uint16_t *end) {
    const char *start = s;
    uint16_t c;
    while ((c = GUI__NextChar(&s, &len)) != 0 && c != '\n' && !(crEnds && c == '\r')) {}
    *end = c;
    return (int32_t)(s - start);
}

// ---- text at the text position --------------------------------------------------------------------------

static int32_t alignTop(int32_t y, int32_t align) {
    const GUI_FONT *font = GUI_Context.pAFont;
    switch (align & GUI_TA_VERTICAL) {
    case GUI_TA_BOTTOM:
        return y - font->YSize + 1;
    case GUI_TA_BASELINE:
        return y - font->Baseline;
    case GUI_TA_VCENTER:
        return y - font->YSize / 2;
    default:
        return y;
    }
}

static int32_t alignLeft(int32_t x, int32_t width, int32_t align) {
    switch (align & GUI_TA_HORIZONTAL) {
    case GUI_TA_RIGHT:
        return x - width;
    case GUI_TA_HCENTER:
        return x - width / 2;
    default:
        return x;
    }
}

void GUI_DispString(const char *text) {
    if (!text || !GUI_Context.pAFont) return;
    Plane p;
    planeInit(&p, 0, 0, 0, &GUI_Context.ClipRect);
    Ink ink;
    inkInit(&ink);
    const int32_t align = GUI_Context.TextAlign;
    const bool left = (align & GUI_TA_HORIZONTAL) == GUI_TA_LEFT;
    const int32_t startX = GUI_Context.DispPosX;
    int32_t x = GUI_Context.DispPosX, y = GUI_Context.DispPosY;
    int32_t len = 0x7FFFFFFF;
    const char *s = text;
    while (*s) {
        uint16_t end;
        int32_t n = lineBytes(s, len, true, &end);
        int32_t w = lineWidth(s, n);
        int32_t lx = alignLeft(x, w, align);
        drawLine(&p, s, n, GUI__SX(lx), GUI__SY(alignTop(y, align)), &ink);
        x = lx + w;
        s += n;
        len -= n;
        if (end == '\n') y += lineDist();
        if (end == '\n' || end == '\r') x = left ? GUI_Context.LBorder : startX;
    }
    GUI_Context.DispPosX = x;
    GUI_Context.DispPosY = y;
}

void GUI_DispStringAt(const char *text, int32_t x, int32_t y) {
    GUI_GotoXY(x, y);
    GUI_DispString(text);
}

void GUI_DispNextLine(void) {
    GUI_Context.DispPosY += lineDist();
    GUI_Context.DispPosX = GUI_Context.LBorder;
}

// ---- text in a rectangle
// ------------------------------------------------------------------------------------

// The rectangle as a plane turned by the rotation, clipped to itself and the clip rectangle; its
// width and height along the text.
static bool rectPlane(const GUI_RECT *rect, int32_t quarterTurns, Plane *p, int32_t *w, int32_t *h) {
    GUI_RECT r = {GUI__SX(rect->x0), GUI__SY(rect->y0), GUI__SX(rect->x1), GUI__SY(rect->y1)};
    if (r.x0 > r.x1 || r.y0 > r.y1) return false;
    GUI_RECT c = GUI_Context.ClipRect;
    if (c.x0 < r.x0) c.x0 = r.x0;
    if (c.y0 < r.y0) c.y0 = r.y0;
    if (c.x1 > r.x1) c.x1 = r.x1;
    if (c.y1 > r.y1) c.y1 = r.y1;
    if (c.x0 > c.x1 || c.y0 > c.y1) return false;
    int32_t rw = r.x1 - r.x0 + 1, rh = r.y1 - r.y0 + 1;
    switch (quarterTurns & 3) {
    case 1: // text runs up from the bottom-left corner
        planeInit(p, r.x0, r.y1, 1, &c);
        *w = rh, *h = rw;
        break;
    case 2:
        planeInit(p, r.x1, r.y1, 2, &c);
        *w = rw, *h = rh;
        break;
    case 3: // text runs down from the top-right corner
        planeInit(p, r.x1, r.y0, 3, &c);
        *w = rh, *h = rw;
        break;
    default:
        planeInit(p, r.x0, r.y0, 0, &c);
        *w = rw, *h = rh;
        break;
    }
    return true;
}

// The top of a block of n lines in a box of height h.
static int32_t blockTop(int32_t lines, int32_t h, int32_t align) {
    int32_t total = (lines - 1) * lineDist() + GUI_Context.pAFont->YSize;
    switch (align & GUI_TA_VERTICAL) {
    case GUI_TA_BOTTOM:
        return h - total;
    case GUI_TA_VCENTER:
        return (h - total) / 2;
    default:
        return 0;
    }
}

static int32_t rectLeft(int32_t lineW, int32_t w, int32_t align) {
    switch (align & GUI_TA_HORIZONTAL) {
    case GUI_TA_RIGHT:
        return w - lineW;
    case GUI_TA_HCENTER:
        return (w - lineW) / 2;
    default:
        return 0;
    }
}

void GUI_DispStringInRectEx(const char *text, const GUI_RECT *rect, int32_t align, int32_t len,
                            const GUI_ROTATION *rotation) {
    if (!text || !rect || !GUI_Context.pAFont) return;
    if (len < 0) len = 0x7FFFFFFF;
    Plane p;
    int32_t w, h;
    if (!rectPlane(rect, rotation ? rotation->quarterTurns : 0, &p, &w, &h)) return;
    Ink ink;
    inkInit(&ink);
    // Lines end at line feeds only; a carriage return is passed over.
    int32_t lines = 1;
    {
        const char *s = text;
        int32_t left = len;
        for (uint16_t c; (c = GUI__NextChar(&s, &left)) != 0;)
            if (c == '\n') lines++;
    }
    int32_t v = blockTop(lines, h, align);
    const char *s = text;
    while (len > 0 && *s && v <= p.cv1) {
        uint16_t end;
        int32_t n = lineBytes(s, len, false, &end);
        drawLine(&p, s, n, rectLeft(lineWidth(s, n), w, align), v, &ink);
        s += n;
        len -= n;
        v += lineDist();
    }
}

void GUI_DispStringInRect(const char *text, const GUI_RECT *rect, int32_t align) {
    GUI_DispStringInRectEx(text, rect, align, -1, nullptr);
}

// ---- wrapped text
// -------------------------------------------------------------------------------------------

// Bytes of the next wrapped line of a paragraph that fit width w, at least one character. *next is
// where the following line starts (after the blanks of a word break, or after the line feed), and
// *feed tells that a line feed ended the line.
static int32_t wrapLine(const char *s, int32_t len, int32_t w, int32_t wrapMode, int32_t *next, bool *feed) {
    const GUI_FONT *font = GUI_Context.pAFont;
    const char *q = s;
    int32_t x = 0;
    int32_t wordEnd = -1;  // where the blanks after the last whole word begin
    int32_t wordNext = -1; // where the word after those blanks begins
    bool inBlank = false;
    *feed = false;
    for (;;) {
        const int32_t at = (int32_t)(q - s);
        uint16_t c = GUI__NextChar(&q, &len);
        if (c == 0 || c == '\n') {
            *feed = c == '\n';
            *next = (int32_t)(q - s);
            return at;
        }
        if (c == ' ') {
            if (!inBlank && at > 0) wordEnd = at;
            inBlank = true;
        } else if (inBlank) {
            wordNext = at;
            inBlank = false;
        }
        int32_t cw = c == '\r' ? 0 : charDist(font, c);
        // Blanks may run past the edge; they are not drawn at a break.
        if (x + cw > w && at > 0 && c != ' ') {
            if (wrapMode == GUI_WRAPMODE_WORD && wordEnd > 0 && wordNext > wordEnd) {
                *next = wordNext;
                return wordEnd;
            }
            *next = at;
            return at;
        }
        x += cw;
    }
}

// Runs through the wrapped lines and draws them when p is given, the first one at v. Returns the
// number of lines.
static int32_t wrapLines(const char *text, int32_t w, int32_t wrapMode, const Plane *p, int32_t v,
                         int32_t align, const Ink *ink) {
    int32_t lines = 0, len = 0x7FFFFFFF;
    const char *s = text;
    bool paragraphStart = true;
    while (*s) {
        if (!paragraphStart)
            while (*s == ' ') s++, len--;
        if (!*s) break;
        int32_t next;
        bool feed;
        int32_t n = wrapLine(s, len, w, wrapMode, &next, &feed);
        paragraphStart = feed;
        if (p) {
            if (v > p->cv1) break;
            drawLine(p, s, n, rectLeft(lineWidth(s, n), w, align), v, ink);
            v += lineDist();
        }
        lines++;
        s += next;
        len -= next;
    }
    return lines;
}

void GUI_DispStringInRectWrap(const char *text, const GUI_RECT *rect, int32_t align, int32_t wrapMode) {
    if (!text || !rect || !GUI_Context.pAFont) return;
    if (wrapMode != GUI_WRAPMODE_WORD && wrapMode != GUI_WRAPMODE_CHAR) {
        GUI_DispStringInRect(text, rect, align);
        return;
    }
    Plane p;
    int32_t w, h;
    if (!rectPlane(rect, 0, &p, &w, &h)) return;
    Ink ink;
    inkInit(&ink);
    int32_t lines = wrapLines(text, w, wrapMode, nullptr, 0, align, &ink);
    if (lines == 0) return;
    wrapLines(text, w, wrapMode, &p, blockTop(lines, h, align), align, &ink);
}
