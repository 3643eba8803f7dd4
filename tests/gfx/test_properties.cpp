// Properties every primitive must have, checked over many shapes: XOR twice restores the screen, XOR
// inverts exactly the pixels the normal mode paints (so no corner or joint is inverted twice), nothing
// outside the clip rectangle changes, fills cover exactly their rectangles, round shapes are symmetric.
#include <gtest/gtest.h>

#include <functional>
#include <math.h>

#include "tests/gfx/picture.h"

namespace {

struct Shape {
    std::string name;
    std::function<void(int32_t dx, int32_t dy)> draw; // drawn around (dx, dy)
};

std::vector<Shape> allShapes() {
    std::vector<Shape> s;
    static const GUI_POINT tri[] = {{0, 0}, {60, 10}, {20, 50}};
    static const GUI_POINT star[] = {{30, 0}, {48, 57}, {0, 21}, {60, 21}, {12, 57}};
    static const GUI_POINT ushape[] = {{0, 0},  {15, 0}, {15, 40}, {35, 40},
                                       {35, 0}, {50, 0}, {50, 55}, {0, 55}};
    static const GUI_POINT twoPoints[] = {{0, 0}, {50, 0}};
    static const GUI_POINT zig[] = {{0, 0}, {20, 30}, {40, 0}, {60, 30}, {60, 5}};
    for (int pen = 1; pen <= 7; pen += 2)
        for (uint8_t shape : {GUI_PS_ROUND, GUI_PS_FLAT, GUI_PS_SQUARE}) {
            std::string tag = " pen " + std::to_string(pen) + " shape " + std::to_string(shape);
            auto withPen = [pen, shape](std::function<void()> f) {
                GUI_SetPenSize((uint8_t)pen);
                GUI_SetPenShape(shape);
                f();
                GUI_SetPenSize(1);
                GUI_SetPenShape(GUI_PS_ROUND);
            };
            const int32_t lines[][4] = {
                {0, 0, 70, 23}, {5, 60, 15, 0}, {0, 30, 60, 30}, {40, 5, 40, 55}, {0, 0, 30, 30}};
            for (const auto &l : lines)
                s.push_back({"line " + std::to_string(l[2]) + "," + std::to_string(l[3]) + tag,
                             [=](int32_t x, int32_t y) {
                                 withPen([&] { GUI_DrawLine(x + l[0], y + l[1], x + l[2], y + l[3]); });
                             }});
            s.push_back({"polygon" + tag,
                         [=](int32_t x, int32_t y) { withPen([&] { GUI_DrawPolygon(tri, 3, x, y); }); }});
            s.push_back({"star outline" + tag,
                         [=](int32_t x, int32_t y) { withPen([&] { GUI_DrawPolygon(star, 5, x, y); }); }});
            s.push_back({"two-point polygon" + tag, [=](int32_t x, int32_t y) {
                             withPen([&] { GUI_DrawPolygon(twoPoints, 2, x, y); });
                         }});
            s.push_back({"polyline" + tag,
                         [=](int32_t x, int32_t y) { withPen([&] { GUI_DrawPolyLine(zig, 5, x, y); }); }});
            s.push_back({"point" + tag,
                         [=](int32_t x, int32_t y) { withPen([&] { GUI_DrawPoint(x + 10, y + 10); }); }});
            if (shape == GUI_PS_ROUND) {
                s.push_back({"circle" + tag, [=](int32_t x, int32_t y) {
                                 withPen([&] { GUI_DrawCircle(x + 30, y + 30, 25); });
                             }});
                s.push_back({"ellipse" + tag, [=](int32_t x, int32_t y) {
                                 withPen([&] { GUI_DrawEllipse(x + 35, y + 30, 30, 17); });
                             }});
                s.push_back({"arc" + tag, [=](int32_t x, int32_t y) {
                                 withPen([&] { GL_DrawArc(x + 30, y + 30, 25, 25, 30, 250); });
                             }});
            }
        }
    for (uint8_t style = 1; style <= 4; style++)
        for (int pen : {1, 3}) {
            s.push_back({"dashed line " + std::to_string(style) + " pen " + std::to_string(pen),
                         [=](int32_t x, int32_t y) {
                             GUI_SetLineStyle(style);
                             GUI_SetPenSize((uint8_t)pen);
                             GUI_DrawLine(x, y, x + 70, y + 40);
                             GUI_SetPenSize(1);
                             GUI_SetLineStyle(GUI_LS_SOLID);
                         }});
            s.push_back({"dashed polygon " + std::to_string(style) + " pen " + std::to_string(pen),
                         [=](int32_t x, int32_t y) {
                             GUI_SetLineStyle(style);
                             GUI_SetPenSize((uint8_t)pen);
                             GUI_DrawPolygon(tri, 3, x, y);
                             GUI_SetPenSize(1);
                             GUI_SetLineStyle(GUI_LS_SOLID);
                         }});
        }
    for (int r : {0, 1, 2, 3, 7, 25}) {
        s.push_back({"circle r" + std::to_string(r),
                     [=](int32_t x, int32_t y) { GUI_DrawCircle(x + 30, y + 30, r); }});
        s.push_back(
            {"disc r" + std::to_string(r), [=](int32_t x, int32_t y) { GUI_FillCircle(x + 30, y + 30, r); }});
    }
    s.push_back({"filled ellipse", [](int32_t x, int32_t y) { GUI_FillEllipse(x + 35, y + 30, 33, 12); }});
    s.push_back({"flat ellipse", [](int32_t x, int32_t y) { GUI_DrawEllipse(x + 35, y + 30, 30, 0); }});
    s.push_back({"filled triangle", [](int32_t x, int32_t y) { GUI_FillPolygon(tri, 3, x, y); }});
    s.push_back({"filled star", [](int32_t x, int32_t y) { GUI_FillPolygon(star, 5, x, y); }});
    s.push_back({"filled U", [](int32_t x, int32_t y) { GUI_FillPolygon(ushape, 8, x, y); }});
    s.push_back({"rect", [](int32_t x, int32_t y) { GUI_DrawRect(x, y, x + 50, y + 30); }});
    s.push_back({"thin rect", [](int32_t x, int32_t y) { GUI_DrawRect(x, y, x + 50, y + 1); }});
    s.push_back({"fill rect", [](int32_t x, int32_t y) { GUI_FillRect(x, y, x + 51, y + 30); }});
    for (int a : {0, 45, 90, 180, 270, 330})
        s.push_back({"arc from " + std::to_string(a),
                     [=](int32_t x, int32_t y) { GL_DrawArc(x + 30, y + 30, 20, 28, a, a + 100); }});
    s.push_back({"full arc", [](int32_t x, int32_t y) { GL_DrawArc(x + 30, y + 30, 20, 20, 0, 360); }});
    s.push_back({"pixel", [](int32_t x, int32_t y) { GUI_DrawPixel(x, y); }});
    s.push_back({"hline", [](int32_t x, int32_t y) { GUI_DrawHLine(y + 3, x, x + 40); }});
    s.push_back({"vline", [](int32_t x, int32_t y) { GUI_DrawVLine(x + 3, y + 5, y + 40); }});
    return s;
}

void randomScreen(uint32_t seed) {
    uint16_t *fb = LCD_GetFrameBuffer();
    for (int32_t i = 0; i < LCD_GetXSize() * LCD_GetYSize(); i++) {
        seed = seed * 1103515245u + 12345u;
        fb[i] = (uint16_t)(seed >> 16);
    }
}

} // namespace

