// Drawing commands: colours, palette, pen, draw mode, origin, pixels, points, lines, rectangles,
// triangles, arcs, circles, ellipses, polygons (plain and rotated), the built-in images and the
// graphics-state report. Coordinates are relative to the origin.
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/catalogue.h"
#include "app/commands.h"
#include "base/parse.h"
#include "gfx/gfx_state.h"
#include "serial/serial.h"

// ---- colours ---------------------------------------------------------------------------------------
int atoRGB(const char *text) {
    while (*text == ' ' || *text == '\t') text++;
    size_t len = strlen(text);
    if (len != 3 && len != 6) return -1;
    int v = 0;
    for (size_t i = 0; i < len; i++) {
        int d = atoh(text[i]); // a non-hexadecimal character counts as 0
        v = len == 3 ? (v << 8) | (d * 0x11) : (v << 4) | d;
    }
    return v;
}

static GUI_COLOR rgbToLibrary(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

int atoBGR(const char *text) {
    int rgb = atoRGB(text);
    return (int)((rgb & 0xFF000000) | rgbToLibrary((uint32_t)rgb & 0xFFFFFF));
}

static uint32_t libraryToRGB(GUI_COLOR c) {
    return rgbToLibrary(c & 0xFFFFFF);
}

// ---- shapes used by other rooms ----------------------------------------------------------------------
int GUIDEMO_DrawRect(int mode, int x1, int y1, int x2, int y2) {
    switch (mode) {
    case 0: {
        GUI_POINT p[4] = {{0, 0},
                          {(int16_t)(x2 - x1), 0},
                          {(int16_t)(x2 - x1), (int16_t)(y2 - y1)},
                          {0, (int16_t)(y2 - y1)}};
        GUI_DrawPolygon(p, 4, x1, y1);
        return 1;
    }
    case 1:
        GUI_FillRect(x1, y1, x2, y2);
        return 1;
    case 2: {
        if (x1 > x2) {
            int t = x1;
            x1 = x2;
            x2 = t;
        }
        if (y1 > y2) {
            int t = y1;
            y1 = y2;
            y2 = t;
        }
        for (int x = x1; x < x2; x += 2) {
            GUI_DrawPixel(x, y1);
            if (y2 != y1) GUI_DrawPixel(x, y2);
        }
        // The top edge already set the top-left corner; setting it again would undo it in XOR mode.
        for (int y = y1; y < y2; y += 2) {
            if (y != y1) GUI_DrawPixel(x1, y);
            if (x2 != x1) GUI_DrawPixel(x2, y);
        }
        return 1;
    }
    case 3: {
        uint8_t pen = GUI_SetPenSize(1);
        GUIDEMO_DrawRect(0, x1, y1, x2, y2);
        GUI_SetPenSize(pen);
        return 1;
    }
    default:
        return 0;
    }
}

void savePolyBoxCorners(int x, int y, const GUI_POINT *points, int count, GUI_RECT *box) {
    box->x0 = box->y0 = 0x3FF;
    box->x1 = box->y1 = 0;
    for (int i = 0; i < count; i++) {
        int px = points[i].x + x, py = points[i].y + y;
        if (px < box->x0) box->x0 = px;
        if (py < box->y0) box->y0 = py;
        if (px > box->x1) box->x1 = px;
        if (py > box->y1) box->y1 = py;
    }
}

// ---- pixels -------------------------------------------------------------------------------------------
static bool onScreen(int x, int y) {
    return x >= 0 && y >= 0 && x < LCD_GetXSize() && y < LCD_GetYSize();
}

int cmd_pr(char *line) {
    int x, y;
    if (sscanf(line, "%*s %d %d", &x, &y) != 2) return CMD_FAIL;
    x += Origin_X;
    y += Origin_Y;
    if (!onScreen(x, y)) return CMD_FAIL;
    uint32_t v = LCD_GetFrameBuffer()[y * LCD_GetXSize() + x];
    if (line[2] == 'x')
        snprintf(out_buffer, sizeof out_buffer, "%02X%02X%02X\r", (unsigned)((v >> 11) * 8),
                 (unsigned)(((v >> 5) & 0x3F) * 4), (unsigned)((v & 0x1F) * 8));
    else
        snprintf(out_buffer, sizeof out_buffer, "%04X\r", (unsigned)v);
    txString(out_buffer);
    return CMD_OK;
}

int cmd_pw(char *line) {
    int x, y;
    unsigned value;
    int n = sscanf(line, "%*s %d %d %x", &x, &y, &value);
    if (n < 2) return CMD_FAIL;
    x += Origin_X;
    y += Origin_Y;
    if (n == 2) {
        GUI_DrawPixel(x, y);
        return CMD_OK;
    }
    if (!onScreen(x, y)) return CMD_FAIL; // a raw write has no clipping to keep it in the frame buffer
    if (line[2] == 'x') value = ((value >> 19) << 11) | (((value >> 10) & 0x3F) << 5) | ((value >> 3) & 0x1F);
    LCD_GetFrameBuffer()[y * LCD_GetXSize() + x] = (LCD_PIXELINDEX)value;
    return CMD_OK;
}

int cmd_dp(char *line) {
    int x, y;
    if (sscanf(line, "dp %d %d", &x, &y) != 2) return CMD_FAIL;
    GUI_DrawPoint(x + Origin_X, y + Origin_Y);
    return CMD_OK;
}

// ---- pen and modes --------------------------------------------------------------------------------------
int cmd_p(char *line) {
    if (strcmp(line, "p") == 0) {
        snprintf(out_buffer, sizeof out_buffer, "%d\r", GUI_GetPenSize());
        txNotify(out_buffer);
        return CMD_OK;
    }
    unsigned n;
    if (sscanf(line, "p %u", &n) != 1) return CMD_FAIL;
    // The pen size is one byte: a larger size would silently wrap round.
    if (n < 1 || n > 255 || n > (unsigned)LCD_GetXSize() || n > (unsigned)LCD_GetYSize()) return CMD_FAIL;
    GUI_SetPenSize((uint8_t)n);
    return CMD_OK;
}

int cmd_d(char *line) {
    if (strcmp(line, "d") == 0) {
        uint8_t m = GUI_GetDrawMode();
        txNotify(m == GUI_DRAWMODE_NORMAL ? "n\r" : m == GUI_DRAWMODE_XOR ? "x\r" : "?\r");
        return CMD_OK;
    }
    char word[10];
    if (sscanf(line, "d %9s", word) != 1) return CMD_FAIL;
    if (word[0] == 'n')
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    else if (word[0] == 'x')
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    else
        return CMD_CONTINUE;
    return CMD_OK;
}

// ---- colours --------------------------------------------------------------------------------------------
int cmd_s(char *line) {
    int fg, bg;
    if (sscanf(line, "s %d %d", &fg, &bg) != 2) return CMD_FAIL;
    if (fg < 0 || fg > 19) {
        txString("Invalid Foreground Color");
        fg = 0;
    }
    if (bg < 0 || bg > 19) {
        txString("Invalid Background Color");
        bg = 0;
    }
    GUI_SetColor(color_map[fg]);
    GUI_SetBkColor(color_map[bg]);
    return CMD_OK;
}

int cmd_S(char *line) {
    if (strcmp(line, "S") == 0) {
        GUI_COLOR fg = GUI_GetColor(), bg = GUI_GetBkColor();
        snprintf(out_buffer, sizeof out_buffer, "%06" PRIX32 " (%04X) %06" PRIX32 " (%04X)\r",
                 libraryToRGB(fg), (unsigned)LCD_Color2Index(fg), libraryToRGB(bg),
                 (unsigned)LCD_Color2Index(bg));
        txNotify(out_buffer);
        return CMD_OK;
    }
    unsigned fg, bg;
    if (sscanf(line, "S %x %x", &fg, &bg) != 2) return CMD_FAIL;
    char w1[10], w2[10];
    if (sscanf(line, "S %9s %9s", w1, w2) == 2 && strlen(w1) == 3 && strlen(w2) == 3) {
        GUI_SetColor((GUI_COLOR)atoBGR(w1));
        GUI_SetBkColor((GUI_COLOR)atoBGR(w2));
    } else {
        GUI_SetColor(rgbToLibrary(fg & 0xFFFFFF));
        GUI_SetBkColor(rgbToLibrary(bg & 0xFFFFFF));
    }
    return CMD_OK;
}

// ---- origin ----------------------------------------------------------------------------------------------
int cmd_o(char *line) {
    int x, y;
    if (sscanf(line, "o %d %d", &x, &y) == 2) {
        setOrigin(x, y);
        return CMD_OK;
    }
    snprintf(out_buffer, sizeof out_buffer, "%d %d\r", Origin_X, Origin_Y);
    txString(out_buffer);
    return CMD_OK;
}

// ---- lines and shapes
// ----------------------------------------------------------------------------------------
int cmd_l(char *line) {
    int x1, y1, x2, y2;
    if (sscanf(line, "l %d%d%d%d", &x1, &y1, &x2, &y2) != 4) return CMD_FAIL;
    GUI_DrawLine(x1 + Origin_X, y1 + Origin_Y, x2 + Origin_X, y2 + Origin_Y);
    return CMD_OK;
}

// Fills with a colour given on the line, then puts the colour back.
static void fillInColour(GUI_COLOR colour, int x1, int y1, int x2, int y2) {
    GUI_COLOR prev = GUI_SetColor(colour);
    GUI_FillRect(x1, y1, x2, y2);
    GUI_SetColor(prev);
}

int cmd_r(char *line) {
    int x1, y1, x2, y2, m = 0;
    char colour[10];
    int n = sscanf(line, "r %d%d%d%d%d %9s", &x1, &y1, &x2, &y2, &m, colour);
    if (n < 4) return CMD_CONTINUE;
    x1 += Origin_X;
    x2 += Origin_X;
    y1 += Origin_Y;
    y2 += Origin_Y;
    if (n == 4) return GUIDEMO_DrawRect(0, x1, y1, x2, y2);
    if (m == 1) {
        if (n == 6)
            fillInColour((GUI_COLOR)atoBGR(colour), x1, y1, x2, y2);
        else
            GUI_FillRect(x1, y1, x2, y2);
        return CMD_OK;
    }
    if (m == 3) {
        size_t len = n == 6 ? strlen(colour) : 0;
        if (len == 3 || len == 6)
            fillInColour((GUI_COLOR)atoBGR(colour), x1, y1, x2, y2);
        else
            GUI_FillRect(x1, y1, x2, y2);
        return CMD_OK;
    }
    if (n == 5) return GUIDEMO_DrawRect(m, x1, y1, x2, y2);
    return CMD_CONTINUE;
}

int cmd_tr(char *line) {
    int c[6];
    char colour[10];
    int n = sscanf(line, "tr %d%d %d%d %d%d %9s", &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], colour);
    if (n != 6 && n != 7) return CMD_CONTINUE;
    GUI_POINT p[3];
    for (int i = 0; i < 3; i++) {
        p[i].x = (int16_t)c[2 * i];
        p[i].y = (int16_t)c[2 * i + 1];
    }
    if (n == 6) {
        GUI_DrawPolygon(p, 3, Origin_X, Origin_Y);
    } else {
        GUI_COLOR prev = GUI_SetColor((GUI_COLOR)atoBGR(colour));
        GUI_FillPolygon(p, 3, Origin_X, Origin_Y);
        GUI_SetColor(prev);
    }
    return CMD_OK;
}

