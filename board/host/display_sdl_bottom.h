// The window of the simulated panel, at the bottom: the only code that knows SDL. Everything above
// hands it plain frames and gets plain input back, so the board itself stays free of SDL.
//
// One window per process. Every call must come from the same thread (the one that opened it).
//
// The code lives in a module of its own (libzefo5_sdl.so, beside the program) that the board loads
// the first time it calls one of these functions: a run without a window loads neither it nor SDL
// and the many libraries SDL brings along.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A frame: width x height pixels, row after row, RGB 5-6-5 in 16 bits (red in bits 15-11).
struct SdlBottomFrame {
    int width;
    int height;
    const uint16_t *pixels;
};

// What the user did in the window. Points are panel pixels, clamped to the panel.
struct SdlBottomInput {
    enum Kind { None, Down, Move, Up, Close };
    Kind kind;
    int x, y;
};

// Opens the window: width x height panel pixels, at scale 1 (it may be resized; the picture is
// scaled, the points stay panel pixels). visibleOnly: refuse the drivers that show nothing
// (offscreen, dummy). False with the reason in why.
bool sdl_bottom_init(const char *title, int width, int height, bool visibleOnly, char *why, size_t whyLen);
// Shows a frame; one of a different size is drawn at the top left, the rest black.
void sdl_bottom_write(const SdlBottomFrame &frame);
// The next input, waiting up to waitMs for one (0: only what is there). Also redraws the window
// when the window system asks for it. False: nothing happened.
bool sdl_bottom_next_input(SdlBottomInput &input, int waitMs);
void sdl_bottom_cleanup();

// The beeper's sound: a square wave of hz at volumeDuty (0..102) while on. Unlike the calls above it
// may come from any thread. Silent when the system has no audio device (never an error).
void sdl_bottom_tone(int on, unsigned hz, unsigned volumeDuty);
int sdl_bottom_audio(); // 1 while an audio device plays the tone

// For tests: the colour (8 bits per channel) the renderer holds at a panel pixel, and a mouse
// event delivered as the window system would deliver it (window pixels; kind Down, Move, Up or
// Close).
bool sdl_bottom_read(int x, int y, uint8_t rgb[3]);
bool sdl_bottom_inject(SdlBottomInput::Kind kind, int windowX, int windowY);
// The name of the video driver in use ("" when closed).
const char *sdl_bottom_driver();

// The module's entry points, as zefo_sdl_bottom_api() hands them to the loader.
struct SdlBottomApi {
    bool (*init)(const char *, int, int, bool, char *, size_t);
    void (*write)(const SdlBottomFrame &);
    bool (*nextInput)(SdlBottomInput &, int);
    void (*cleanup)();
    bool (*read)(int, int, uint8_t[3]);
    bool (*inject)(SdlBottomInput::Kind, int, int);
    const char *(*driver)();
    void (*tone)(int, unsigned, unsigned);
    int (*audio)();
};
extern "C" const SdlBottomApi *zefo_sdl_bottom_api(void);
