// Colour conversions and the context.
#include <gtest/gtest.h>

#include "tests/gfx/picture.h"

TEST(Colour, ColorToIndexDropsLowBits) {
    EXPECT_EQ(LCD_L0_Color2Index(0x00FFFFFF), 0xFFFF);
    EXPECT_EQ(LCD_L0_Color2Index(0x000000FF), 0xF800); // pure red
    EXPECT_EQ(LCD_L0_Color2Index(0x00FF0000), 0x001F); // pure blue
    EXPECT_EQ(LCD_L0_Color2Index(0x0000FF00), 0x07E0);
    EXPECT_EQ(LCD_L0_Color2Index(0x00070307), 0x0000); // below one step of each channel
    EXPECT_EQ(LCD_L0_Color2Index(0xFF000000), 0x0000); // the top byte is not a colour
}

TEST(Colour, IndexToColorScalesAndTruncates) {
    EXPECT_EQ(LCD_Index2Color(0xF800), 0x000000FFu);
    EXPECT_EQ(LCD_Index2Color(0x07E0), 0x0000FF00u);
    EXPECT_EQ(LCD_Index2Color(0xFFFF), 0x00FFFFFFu);
    EXPECT_EQ(LCD_Index2Color(0x0000), 0u);
    EXPECT_EQ(LCD_Index2Color(0x0841), 0x00080808u);     // red 1, green 2, blue 1: 8, 8, 8
    EXPECT_EQ(LCD_Index2Color_565(0x001F), 0x000000FFu); // blue-high layout: low bits are red
}

TEST(Colour, EveryIndexSurvivesTheRoundTrip) {
    for (uint32_t i = 0; i < 0x10000; i++) ASSERT_EQ(LCD_Color2Index(LCD_Index2Color((uint16_t)i)), i);
}

TEST(Context, SettersReturnThePreviousValue) {
    freshScreen();
    EXPECT_EQ(GUI_SetColor(0x123456), 0u);
    EXPECT_EQ(GUI_GetColor(), 0x123456u);
    EXPECT_EQ(GUI_GetColorIndex(), LCD_Color2Index(0x123456));
    EXPECT_EQ(GUI_SetBkColor(0x00FF00), 0xFFFFFFu);
    EXPECT_EQ(GUI_GetBkColorIndex(), 0x07E0);
    EXPECT_EQ(GUI_SetPenSize(5), 1);
    EXPECT_EQ(GUI_SetPenSize(0), 5);
    EXPECT_EQ(GUI_GetPenSize(), 1); // a pen is never thinner than a pixel
    EXPECT_EQ(GUI_SetDrawMode(GUI_DRAWMODE_XOR), GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(GUI_SetLineStyle(GUI_LS_DOT), GUI_LS_SOLID);
    EXPECT_EQ(GUI_SetTextAlign(GUI_TA_HCENTER | GUI_TA_VCENTER), GUI_TA_LEFT);
    EXPECT_EQ(GUI_SetLBorder(30), 0);
    GUI_GotoXY(12, 34);
    EXPECT_EQ(GUI_GetDispPosX(), 12);
    EXPECT_EQ(GUI_GetDispPosY(), 34);
}

TEST(Context, SaveAndRestoreTheWholeContext) {
    freshScreen();
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    GUI_SetColor(0xFF);
    GUI_SetPenSize(9);
    GUI_RECT r = {10, 10, 20, 20};
    GUI_SetClipRect(&r);
    GUI_RestoreContext(&saved);
    EXPECT_EQ(GUI_GetColor(), 0u);
    EXPECT_EQ(GUI_GetPenSize(), 1);
    GUI_GetClipRect(&r);
    EXPECT_EQ(r.x1, LCD_GetXSize() - 1);
}

TEST(Context, ClearMovesTheTextPositionHome) {
    freshScreen();
    GUI_GotoXY(50, 60);
    GUI_SetBkColor(0x0000FF);
    GUI_Clear();
    EXPECT_EQ(GUI_GetDispPosX(), 0);
    EXPECT_EQ(GUI_GetDispPosY(), 0);
    EXPECT_EQ(countValue(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1, 0xF800),
              LCD_GetXSize() * LCD_GetYSize());
}