TEST(Properties, XorTwiceRestoresTheScreen) {
    freshScreen();
    randomScreen(7);
    for (const Shape &s : allShapes()) {
        auto before = snapshot();
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        s.draw(100, 100);
        EXPECT_GT(countDiff(before, snapshot()), 0) << s.name;
        s.draw(100, 100);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        EXPECT_EQ(countDiff(before, snapshot()), 0) << s.name;
    }
}

TEST(Properties, XorInvertsExactlyThePixelsTheNormalModePaints) {
    for (const Shape &s : allShapes()) {
        freshScreen();
        s.draw(100, 100); // black on white
        auto white = std::vector<uint16_t>(snapshot().size(), 0xFFFF);
        auto painted = snapshot();
        GUI_Clear();
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        s.draw(100, 100); // white inverted is black: the same picture if every pixel is hit once
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        EXPECT_EQ(countDiff(painted, snapshot()), 0) << s.name;
    }
}

TEST(Properties, NothingOutsideTheClipRectangleChanges) {
    GUI_RECT clip = {130, 120, 170, 150};
    for (const Shape &s : allShapes()) {
        freshScreen();
        randomScreen(3);
        auto before = snapshot();
        GUI_SetClipRect(&clip);
        GUI_SetColor(0x00FF00);
        s.draw(100, 100);
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        s.draw(112, 105);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        GUI_SetClipRect(nullptr);
        GUI_RECT box;
        if (countDiff(before, snapshot(), &box) == 0) continue;
        EXPECT_GE(box.x0, clip.x0) << s.name;
        EXPECT_GE(box.y0, clip.y0) << s.name;
        EXPECT_LE(box.x1, clip.x1) << s.name;
        EXPECT_LE(box.y1, clip.y1) << s.name;
    }
}

