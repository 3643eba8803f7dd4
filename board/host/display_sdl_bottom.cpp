// The window of the simulated panel on SDL2: a streaming RGB 5-6-5 texture of the panel's size,
// drawn scaled to the window. The left mouse button is the pen.
#include "board/host/display_sdl_bottom.h"

#include <SDL.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

namespace {

SDL_Window *window;
SDL_Renderer *renderer;
SDL_Texture *texture;
int panelW, panelH;
bool penDown;
bool videoUp;

// The beeper: the board sets these from its own thread, SDL's audio thread reads them.
std::atomic<bool> toneOn;
std::atomic<unsigned> toneHz, toneDuty;
std::atomic<SDL_AudioDeviceID> audioDevice;
int audioRate;

constexpr int16_t FULL_SCALE = 8000; // the loudest square wave, well below clipping

void fillAudio(void *, Uint8 *stream, int len) {
    static double phase; // in periods; only this thread touches it
    int16_t *out = (int16_t *)stream;
    int n = len / 2;
    bool on = toneOn.load(std::memory_order_relaxed);
    unsigned hz = toneHz.load(std::memory_order_relaxed);
    int16_t level = (int16_t)(FULL_SCALE * (int)toneDuty.load(std::memory_order_relaxed) / 102);
    for (int i = 0; i < n; i++) {
        if (!on || hz == 0 || hz * 2 > (unsigned)audioRate) {
            out[i] = 0;
            continue;
        }
        out[i] = phase < 0.5 ? level : (int16_t)-level;
        phase += (double)hz / audioRate;
        if (phase >= 1.0) phase -= (int)phase;
    }
}

// Sound for a window someone looks at; without a device the beeper stays silent.
void openAudio() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 512;
    want.callback = fillAudio;
    audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!audioDevice) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    audioRate = have.freq;
    SDL_PauseAudioDevice(audioDevice, 0);
}

void closeAudio() {
    if (!audioDevice) return;
    SDL_CloseAudioDevice(audioDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioDevice = 0;
}

void redraw() {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
}

void present() {
    redraw();
    SDL_RenderPresent(renderer);
}

int clampTo(int v, int limit) {
    return v < 0 ? 0 : v >= limit ? limit - 1 : v;
}

void fail(char *why, size_t whyLen, const char *what) {
    if (why && whyLen) snprintf(why, whyLen, "%s: %s", what, SDL_GetError());
}

// One SDL event as pen input; false when it is none.
bool translate(const SDL_Event &e, SdlBottomInput &in) {
    in.x = in.y = 0;
    switch (e.type) {
    case SDL_QUIT:
        in.kind = SdlBottomInput::Close;
        return true;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            in.kind = SdlBottomInput::Close;
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            present();
            return false;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // The button may come up where this window no longer hears it.
            if (!penDown) return false;
            penDown = false;
            in.kind = SdlBottomInput::Up;
            return true;
        default:
            return false;
        }
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button != SDL_BUTTON_LEFT) return false;
        penDown = true;
        in.kind = SdlBottomInput::Down;
        in.x = clampTo(e.button.x, panelW);
        in.y = clampTo(e.button.y, panelH);
        return true;
    case SDL_MOUSEMOTION:
        if (!penDown) return false;
        in.kind = SdlBottomInput::Move;
        in.x = clampTo(e.motion.x, panelW);
        in.y = clampTo(e.motion.y, panelH);
        return true;
    case SDL_MOUSEBUTTONUP:
        if (e.button.button != SDL_BUTTON_LEFT || !penDown) return false;
        penDown = false;
        in.kind = SdlBottomInput::Up;
        in.x = clampTo(e.button.x, panelW);
        in.y = clampTo(e.button.y, panelH);
        return true;
    default:
        return false;
    }
}

} // namespace

bool sdl_bottom_init(const char *title, int width, int height, bool visibleOnly, char *why, size_t whyLen) {
    if (why && whyLen) why[0] = 0;
    if (window || width <= 0 || height <= 0) {
        if (why && whyLen) snprintf(why, whyLen, "%s", window ? "a window is open already" : "no size");
        return false;
    }
    // The board has its own Ctrl-C handling; SDL must not take the signals over.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0"); // pixels stay sharp when the window is enlarged
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fail(why, whyLen, "no video");
        return false;
    }
    videoUp = true;
    const char *driver = SDL_GetCurrentVideoDriver();
    if (visibleOnly && driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy"))) {
        if (why && whyLen) snprintf(why, whyLen, "the video driver %s shows nothing", driver);
        sdl_bottom_cleanup();
        return false;
    }
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                              SDL_WINDOW_RESIZABLE);
    if (!window) {
        fail(why, whyLen, "no window");
        sdl_bottom_cleanup();
        return false;
    }
    renderer = SDL_CreateRenderer(window, -1, 0);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) {
        fail(why, whyLen, "no renderer");
        sdl_bottom_cleanup();
        return false;
    }
    SDL_RenderSetLogicalSize(renderer, width, height);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) {
        fail(why, whyLen, "no texture");
        sdl_bottom_cleanup();
        return false;
    }
    panelW = width;
    panelH = height;
    penDown = false;
    void *pixels;
    int pitch;
    if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) == 0) {
        memset(pixels, 0, (size_t)pitch * (size_t)height);
        SDL_UnlockTexture(texture);
    }
    present();
    // A window nobody sees (offscreen, dummy) stays silent unless an audio driver is asked for.
    const char *audioDriver = SDL_getenv("SDL_AUDIODRIVER");
    bool unseen = driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy"));
    if (!unseen || (audioDriver && *audioDriver)) openAudio();
    return true;
}

