// The board's side of the window module: loads libzefo5_sdl.so (and with it SDL) on the first call
// of the window functions, from the program's own directory or else from the build tree.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "board/host/display_sdl_bottom.h"

namespace {

std::atomic<const SdlBottomApi *> api; // set once by the thread that loads it
std::string loadError = "not loaded";

std::string programDir() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = 0;
    char *slash = strrchr(path, '/');
    if (!slash) return "";
    *slash = 0;
    return path;
}

const SdlBottomApi *load() {
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string candidates[] = {programDir() + "/libzefo5_sdl.so", ZEFO_SDL_MODULE};
        for (const std::string &path : candidates) {
            void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!h) {
                loadError = dlerror();
                continue;
            }
            auto entry = (const SdlBottomApi *(*)(void))dlsym(h, "zefo_sdl_bottom_api");
            if (entry) {
                api = entry();
                return;
            }
            loadError = path + ": no window entry point";
        }
    });
    return api;
}

} // namespace

bool sdl_bottom_init(const char *title, int width, int height, bool visibleOnly, char *why, size_t whyLen) {
    if (!load()) {
        snprintf(why, whyLen, "cannot load the window module: %s", loadError.c_str());
        return false;
    }
    return api.load()->init(title, width, height, visibleOnly, why, whyLen);
}

void sdl_bottom_write(const SdlBottomFrame &frame) {
    if (load()) api.load()->write(frame);
}

bool sdl_bottom_next_input(SdlBottomInput &input, int waitMs) {
    return load() && api.load()->nextInput(input, waitMs);
}

void sdl_bottom_cleanup() {
    if (api) api.load()->cleanup();
}

bool sdl_bottom_read(int x, int y, uint8_t rgb[3]) {
    return load() && api.load()->read(x, y, rgb);
}

bool sdl_bottom_inject(SdlBottomInput::Kind kind, int windowX, int windowY) {
    return load() && api.load()->inject(kind, windowX, windowY);
}

const char *sdl_bottom_driver() {
    return api ? api.load()->driver() : "";
}

// From the board's thread: a module still loading misses the change, it never waits for it.
void sdl_bottom_tone(int on, unsigned hz, unsigned volumeDuty) {
    if (const SdlBottomApi *a = api.load()) a->tone(on, hz, volumeDuty);
}

int sdl_bottom_audio() {
    const SdlBottomApi *a = api.load();
    return a ? a->audio() : 0;
}

// SDL and the D-Bus library it starts keep some memory until the process ends; the sanitizer's
// leak check is about our code. Weak: a program with suppressions of its own keeps them.
extern "C" __attribute__((weak)) const char *__lsan_default_suppressions() {
    return "leak:libSDL2\nleak:libdbus-1\n";
}
extern "C" __attribute__((weak)) const char *__lsan_default_options() {
    return "print_suppressions=0";
}