TEST(Properties, ShapesOutsideTheClipRectangleOrScreenDrawNothing) {
    freshScreen();
    randomScreen(11);
    auto before = snapshot();
    GUI_RECT clip = {400, 300, 450, 350};
    GUI_SetClipRect(&clip);
    for (const Shape &s : allShapes()) s.draw(100, 100);
    GUI_SetClipRect(nullptr);
    for (const Shape &s : allShapes()) {
        s.draw(-200, -200);
        s.draw(LCD_GetXSize() + 10, 100);
        s.draw(100, LCD_GetYSize() + 100);
    }
    GUI_FillCircle(-100000, 5, 1000);
    GUI_DrawLine(-5000, -5000, -10, 3000);
    EXPECT_EQ(countDiff(before, snapshot()), 0);
}

// Radii from a host can be anything an int holds: a disc that covers the screen fills all of it,
// its outline lies off the screen, and no arithmetic overflows on the way.
TEST(Properties, HugeCirclesCoverTheScreenOrMissIt) {
    freshScreen();
    auto white = snapshot();
    GUI_DrawCircle(400, 240, 1569324961);
    GUI_DrawEllipse(400, 240, 2000000000, 2000000000);
    EXPECT_EQ(countDiff(white, snapshot()), 0);
    GUI_FillCircle(400, 240, 2147483647);
    EXPECT_EQ(countDiff(white, snapshot()), (int)white.size());
}

TEST(Properties, FillsCoverExactlyTheirRectangles) {
    freshScreen();
    GUI_FillRect(10, 20, 41, 52);
    GUI_RECT box;
    auto white = std::vector<uint16_t>(snapshot().size(), 0xFFFF);
    EXPECT_EQ(countDiff(white, snapshot(), &box), 32 * 33);
    EXPECT_EQ(box.x0, 10);
    EXPECT_EQ(box.y0, 20);
    EXPECT_EQ(box.x1, 41);
    EXPECT_EQ(box.y1, 52);
    GUI_Clear();
    GUI_FillRect(41, 52, 10, 20); // corners in either order
    EXPECT_EQ(countDiff(white, snapshot()), 32 * 33);
    // A rectangle as a polygon fills the same pixels as the rectangle.
    GUI_Clear();
    static const GUI_POINT rect[] = {{0, 0}, {31, 0}, {31, 32}, {0, 32}};
    GUI_FillPolygon(rect, 4, 10, 20);
    EXPECT_EQ(countDiff(white, snapshot(), &box), 32 * 33);
    EXPECT_EQ(box.x0, 10);
    EXPECT_EQ(box.y1, 52);
    // A rectangle outline is exactly the border of the filled rectangle.
    GUI_Clear();
    GUI_DrawRect(10, 20, 41, 52);
    EXPECT_EQ(countDiff(white, snapshot()), 2 * 32 + 2 * 31);
    // Full-screen fills and the clear reach the last pixel and no further.
    GUI_SetColor(0x0000FF);
    GUI_FillRect(-10, -10, 10000, 10000);
    EXPECT_EQ(countValue(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1, 0xF800),
              LCD_GetXSize() * LCD_GetYSize());
}

TEST(Properties, ReverseModeDrawsWithTheBackground) {
    freshScreen();
    GUI_SetColor(0x0000FF);
    GUI_SetBkColor(0x00FF00);
    GUI_SetDrawMode(GUI_DRAWMODE_REV);
    GUI_FillRect(0, 0, 9, 9);
    GUI_DrawLine(20, 0, 40, 7);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(px(5, 5), 0x07E0);
    EXPECT_EQ(px(20, 0), 0x07E0);
    EXPECT_EQ(px(40, 7), 0x07E0);
}

