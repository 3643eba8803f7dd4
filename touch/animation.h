// Animations: stored scripts of command lines with yield points, stepped cooperatively from the main
// loop, and the blinking text built from them.
#pragma once

// Frees every animation and empties the store; ignored while an animation step executes.
void init_animation(void);
// Appends one command line to animation n (0..9); 1 or 0.
int DoAnimationAdd(int n, const char *line);
// Removes animation n and closes the gap in the store; 1, or 0 when n is not an animation.
int DeleteAnimation(int n);
// One scheduling pass of the main loop.
void handle_animation(void);