void sdl_bottom_write(const SdlBottomFrame &f) {
    if (!texture || !f.pixels) return;
    if (f.width == panelW && f.height == panelH) {
        SDL_UpdateTexture(texture, nullptr, f.pixels, panelW * 2);
    } else {
        void *pixels;
        int pitch;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return;
        int w = f.width < panelW ? f.width : panelW;
        int h = f.height < panelH ? f.height : panelH;
        for (int y = 0; y < panelH; y++) {
            uint8_t *row = (uint8_t *)pixels + (size_t)y * (size_t)pitch;
            memset(row, 0, (size_t)panelW * 2);
            if (y < h && w > 0) memcpy(row, f.pixels + (size_t)y * (size_t)f.width, (size_t)w * 2);
        }
        SDL_UnlockTexture(texture);
    }
    present();
}

bool sdl_bottom_next_input(SdlBottomInput &in, int waitMs) {
    if (!window) return false;
    SDL_Event e;
    bool got = waitMs > 0 ? SDL_WaitEventTimeout(&e, waitMs) != 0 : SDL_PollEvent(&e) != 0;
    while (got) {
        if (translate(e, in)) return true;
        got = SDL_PollEvent(&e) != 0;
    }
    in.kind = SdlBottomInput::None;
    return false;
}

void sdl_bottom_cleanup() {
    closeAudio();
    if (texture) SDL_DestroyTexture(texture);
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    texture = nullptr;
    renderer = nullptr;
    window = nullptr;
    penDown = false;
    if (videoUp) SDL_Quit();
    videoUp = false;
}

bool sdl_bottom_read(int x, int y, uint8_t rgb[3]) {
    if (!renderer || x < 0 || y < 0 || x >= panelW || y >= panelH) return false;
    // The back buffer is only defined between drawing and presenting: draw, read, then show again.
    redraw();
    SDL_Rect r = {x, y, 1, 1};
    uint32_t p = 0;
    int ok = SDL_RenderReadPixels(renderer, &r, SDL_PIXELFORMAT_RGB888, &p, 4);
    SDL_RenderPresent(renderer);
    if (ok != 0) return false;
    rgb[0] = (uint8_t)(p >> 16);
    rgb[1] = (uint8_t)(p >> 8);
    rgb[2] = (uint8_t)p;
    return true;
}

bool sdl_bottom_inject(SdlBottomInput::Kind kind, int windowX, int windowY) {
    if (!window) return false;
    SDL_Event e;
    memset(&e, 0, sizeof e);
    uint32_t id = SDL_GetWindowID(window);
    switch (kind) {
    case SdlBottomInput::Down:
    case SdlBottomInput::Up:
        e.type = kind == SdlBottomInput::Down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = id;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = kind == SdlBottomInput::Down ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = windowX;
        e.button.y = windowY;
        break;
    case SdlBottomInput::Move:
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = id;
        e.motion.state = penDown ? SDL_BUTTON_LMASK : 0;
        e.motion.x = windowX;
        e.motion.y = windowY;
        break;
    case SdlBottomInput::Close:
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        break;
    default:
        return false;
    }
    return SDL_PushEvent(&e) == 1;
}

void sdl_bottom_tone(int on, unsigned hz, unsigned volumeDuty) {
    toneHz = hz;
    toneDuty = volumeDuty > 102 ? 102 : volumeDuty;
    toneOn = on != 0;
}

int sdl_bottom_audio() {
    return audioDevice != 0;
}

const char *sdl_bottom_driver() {
    const char *d = videoUp ? SDL_GetCurrentVideoDriver() : nullptr;
    return d ? d : "";
}

extern "C" const SdlBottomApi *zefo_sdl_bottom_api(void) {
    static const SdlBottomApi api = {sdl_bottom_init,    sdl_bottom_write, sdl_bottom_next_input,
                                     sdl_bottom_cleanup, sdl_bottom_read,  sdl_bottom_inject,
                                     sdl_bottom_driver,  sdl_bottom_tone,  sdl_bottom_audio};
    return &api;
}