TEST(Properties, CirclesAndEllipsesAreSymmetric) {
    for (int pen : {1, 2, 3, 6})
        for (int r : {0, 1, 2, 3, 4, 5, 9, 10, 17, 40, 100}) {
            freshScreen();
            GUI_SetPenSize((uint8_t)pen);
            const int cx = 300, cy = 200;
            GUI_DrawCircle(cx, cy, r);
            GUI_FillCircle(cx + 250, cy, r);
            GUI_DrawEllipse(cx, cy + 0, r + 7, r / 2); // drawn over the circle: still symmetric
            int32_t reach = r + 7 + pen;
            for (int dy = -reach; dy <= reach; dy++)
                for (int dx = 0; dx <= reach; dx++) {
                    ASSERT_EQ(px(cx + dx, cy + dy), px(cx - dx, cy + dy)) << "pen " << pen << " r " << r;
                    ASSERT_EQ(px(cx + dx, cy + dy), px(cx + dx, cy - dy)) << "pen " << pen << " r " << r;
                    ASSERT_EQ(px(cx + 250 + dx, cy + dy), px(cx + 250 + dy, cy + dx)) << "disc r " << r;
                }
        }
}

TEST(Properties, CircleOutlineIsTheBorderOfTheDisc) {
    for (int r : {1, 2, 5, 8, 13, 30, 77, 150}) {
        freshScreen();
        GUI_FillCircle(200, 200, r);
        GUI_DrawCircle(600, 200, r);
        int32_t n = 0;
        for (int dy = -r - 1; dy <= r + 1; dy++)
            for (int dx = -r - 1; dx <= r + 1; dx++) {
                bool in = px(200 + dx, 200 + dy) == 0;
                bool border = in && (px(200 + dx + 1, 200 + dy) || px(200 + dx - 1, 200 + dy) ||
                                     px(200 + dx, 200 + dy + 1) || px(200 + dx, 200 + dy - 1));
                ASSERT_EQ(border, px(600 + dx, 200 + dy) == 0) << "r " << r << " at " << dx << "," << dy;
                n += in;
            }
        // The disc's extent is exactly the radius in each direction.
        EXPECT_EQ(px(200 + r, 200), 0);
        EXPECT_EQ(px(200 + r + 1, 200), 0xFFFF);
        EXPECT_EQ(px(200, 200 - r), 0);
        EXPECT_EQ(px(200, 200 - r - 1), 0xFFFF);
        EXPECT_NEAR(n, M_PI * (r + 0.5) * (r + 0.5), 2 * M_PI * r * 0.1 + 2);
    }
}

TEST(Properties, WideLinesHaveThePenWidth) {
    auto white = std::vector<uint16_t>(800 * 480, 0xFFFF);
    for (int w = 1; w <= 12; w++) {
        freshScreen();
        GUI_SetPenSize((uint8_t)w);
        GUI_SetPenShape(GUI_PS_FLAT);
        GUI_DrawLine(100, 100, 200, 100);
        GUI_RECT box;
        EXPECT_EQ(countDiff(white, snapshot(), &box), 101 * w) << w;
        EXPECT_EQ(box.y1 - box.y0 + 1, w);
        EXPECT_EQ(box.x0, 100);
        EXPECT_EQ(box.x1, 200);
        GUI_Clear();
        GUI_DrawLine(300, 50, 300, 150);
        EXPECT_EQ(countDiff(white, snapshot(), &box), 101 * w) << w;
        EXPECT_EQ(box.x1 - box.x0 + 1, w);
        // A diagonal line covers about length x width pixels, none far from the line.
        GUI_Clear();
        GUI_DrawLine(100, 200, 300, 350);
        int32_t n = countDiff(white, snapshot(), &box);
        double expect = w == 1 ? 201.0 : 251.0 * w; // thin: one pixel per step; flat ends add half a pixel
        EXPECT_NEAR(n, expect, expect * 0.03) << w;
        // Square ends add half the pen at each end.
        GUI_Clear();
        GUI_SetPenShape(GUI_PS_SQUARE);
        GUI_DrawLine(100, 100, 200, 100);
        countDiff(white, snapshot(), &box);
        EXPECT_EQ(box.x0, 100 - w / 2);
        EXPECT_EQ(box.x1, 200 + w / 2);
        // Round ends make a round dot of the pen's size at each end.
        GUI_Clear();
        GUI_SetPenShape(GUI_PS_ROUND);
        GUI_DrawPoint(100, 100);
        countDiff(white, snapshot(), &box);
        EXPECT_EQ(box.x1 - box.x0 + 1, w);
        EXPECT_EQ(box.y1 - box.y0 + 1, w);
    }
}

