// Not firmware: a program that allocates and formats a float, linked with the board port to show
// that the image check refuses such a link (tests/target/test_board.py).
#include <stdio.h>
#include <stdlib.h>

static char text[32];

int main(void) {
    void *block = malloc(16);
    int *numbers = new int[4];
    snprintf(text, sizeof text, "%p %p %+05.1f", block, (void *)numbers, 2.5);
    for (;;) {}
}
