// The host library on any received bytes: the first byte picks the modes (byte-form reports, RS485
// and its start-of-frame character); the rest is what the line brings, read once by zefo5_feed and
// once through zefo5_command with a small reply buffer. Every line kept must end inside its buffer
// and every report must name a kind the library knows.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "zefo5.h"

namespace {

struct Input {
    const uint8_t *data;
    size_t size, pos;
};

int sink(void *, const uint8_t *, size_t) {
    return 0;
}

int source(void *ctx, uint8_t *byte, uint32_t) {
    Input *in = static_cast<Input *>(ctx);
    if (in->pos >= in->size) return 0;
    *byte = in->data[in->pos++];
    return 1;
}

void check(const zefo5 &z) {
    if (z.line_length > ZEFO5_LINE_KEEP || z.line[z.line_length] != 0) abort();
    if (z.queue_count > ZEFO5_EVENT_QUEUE || z.event.kind > ZEFO5_EV_MACRO_END) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t modes = data[0];
    Input in = {data + 1, size - 1, 0};
    zefo5_io io = {sink, source, &in};
    zefo5 z;
    zefo5_init(&z, &io);
    zefo5_set_binary_reports(&z, modes & 1);
    if (modes & 2) zefo5_set_rs485(&z, (char)(modes | 0x20), modes);
    for (size_t i = 0; i < in.size; i++) {
        zefo5_feed(&z, in.data[i]);
        check(z);
    }
    zefo5_init(&z, &io);
    zefo5_set_binary_reports(&z, modes & 1);
    if (modes & 2) zefo5_set_rs485(&z, (char)(modes | 0x20), modes);
    char reply[24];
    while (in.pos < in.size) {
        zefo5_command(&z, "vers", reply, sizeof reply, 0);
        if (memchr(reply, 0, sizeof reply) == nullptr) abort();
        check(z);
        zefo5_event ev;
        while (zefo5_poll(&z, &ev, 0) == 1)
            if (ev.kind == ZEFO5_EV_NONE || ev.kind > ZEFO5_EV_MACRO_END) abort();
    }
    return 0;
}