TEST(Properties, LinesAreTheSameFromEitherEnd) {
    const int32_t ends[][4] = {{0, 0, 37, 11}, {5, 40, 30, 0}, {0, 0, 20, 20}, {3, 3, 4, 40}, {60, 2, 0, 5}};
    for (int pen : {1, 4})
        for (const auto &e : ends) {
            freshScreen();
            GUI_SetPenSize((uint8_t)pen);
            GUI_DrawLine(100 + e[0], 100 + e[1], 100 + e[2], 100 + e[3]);
            auto forward = snapshot();
            GUI_Clear();
            GUI_DrawLine(100 + e[2], 100 + e[3], 100 + e[0], 100 + e[1]);
            EXPECT_EQ(countDiff(forward, snapshot()), 0);
            if (pen == 1) {
                int32_t dx = abs(e[2] - e[0]), dy = abs(e[3] - e[1]);
                EXPECT_EQ(countValue(0, 0, 799, 479, 0), (dx > dy ? dx : dy) + 1); // one pixel per step
                EXPECT_EQ(px(100 + e[0], 100 + e[1]), 0);
                EXPECT_EQ(px(100 + e[2], 100 + e[3]), 0);
            }
        }
}

// A line to a point far off the screen paints on the screen exactly the pixels of the whole walk
// from end to end (the reference below takes every step), and one to the ends of the coordinate
// range finishes at once.
TEST(Properties, LinesFarOffTheScreenPaintWhatTheWholeWalkPaints) {
    const int64_t ends[][4] = {{100, 100, 1000000, 370001},
                               {700, 50, -300000, 999999},
                               {400, 240, 400 - 7, 240 + 800000},
                               {10, 470, 2000000, 469}};
    for (uint8_t style : {(uint8_t)GUI_LS_SOLID, (uint8_t)GUI_LS_DASH})
        for (const auto &e : ends) {
            freshScreen();
            GUI_SetLineStyle(style);
            GUI_DrawLine((int32_t)e[0], (int32_t)e[1], (int32_t)e[2], (int32_t)e[3]);
            GUI_SetLineStyle(GUI_LS_SOLID);
            std::vector<uint16_t> want(800 * 480, 0xFFFF);
            // The walk: from the end with the smaller major coordinate, one major step each time.
            int64_t x0 = e[0], y0 = e[1], x1 = e[2], y1 = e[3];
            int64_t adx = llabs(x1 - x0), ady = llabs(y1 - y0);
            bool xMajor = adx > ady;
            if ((adx >= ady && x1 < x0) || (adx < ady && y1 < y0)) {
                std::swap(x0, x1);
                std::swap(y0, y1);
            }
            int64_t n = xMajor ? adx : ady, minor = xMajor ? ady : adx, err = -n, x = x0, y = y0;
            int64_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
            for (int64_t i = 0; i <= n; i++) {
                bool on = style == GUI_LS_SOLID || ((0x3Fu >> (i % 9)) & 1);
                if (on && x >= 0 && x < 800 && y >= 0 && y < 480) want[y * 800 + x] = 0;
                err += 2 * minor;
                if (err > 0) {
                    err -= 2 * n;
                    (xMajor ? y : x) += xMajor ? sy : sx;
                }
                (xMajor ? x : y) += xMajor ? sx : sy;
            }
            EXPECT_EQ(countDiff(want, snapshot()), 0) << e[0] << "," << e[1] << " to " << e[2] << "," << e[3];
        }
    for (int pen : {1, 5}) {
        freshScreen();
        GUI_SetPenSize((uint8_t)pen);
        GUI_DrawLine(5, 5, 2147483000, -2147483000);
        GUI_DrawLine(-2147483000, 2147483000, 6, 6);
        GUI_DrawLine(300, 5, 300, 2147483000);
        GUI_SetPenSize(1);
        EXPECT_EQ(px(5, 5), 0);
        EXPECT_EQ(px(6, 6), 0);
        EXPECT_EQ(px(300, 479), 0);
    }
    // A wide line cut at the far box keeps its direction on the screen.
    freshScreen();
    GUI_SetPenSize(3);
    GUI_DrawLine(100, 100, 100 + 300000000, 100 + 100000000);
    GUI_SetPenSize(1);
    EXPECT_EQ(px(400, 200), 0);
    EXPECT_EQ(px(700, 300), 0);
}