int cmd_a(char *line) {
    int x, y, r, a0, a1;
    if (sscanf(line, "a %d%d %d %d%d", &x, &y, &r, &a0, &a1) != 5) return CMD_FAIL;
    GL_DrawArc(x + Origin_X, y + Origin_Y, r, r, a0, a1);
    return CMD_OK;
}

int cmd_ef(char *line) {
    int x, y, rx, ry;
    if (sscanf(line, "ef %d%d%d%d", &x, &y, &rx, &ry) != 4) return CMD_FAIL;
    if (rx > 180 || ry > 180) {
        txString("Radius values over 180\r");
        return CMD_FAIL;
    }
    GUI_FillEllipse(x + Origin_X, y + Origin_Y, rx, ry);
    return CMD_OK;
}

int cmd_e(char *line) {
    int x, y, rx, ry;
    if (sscanf(line, "e %d%d%d%d", &x, &y, &rx, &ry) != 4) return CMD_FAIL;
    if (rx > 180 || ry > 180) {
        txString(":Radius values over 180\r");
        return CMD_FAIL;
    }
    GUI_DrawEllipse(x + Origin_X, y + Origin_Y, rx, ry);
    return CMD_OK;
}

int cmd_c(char *line) {
    int x, y, r, f;
    int n = sscanf(line, "c %d%d%d%d", &x, &y, &r, &f);
    if (n < 3) return CMD_FAIL;
    if (n == 4)
        GUI_FillCircle(x + Origin_X, y + Origin_Y, r);
    else
        GUI_DrawCircle(x + Origin_X, y + Origin_Y, r);
    return CMD_OK;
}

