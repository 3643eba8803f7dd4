// The library's memory pool.
#include <gtest/gtest.h>

#include "gfx/gui.h"

TEST(Pool, AllocatesAlignedBlocksAndMergesOnFree) {
    GUI_ALLOC_Init();
    uint32_t all = GUI_ALLOC_GetNumFreeBytes();
    EXPECT_GE(all, 99000u);
    EXPECT_LT(all, GUI_POOL_SIZE);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), all);
    void *a = GUI_ALLOC_Alloc(10), *b = GUI_ALLOC_Alloc(3000), *c = GUI_ALLOC_Alloc(1);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ((uintptr_t)a % 8, 0u);
    EXPECT_EQ((uintptr_t)b % 8, 0u);
    memset(b, 0xAB, 3000);
    GUI_ALLOC_Free(b);
    void *b2 = GUI_ALLOC_Alloc(2000); // first fit reuses the hole
    EXPECT_EQ(b2, b);
    GUI_ALLOC_Free(a);
    GUI_ALLOC_Free(b2);
    GUI_ALLOC_Free(c);
    GUI_ALLOC_Free(nullptr);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBytes(), all); // everything merged back into one block
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), all);
}

TEST(Pool, RefusesWhatDoesNotFit) {
    GUI_ALLOC_Init();
    EXPECT_EQ(GUI_ALLOC_Alloc(0), nullptr);
    EXPECT_EQ(GUI_ALLOC_Alloc(GUI_POOL_SIZE), nullptr);
    void *big = GUI_ALLOC_Alloc(60000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(GUI_ALLOC_Alloc(50000), nullptr);
    void *rest = GUI_ALLOC_Alloc(GUI_ALLOC_GetMaxSize());
    ASSERT_NE(rest, nullptr);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBytes(), 0u);
    GUI_ALLOC_Free(big);
    GUI_ALLOC_Free(rest);
    EXPECT_EQ(GUI_ALLOC_GetMaxSize(), GUI_ALLOC_GetNumFreeBytes());
}

TEST(Pool, XorShapesGiveTheirMaskBack) {
    GUI_Init();
    uint32_t all = GUI_ALLOC_GetNumFreeBytes();
    GUI_SetDrawMode(GUI_DRAWMODE_XOR);
    GUI_SetPenSize(5);
    GUI_DrawLine(0, 0, 799, 479); // the largest mask: the whole screen
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    EXPECT_EQ(GUI_ALLOC_GetNumFreeBytes(), all);
}
