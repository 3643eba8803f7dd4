// Graphics library: one drawing context, one 16-bit frame buffer, a fixed memory pool.
//
// Coordinates are signed screen pixels (x right, y down); rectangles have inclusive corners. Every
// operation clips to the clip rectangle. Colours are 0x00BBGGRR; frame-buffer indices RGB 5-6-5 with
// red in the high bits.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint32_t GUI_COLOR;      // 0x00BBGGRR
typedef uint16_t LCD_PIXELINDEX; // frame-buffer value, RGB 5-6-5, red high

struct GUI_RECT {
    int32_t x0, y0, x1, y1;
};

struct GUI_POINT {
    int16_t x, y;
};

// ---- draw modes (bits) ---------------------------------------------------------------------------
enum : uint8_t {
    GUI_DRAWMODE_NORMAL = 0,
    GUI_DRAWMODE_XOR = 1,   // every drawn pixel is inverted against the frame buffer
    GUI_DRAWMODE_TRANS = 2, // run-length and palette bitmaps skip index 0
    GUI_DRAWMODE_REV = 4,   // primitives draw with the background colour
};

// ---- text modes and alignment (used by the text functions) --------------------------------------
enum : int16_t {
    GUI_TM_NORMAL = 0,
    GUI_TM_XOR = 1,
    GUI_TM_TRANS = 2,
    GUI_TM_REV = 4,
};
enum : int16_t {
    GUI_TA_LEFT = 0,
    GUI_TA_RIGHT = 1,
    GUI_TA_HCENTER = 2,
    GUI_TA_HORIZONTAL = 3,
    GUI_TA_TOP = 0,
    GUI_TA_BOTTOM = 4,
    GUI_TA_BASELINE = 8,
    GUI_TA_VCENTER = 12,
    GUI_TA_VERTICAL = 12,
};

// ---- pen shapes and line styles -------------------------------------------------------------------
enum : uint8_t {
    GUI_PS_ROUND = 0,  // wide lines end in a half disc; joins are round
    GUI_PS_FLAT = 1,   // wide lines end at their end points
    GUI_PS_SQUARE = 2, // wide lines are extended by half the pen size
};
enum : uint8_t {
    GUI_LS_SOLID = 0,
    GUI_LS_DASH = 1,
    GUI_LS_DOT = 2,
    GUI_LS_DASHDOT = 3,
    GUI_LS_DASHDOTDOT = 4,
};

// ---- text encodings ---------------------------------------------------------------------------------
enum : uint8_t { GUI_ENCODE_NONE = 0, GUI_ENCODE_UTF8 = 1 };

// Fonts are defined by the text functions; the context only points at the current one.
struct GUI_FONT;
// The low-level operation set that rotated text draws through (counter-clockwise, clockwise, 180).
struct GUI_ROTATION;
extern const GUI_ROTATION LCD_APIListCCW, LCD_APIListCW, LCD_APIList180;

// ---- the drawing context ------------------------------------------------------------------------------
struct GUI_CONTEXT {
    GUI_COLOR Color, BkColor;
    LCD_PIXELINDEX ColorIndex, BkColorIndex;
    uint8_t DrawMode;
    uint8_t PenSize; // pixels, at least 1
    uint8_t PenShape;
    uint8_t LineStyle;
    int32_t DrawPosX, DrawPosY; // pen position of GUI_MoveTo / GUI_DrawLineTo
    GUI_RECT ClipRect;          // screen coordinates, always inside the screen
    int32_t OrgX, OrgY;         // logical point shown at the top-left of the screen
    // Text: used by the text functions.
    const GUI_FONT *pAFont;
    int16_t TextMode;
    int16_t TextAlign;
    int32_t DispPosX, DispPosY; // text position (absolute)
    int32_t LBorder;            // x to which a line feed returns
    int8_t CharSpacing;         // extra pixels between characters
    int8_t LineSpacing;         // extra pixels between lines
    uint8_t Encoding;           // GUI_ENCODE_NONE or GUI_ENCODE_UTF8
};

extern GUI_CONTEXT GUI_Context;

// ---- bitmap objects -------------------------------------------------------------------------------------
struct GUI_LOGPALETTE {
    int32_t NumEntries;
    uint8_t HasTrans; // entry 0 is transparent
    const GUI_COLOR *pPalEntries;
};

