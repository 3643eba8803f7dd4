// Expansion and arithmetic of any line: the input is a line, then (after a NUL) up to ten macro
// arguments separated by NULs. The line is expanded into buffers of several sizes, each result
// checked to end inside its buffer; then it runs as a host line, so that the register commands and
// macro calls of an image with macros meet whatever the expansion made of it.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "macro/macro.h"
#include "tests/support/macro_env.h"
#include "tools/pack/image.h"

static std::vector<uint8_t> image;

static void check(const char *buf, int size) {
    const char *nul = (const char *)memchr(buf, 0, (size_t)size);
    if (!nul) abort(); // the output must end inside its buffer
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (image.empty()) {
        pack::Image img;
        img.macros.push_back(pack::Macro{"one", {"set i1 `0`", ":a", "get i1", ":repeat"}, true});
        img.macros.push_back(pack::Macro{"two", {"m one:a `0` `1`", "mpush \"`M`\""}, true});
        std::string error;
        pack::build(img, &image, &error);
    }
    if (size > 400) return 0;
    resetEnv();
    loadImage(image);
    standin::abortAfter = 50; // a repeating macro ends
    std::string all((const char *)data, size);
    std::vector<std::string> parts;
    size_t at = 0;
    while (parts.size() < 11) {
        size_t nul = all.find('\0', at);
        parts.push_back(all.substr(at, nul == std::string::npos ? std::string::npos : nul - at));
        if (nul == std::string::npos) break;
        at = nul + 1;
    }
    const char *args[10] = {};
    for (size_t i = 1; i < parts.size(); i++) args[i - 1] = parts[i].c_str();
    const char *line = parts[0].c_str();
    for (int bufSize : {1, 2, 17, 129, 130}) {
        std::vector<char> a((size_t)bufSize + 8, 'Z'), b((size_t)bufSize + 8, 'Z');
        expandVariables(a.data(), bufSize, line, args);
        check(a.data(), bufSize);
        processMath(b.data(), bufSize, a.data());
        check(b.data(), bufSize);
        if (a[(size_t)bufSize] != 'Z' || b[(size_t)bufSize] != 'Z') abort(); // nothing past the buffer
    }
    host(line);
    return 0;
}
