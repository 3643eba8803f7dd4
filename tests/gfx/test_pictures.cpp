// Pictures compared with the references in tests/ref_imgs (made once with ZEFO_UPDATE_REFS=1 and
// looked at). Each scene is a small crop of the screen.
#include <gtest/gtest.h>

#include "tests/gfx/picture.h"

static void pen(int size, uint8_t shape = GUI_PS_ROUND) {
    GUI_SetPenSize((uint8_t)size);
    GUI_SetPenShape(shape);
}

TEST(Pictures, Lines) {
    freshScreen();
    // A fan of one-pixel lines every 15 degrees.
    for (int a = 0; a < 360; a += 15) {
        double s, c;
        extern void GUI__SinCos(double, double *, double *);
        GUI__SinCos(a * 3.14159265358979 / 180, &s, &c);
        GUI_DrawLine(50, 50, 50 + (int)(45 * c), 50 - (int)(45 * s));
    }
    // Wide lines, pens 2 to 6, in the three end shapes.
    const uint8_t shapes[] = {GUI_PS_ROUND, GUI_PS_FLAT, GUI_PS_SQUARE};
    for (int k = 0; k < 3; k++)
        for (int w = 2; w <= 6; w++) {
            pen(w, shapes[k]);
            int x = 110 + k * 60, y = 8 + (w - 2) * 18;
            GUI_DrawLine(x, y, x + 40, y + 9);
        }
    pen(1);
    // Dash styles, thin and wide.
    for (uint8_t st = 1; st <= 4; st++) {
        GUI_SetLineStyle(st);
        GUI_DrawLine(10, 100 + st * 6, 150, 100 + st * 6);
        pen(3);
        GUI_DrawLine(160, 100 + st * 8, 290, 110 + st * 8);
        pen(1);
    }
    GUI_SetLineStyle(GUI_LS_SOLID);
    EXPECT_EQ(matchReference("lines", 0, 0, 299, 149), "");
}

TEST(Pictures, CirclesAndEllipses) {
    freshScreen();
    for (int r = 0; r <= 7; r++) GUI_DrawCircle(10 + r * 20, 10, r);
    for (int r = 0; r <= 7; r++) GUI_FillCircle(10 + r * 20, 30, r);
    for (int w = 1; w <= 4; w++) {
        pen(w);
        GUI_DrawCircle(30 + (w - 1) * 60, 80, 25);
    }
    pen(1);
    GUI_SetColor(0x0000FF);
    GUI_FillCircle(280, 80, 25);
    GUI_SetColor(0x000000);
    GUI_DrawCircle(280, 80, 25); // the outline is the border of the disc
    GUI_DrawEllipse(50, 140, 40, 15);
    GUI_FillEllipse(140, 140, 40, 15);
    GUI_DrawEllipse(210, 140, 10, 25);
    pen(3);
    GUI_DrawEllipse(265, 140, 25, 12);
    pen(1);
    EXPECT_EQ(matchReference("circles", 0, 0, 319, 169), "");
}

TEST(Pictures, Arcs) {
    freshScreen();
    const int ranges[][2] = {{0, 90}, {90, 180}, {45, 315}, {270, 90}, {-30, 30}, {200, 340}};
    for (int i = 0; i < 6; i++) {
        int cx = 35 + (i % 3) * 75, cy = 35 + (i / 3) * 75;
        GUI_SetColor(0xC0C0C0);
        GUI_DrawCircle(cx, cy, 30); // where the whole circle would be
        GUI_SetColor(0x000000);
        pen(i < 3 ? 1 : 3);
        GL_DrawArc(cx, cy, 30, 30, ranges[i][0], ranges[i][1]);
        pen(1);
        GUI_DrawPixel(cx, cy);
    }
    EXPECT_EQ(matchReference("arcs", 0, 0, 224, 149), "");
}

TEST(Pictures, Polygons) {
    freshScreen();
    static const GUI_POINT tri[] = {{0, 0}, {60, 10}, {20, 50}};
    static const GUI_POINT star[] = {{30, 0}, {48, 57}, {0, 21}, {60, 21}, {12, 57}};
    static const GUI_POINT ushape[] = {{0, 0},  {15, 0}, {15, 40}, {35, 40},
                                       {35, 0}, {50, 0}, {50, 55}, {0, 55}};
    static const GUI_POINT zig[] = {{0, 0}, {20, 30}, {40, 0}, {60, 30}, {60, 5}};
    GUI_DrawPolygon(tri, 3, 5, 5);
    GUI_FillPolygon(star, 5, 75, 5);
    GUI_FillPolygon(ushape, 8, 145, 5);
    GUI_DrawPolyLine(zig, 5, 205, 10);
    pen(4);
    GUI_DrawPolygon(tri, 3, 10, 80);
    GUI_DrawPolygon(star, 5, 80, 75);
    pen(4, GUI_PS_FLAT);
    GUI_DrawPolyLine(zig, 5, 150, 80);
    pen(1);
    GUI_POINT turned[5];
    GUI_RotatePolygon(turned, star, 5, 0.5f);
    GUI_SetColor(0x00A000);
    GUI_FillPolygon(turned, 5, 230, 80);
    EXPECT_EQ(matchReference("polygons", 0, 0, 299, 149), "");
}

TEST(Pictures, XorOverlaps) {
    freshScreen();
    GUI_SetColor(0x0000FF);
    GUI_FillRect(10, 10, 90, 60);
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    GUI_FillRect(50, 30, 130, 80);
    GUI_FillCircle(100, 40, 30);
    pen(5);
    static const GUI_POINT tri[] = {{0, 0}, {60, 10}, {20, 50}};
    GUI_DrawPolygon(tri, 3, 20, 20);
    GUI_DrawLine(0, 90, 140, 0);
    pen(1);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(matchReference("xor", 0, 0, 139, 99), "");
}

TEST(Pictures, BuiltInButtonFaces) {
    freshScreen();
    GUI_DrawBitmap(&bmButtonRaised, 4, 4);
    GUI_DrawBitmap(&bmButtonPressed, 72, 4);
    EXPECT_EQ(matchReference("buttons", 0, 0, 139, 71), "");
}