struct GUI_BITMAP_METHODS {
    // Draws the bitmap's pixel data with its top-left corner at screen position (x0, y0).
    void (*pfDraw)(int32_t x0, int32_t y0, int32_t xsize, int32_t ysize, int32_t bytesPerLine,
                   const uint8_t *pData, const GUI_LOGPALETTE *pPal);
    GUI_COLOR (*pfIndex2Color)(uint32_t index);
};

struct GUI_BITMAP {
    uint16_t XSize, YSize;
    uint16_t BytesPerLine;
    uint16_t BitsPerPixel;
    const uint8_t *pData;
    const GUI_LOGPALETTE *pPal;
    const GUI_BITMAP_METHODS *pMethods; // nullptr: drawn through the palette
};

extern const GUI_BITMAP_METHODS GUI_BitmapMethodsM565;   // 16 bpp, frame-buffer layout
extern const GUI_BITMAP_METHODS GUI_BitmapMethods565;    // 16 bpp, blue high
extern const GUI_BITMAP_METHODS GUI_BitmapMethodsRLEM16; // 16-bit run-length, frame-buffer layout
extern const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE16;  // 16-bit run-length, blue high
extern const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE8;   // 8-bit run-length over a palette

// The built-in 64 x 64 button faces (16 bits per pixel), raised and pressed.
extern const GUI_BITMAP bmButtonRaised, bmButtonPressed;

// ---- set-up and context ------------------------------------------------------------------------------
void GUI_Init(void);

GUI_COLOR GUI_SetColor(GUI_COLOR color);
GUI_COLOR GUI_GetColor(void);
GUI_COLOR GUI_SetBkColor(GUI_COLOR color);
GUI_COLOR GUI_GetBkColor(void);
LCD_PIXELINDEX GUI_GetColorIndex(void);
LCD_PIXELINDEX GUI_GetBkColorIndex(void);
uint8_t GUI_SetDrawMode(uint8_t mode);
uint8_t GUI_GetDrawMode(void);
uint8_t GUI_SetPenSize(uint8_t size);
uint8_t GUI_GetPenSize(void);
uint8_t GUI_SetPenShape(uint8_t shape);
uint8_t GUI_GetPenShape(void);
uint8_t GUI_SetLineStyle(uint8_t style);
uint8_t GUI_GetLineStyle(void);
const GUI_FONT *GUI_SetFont(const GUI_FONT *font);
const GUI_FONT *GUI_GetFont(void);
int16_t GUI_SetTextMode(int16_t mode);
int16_t GUI_GetTextMode(void);
int16_t GUI_SetTextAlign(int16_t align);
int16_t GUI_GetTextAlign(void);
void GUI_GotoX(int32_t x);
void GUI_GotoY(int32_t y);
void GUI_GotoXY(int32_t x, int32_t y);
int32_t GUI_GetDispPosX(void);
int32_t GUI_GetDispPosY(void);
int32_t GUI_SetLBorder(int32_t x);
void GUI_SetClipRect(const GUI_RECT *rect); // nullptr: the whole screen
void GUI_GetClipRect(GUI_RECT *rect);
void GUI_SetOrg(int32_t x, int32_t y);
void GUI_SaveContext_M(GUI_CONTEXT *copy);
void GUI_RestoreContext(const GUI_CONTEXT *copy);
void GUI_UC_SetEncodeNone(void);
void GUI_UC_SetEncodeUTF8(void);