TEST(Properties, ArcsRunCounterClockwiseFromStartToEnd) {
    struct Case {
        int a0, a1;
        bool right, top, left, bottom; // the four axis points
    };
    const Case cases[] = {
        {0, 90, true, true, false, false},    {90, 180, false, true, true, false},
        {180, 270, false, false, true, true}, {270, 360, true, false, false, true},
        {270, 90, true, true, false, true},   {45, 315, false, true, true, true},
        {-90, 0, true, false, false, true},   {0, 360, true, true, true, true},
    };
    for (const Case &c : cases) {
        freshScreen();
        GL_DrawArc(200, 200, 50, 50, c.a0, c.a1);
        EXPECT_EQ(px(250, 200) == 0, c.right) << c.a0 << ".." << c.a1;
        EXPECT_EQ(px(200, 150) == 0, c.top) << c.a0 << ".." << c.a1;
        EXPECT_EQ(px(150, 200) == 0, c.left) << c.a0 << ".." << c.a1;
        EXPECT_EQ(px(200, 250) == 0, c.bottom) << c.a0 << ".." << c.a1;
    }
    // The quarter from 0 to 90 lies in the upper right quadrant and is a subset of the circle.
    freshScreen();
    GL_DrawArc(200, 200, 50, 50, 0, 90);
    GUI_RECT box;
    auto arc = snapshot();
    countDiff(std::vector<uint16_t>(arc.size(), 0xFFFF), arc, &box);
    EXPECT_EQ(box.x0, 200);
    EXPECT_EQ(box.y1, 200);
    GUI_DrawCircle(200, 200, 50);
    auto circle = snapshot();
    GUI_Clear();
    GUI_DrawCircle(200, 200, 50);
    EXPECT_EQ(countDiff(circle, snapshot()), 0);
    // A 45-degree end lands on the diagonal.
    GUI_Clear();
    GL_DrawArc(200, 200, 100, 100, 0, 45);
    EXPECT_EQ(countValue(200, 100, 270, 128, 0), 0); // nothing beyond 45 degrees
    EXPECT_GT(countValue(266, 126, 274, 134, 0), 0); // the end near (270.7, 129.3)
}

TEST(Properties, PolygonFillsDoNotLeak) {
    freshScreen();
    static const GUI_POINT ushape[] = {{0, 0},  {15, 0}, {15, 40}, {35, 40},
                                       {35, 0}, {50, 0}, {50, 55}, {0, 55}};
    GUI_FillPolygon(ushape, 8, 100, 100);
    EXPECT_EQ(countValue(116, 100, 134, 139, 0), 0); // the notch stays empty
    EXPECT_EQ(countValue(100, 140, 150, 155, 0), 51 * 16);
    EXPECT_EQ(countValue(100, 100, 115, 139, 0), 16 * 40);
    // Self-intersecting star: the non-zero rule fills the centre too.
    static const GUI_POINT star[] = {{30, 0}, {48, 57}, {0, 21}, {60, 21}, {12, 57}};
    GUI_FillPolygon(star, 5, 300, 100);
    EXPECT_EQ(px(330, 130), 0);
    // The fill covers its own outline and nothing outside it.
    auto filled = snapshot();
    GUI_DrawPolygon(star, 5, 300, 100);
    GUI_DrawPolygon(ushape, 8, 100, 100);
    EXPECT_EQ(countDiff(filled, snapshot()), 0);
}

TEST(Properties, RotatePolygonTurnsAndTruncates) {
    const GUI_POINT src[] = {{100, 0}, {0, 100}, {-30, 17}, {7, -3}};
    GUI_POINT dst[4];
    GUI_RotatePolygon(dst, src, 4, 0.0f);
    for (int i = 0; i < 4; i++) EXPECT_TRUE(dst[i].x == src[i].x && dst[i].y == src[i].y);
    GUI_RotatePolygon(dst, src, 4, (float)(M_PI / 2));
    // x' = x cos a + y sin a, y' = -x sin a + y cos a: (100, 0) -> (0, -100), (0, 100) -> (100, 0)
    EXPECT_EQ(dst[0].x, 0);
    EXPECT_EQ(dst[0].y, -99); // cos of the single-precision angle is just below zero: truncation
    EXPECT_EQ(dst[1].x, 99);
    for (double a = -20; a < 20; a += 0.37) {
        double s, c;
        extern void GUI__SinCos(double, double *, double *);
        GUI__SinCos(a, &s, &c);
        ASSERT_NEAR(s, sin(a), 1e-14);
        ASSERT_NEAR(c, cos(a), 1e-14);
    }
}