int cmd_i(char *line) {
    int n, x, y;
    if (sscanf(line, "i %d%d%d", &n, &x, &y) != 3) return CMD_FAIL;
    if (n != 1 && n != 2) return CMD_FAIL;
    GUI_DrawBitmap(n == 1 ? &bmButtonRaised : &bmButtonPressed, x + Origin_X, y + Origin_Y);
    return CMD_OK;
}

// ---- polygons
// -------------------------------------------------------------------------------------------------
enum { POLY_VALUES = 22 };

static int16_t v[POLY_VALUES]; // anchor, then the vertices relative to it, as given
static int polyCount;          // vertices after the anchor
static int polyFill;           // 1: "ppgr" redraws filled
uint8_t angleSense = 1;        // rotation angles run as 360 - angle

enum PolyDraw { POLY_OUTLINE, POLY_FILL, POLY_LINE };

// The numbers after the keyword; -1 when a word is not a number or there are too many to keep.
static int parseValues(const char *p, int32_t *out, int max) {
    int n = 0;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == ',') p++;
        if (!*p) return n;
        char *end;
        long value = strtol(p, &end, 10);
        if (end == p || n == max) return -1;
        out[n++] = (int32_t)value;
        p = end;
    }
}

static void drawPoly(PolyDraw how, const GUI_POINT *points, int n, int x, int y) {
    if (how == POLY_FILL)
        GUI_FillPolygon(points, n, x, y);
    else if (how == POLY_LINE)
        GUI_DrawPolyLine(points, n, x, y);
    else
        GUI_DrawPolygon(points, n, x, y);
}