// ---- drawing --------------------------------------------------------------------------------------------
void GUI_Clear(void);
void GUI_ClearRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI_FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI_DrawRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// Block move: the pixels of the rectangle move by (dx, dy), whole rows at a time; the destination
// is cut to the clip rectangle, the source to the screen. What the move uncovers is left as it was.
void GUI_MoveRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t dx, int32_t dy);
void GUI_DrawHLine(int32_t y, int32_t x0, int32_t x1);
void GUI_DrawVLine(int32_t x, int32_t y0, int32_t y1);
void GUI_DrawPixel(int32_t x, int32_t y);
void GUI_DrawPoint(int32_t x, int32_t y);
void GUI_DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI_DrawLineTo(int32_t x, int32_t y);
void GUI_DrawLineRel(int32_t dx, int32_t dy);
void GUI_MoveTo(int32_t x, int32_t y);
void GUI_MoveRel(int32_t dx, int32_t dy);
void GUI_DrawCircle(int32_t x0, int32_t y0, int32_t r);
void GUI_FillCircle(int32_t x0, int32_t y0, int32_t r);
void GUI_DrawEllipse(int32_t x0, int32_t y0, int32_t rx, int32_t ry);
void GUI_FillEllipse(int32_t x0, int32_t y0, int32_t rx, int32_t ry);
// Angles in whole degrees, 0 at three o'clock, counter-clockwise on the screen; the arc runs from
// a0 counter-clockwise to a1 (a1 below a0 wraps round once; a sweep of 360 or more is the whole outline).
void GL_DrawArc(int32_t x0, int32_t y0, int32_t rx, int32_t ry, int32_t a0, int32_t a1);
void GUI_DrawPolygon(const GUI_POINT *points, int32_t count, int32_t x, int32_t y);
void GUI_FillPolygon(const GUI_POINT *points, int32_t count, int32_t x, int32_t y);
void GUI_DrawPolyLine(const GUI_POINT *points, int32_t count, int32_t x, int32_t y);
void GUI_RotatePolygon(GUI_POINT *dest, const GUI_POINT *src, int32_t count, float angle);
void GUI_DrawBitmap(const GUI_BITMAP *bitmap, int32_t x, int32_t y);

// ---- text (the text functions) ---------------------------------------------------------------------
void GUI_DispString(const char *text);
void GUI_DispStringAt(const char *text, int32_t x, int32_t y);
void GUI_DispNextLine(void);
void GUI_DispStringInRect(const char *text, const GUI_RECT *rect, int32_t align);
void GUI_DispStringInRectEx(const char *text, const GUI_RECT *rect, int32_t align, int32_t len,
                            const GUI_ROTATION *rotation);
void GUI_DispStringInRectWrap(const char *text, const GUI_RECT *rect, int32_t align, int32_t wrapMode);
int32_t GUI_GetStringDistX(const char *text);
int32_t GUI_GetFontDistY(void);
int32_t GUI_GetCharDistX(uint16_t c);

// ---- screen dump ------------------------------------------------------------------------------------------
typedef void (*GUI_BMP_SerializeFunc)(uint8_t byte, void *arg);
void GUI_BMP_Serialize(GUI_BMP_SerializeFunc sink, void *arg);

// ---- screen and colours
// ------------------------------------------------------------------------------------
int32_t LCD_GetXSize(void);
int32_t LCD_GetYSize(void);
LCD_PIXELINDEX LCD_Color2Index(GUI_COLOR color);
GUI_COLOR LCD_Index2Color(LCD_PIXELINDEX index);
LCD_PIXELINDEX LCD_L0_Color2Index(GUI_COLOR color);
GUI_COLOR LCD_L0_Index2Color(uint32_t index);
GUI_COLOR LCD_Index2Color_M565(uint32_t index); // frame-buffer layout
GUI_COLOR LCD_Index2Color_565(uint32_t index);  // blue in the high bits
LCD_PIXELINDEX LCD_L0_GetPixelIndex(int32_t x, int32_t y);
void LCD_L0_SetPixelIndex(int32_t x, int32_t y, LCD_PIXELINDEX index);
void LCD_L0_XorPixel(int32_t x, int32_t y);
// The frame buffer itself (width x height indices, row after row) for the blits that write it directly.
LCD_PIXELINDEX *LCD_GetFrameBuffer(void);

// ---- memory pool
// ---------------------------------------------------------------------------------------------
enum : uint32_t { GUI_POOL_SIZE = 100000 };
void GUI_ALLOC_Init(void);                // hands the whole pool to the allocator
void *GUI_ALLOC_Alloc(uint32_t size);     // 8-byte aligned; nullptr when no block is large enough
void GUI_ALLOC_Free(void *p);             // nullptr is ignored
uint32_t GUI_ALLOC_GetNumFreeBytes(void); // all free bytes
uint32_t GUI_ALLOC_GetMaxSize(void);      // the largest block that can be allocated now

// ---- diagnostic hooks (defined by the start-up code)
// ----------------------------------------------------------
void GUI_X_Warn(const char *text);
void GUI_X_ErrorOut(const char *text);
void GUI_X_Log(const char *text);
void GUI_X_Init(void);
// The panel's set-up from the configuration (timing settings, pixel-clock edge, PWM enable, VQ),
// installed by the start-up code; without it GUI_Init programs the build's default timing.
extern void (*GUI_X_InitLCD)(void);
