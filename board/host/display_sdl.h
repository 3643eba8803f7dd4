// The window of a sim_run (--display): the board's side of it. The window lives on a thread of its
// own (display_sdl.cpp, over display_sdl_bottom.cpp); the board only hands it frames and takes the
// pen input at moments of its choosing, so the firmware never waits for the window and a run on
// the virtual clock stays deterministic.
//
// Frames: at most once per virtual millisecond the board looks at the wall clock and, when 20 ms
// (more where showing a frame is slow) have passed since the last frame, copies the visible frame
// buffer for the window. While the board waits for the host (virtual clock), the window's thread
// copies it itself, so that what was drawn last is shown however long the host thinks.
// Pen: the left mouse button gives touch and release events, delivered by the board like the
// --events ones, with --clock real only (on the virtual clock the mouse is ignored).
// Closing the window ends the run like the end of input.
#pragma once

#include <stdint.h>

#include <string>

#include "board/host/sim.h"

struct PanelConfig;

namespace host {
namespace display {

extern bool shown;         // a window is open for this run
extern uint64_t nextCheck; // virtual time of the board's next look; UINT64_MAX without a window

// Opens the window when opts.display asks for one; on the board's thread, after the session is
// open. False: no window. The window's thread opens it meanwhile; when that fails (with
// --display sdl: a note on standard error) the board goes on as if there were none.
bool open();
void close();

// The board's look (now >= nextCheck). Returns one pen event to deliver, or false when none is
// left (then the frame has been taken if it was time).
bool check(SimEvent &pen);
bool closeRequested(); // the window was closed and the board has not ended the run yet
void closeTaken();

// Around the board's wait for the host. parkBegin false: the window was closed, do not wait.
bool parkBegin();
void parkEnd();

// "ZEFO5 <panel name> <width>x<height>"
std::string title(const PanelConfig &panel);

} // namespace display
} // namespace host
