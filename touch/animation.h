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

// Commands
int cmd_anic(char *line);
int cmd_tfc(char *line);
int cmd_tfd(char *line);
int cmd_anid(char *line);
int cmd_anix(char *line);
int cmd_tfx(char *line);
int cmd_anis(char *line);
int cmd_tfs(char *line);
int cmd_tfe(char *line);
int cmd_anie(char *line);
int cmd_ani(char *line);
int cmd_aniplus(char *line);
int cmd_tf(char *line);
int cmd_tfq(char *line);
int cmd_aniq(char *line);
