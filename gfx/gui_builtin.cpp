// The two built-in 64 x 64 button faces of the "i" command, computed at compile time into program
// flash: a raised face (light edges top and left, shadow bottom and right, face lit from above) and
// the same button pressed in (edges swapped, face darker and lit from below).
#include <array>

#include "gfx/gui.h"

namespace {

constexpr int SIZE = 64, BEVEL = 4;

constexpr uint16_t rgb565(int r, int g, int b) {
    return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

constexpr std::array<uint8_t, SIZE * SIZE * 2> makeFace(bool pressed) {
    std::array<uint8_t, SIZE * SIZE * 2> px{};
    for (int y = 0; y < SIZE; y++)
        for (int x = 0; x < SIZE; x++) {
            uint16_t c;
            int inner = SIZE - 1 - BEVEL;
            if (x == 0 || y == 0 || x == SIZE - 1 || y == SIZE - 1) {
                c = rgb565(48, 48, 56); // outer frame
            } else if (x < BEVEL + 1 || y < BEVEL + 1 || x > inner - 1 || y > inner - 1) {
                // Bevel: the top-left or bottom-right triangle of each corner by the diagonal.
                bool topLeft = (x < BEVEL + 1 && x <= y && y < SIZE - 1 - x) ||
                               (y < BEVEL + 1 && y <= x && x < SIZE - 1 - y);
                bool lit = pressed ? !topLeft : topLeft;
                c = lit ? rgb565(236, 240, 248) : rgb565(96, 100, 112);
            } else {
                int t = pressed ? (SIZE - 1 - y) : y; // face shading runs top to bottom
                int v = (pressed ? 176 : 216) - t * 40 / SIZE;
                c = rgb565(v, v + 4, v + 16 > 255 ? 255 : v + 16);
            }
            px[(y * SIZE + x) * 2] = (uint8_t)c;
            px[(y * SIZE + x) * 2 + 1] = (uint8_t)(c >> 8);
        }
    return px;
}

constexpr std::array<uint8_t, SIZE *SIZE * 2> raisedPixels = makeFace(false);
constexpr std::array<uint8_t, SIZE *SIZE * 2> pressedPixels = makeFace(true);

} // namespace

const GUI_BITMAP bmButtonRaised = {
    SIZE, SIZE, SIZE * 2, 16, raisedPixels.data(), nullptr, &GUI_BitmapMethodsM565};
const GUI_BITMAP bmButtonPressed = {
    SIZE, SIZE, SIZE * 2, 16, pressedPixels.data(), nullptr, &GUI_BitmapMethodsM565};