// The stored polygon turned by a whole number of degrees about its anchor.
static void drawRotated(int angle, PolyDraw how) {
    if (angleSense) angle = 360 - angle;
    float rad = (float)(angle * 0.01745277777777778);
    GUI_POINT work[POLY_VALUES / 2];
    for (int i = 0; i < polyCount; i++) {
        work[i].x = v[2 + 2 * i];
        work[i].y = v[3 + 2 * i];
    }
    GUI_RotatePolygon(work, work, polyCount, rad);
    drawPoly(how, work, polyCount, v[0] + Origin_X, v[1] + Origin_Y);
}

static int polygonCommand(const char *args, PolyDraw how, bool rotated, int fillAfter) {
    int32_t vals[POLY_VALUES + 1];
    int n = parseValues(args, vals, rotated ? POLY_VALUES + 1 : POLY_VALUES);
    int first = rotated ? 1 : 0;
    if (n < 0) return CMD_FAIL;
    if (rotated ? (n % 2 != 1 || n < 7) : (n % 2 != 0 || n < 6)) return CMD_FAIL;
    for (int i = first; i < n; i++) v[i - first] = (int16_t)vals[i];
    polyCount = (n - first - 2) / 2;
    if (fillAfter >= 0) polyFill = fillAfter;
    if (rotated) {
        drawRotated(vals[0], how);
    } else {
        GUI_POINT pts[POLY_VALUES / 2];
        for (int i = 0; i < polyCount; i++) {
            pts[i].x = v[2 + 2 * i];
            pts[i].y = v[3 + 2 * i];
        }
        drawPoly(how, pts, polyCount, v[0] + Origin_X, v[1] + Origin_Y);
    }
    return CMD_OK;
}

int cmd_pg(char *line) {
    return polygonCommand(line + 2, POLY_OUTLINE, false, 0);
}
int cmd_pf(char *line) {
    return polygonCommand(line + 2, POLY_FILL, false, 1);
}
int cmd_pl(char *line) {
    return polygonCommand(line + 2, POLY_LINE, false, -1);
}
int cmd_pgr(char *line) {
    return polygonCommand(line + 3, POLY_OUTLINE, true, 0);
}
int cmd_pfr(char *line) {
    return polygonCommand(line + 3, POLY_FILL, true, 1);
}
int cmd_plr(char *line) {
    return polygonCommand(line + 3, POLY_LINE, true, 1);
}

int cmd_ppgr(char *line) {
    int angle;
    if (sscanf(line, "ppgr %d", &angle) != 1) return CMD_FAIL;
    drawRotated(angle, polyFill == 1 ? POLY_FILL : POLY_OUTLINE);
    return CMD_OK;
}

// ---- the state report
// -------------------------------------------------------------------------------------------
int cmd_sys_STATE(char *line) {
    char buf[200];
    unsigned align = (unsigned)GUI_GetTextAlign() & 0xFF;
    if (strncmp(line, "*STATEF", 7) == 0)
        snprintf(buf, sizeof buf,
                 "*STATE:Bclr 0x%06" PRIX32 " Fclr 0x%06" PRIX32
                 " p 0x%02X line 0x%02X dm 0x%02X ta 0x%02X tm %s oX 0x%04X oY 0x%04X X 0x%04X Y 0x%04X\r",
                 GUI_GetBkColor(), GUI_GetColor(), GUI_GetPenSize(), GUI_GetLineStyle(), GUI_GetDrawMode(),
                 align, curTextMode, (unsigned)Origin_X, (unsigned)Origin_Y, (unsigned)GUI_GetDispPosX(),
                 (unsigned)GUI_GetDispPosY());
    else
        snprintf(buf, sizeof buf,
                 "*STATE:0x%06" PRIX32 " 0x%06" PRIX32
                 " 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X %s 0x%04X 0x%04X "
                 "0x%04X 0x%4X\r",
                 GUI_GetBkColor(), GUI_GetColor(), GUI_GetBkColorIndex() & 0xFFu, GUI_GetColorIndex() & 0xFFu,
                 GUI_GetPenSize(), GUI_GetLineStyle(), GUI_GetDrawMode(), align, curTextMode,
                 (unsigned)Origin_X, (unsigned)Origin_Y, (unsigned)GUI_GetDispPosX(),
                 (unsigned)GUI_GetDispPosY());
    txString(buf);
    return CMD_OK;
}
