/* zefo5 host library: see zefo5.h. */
#include "zefo5.h"

#include <string.h>

static const char hexDigits[] = "0123456789ABCDEF";

void zefo5_init(zefo5 *z, const zefo5_io *io) {
    memset(z, 0, sizeof *z);
    z->io = *io;
    z->rs485_quiet_ms = 30;
}

void zefo5_set_crc(zefo5 *z, int on) {
    z->crc = on ? 1 : 0;
}

void zefo5_set_binary_reports(zefo5 *z, int on) {
    z->binary_reports = on ? 1 : 0;
}

void zefo5_set_rs485(zefo5 *z, char sof, uint8_t address) {
    z->rs485 = 1;
    z->sof = sof;
    z->address = address;
    z->paused = 0; /* the display never sends XON/XOFF on the bus */
}

void zefo5_rs485_off(zefo5 *z) {
    z->rs485 = 0;
}

uint16_t zefo5_crc16(const uint8_t *bytes, size_t n, uint16_t seed) {
    uint16_t crc = seed;
    for (size_t i = 0; i < n; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

size_t zefo5_frame(const zefo5 *z, const char *text, uint8_t *out, size_t size) {
    size_t n = strlen(text);
    if (n > ZEFO5_COMMAND_MAX || memchr(text, '\r', n)) return 0;
    size_t need = (z->rs485 ? 3u : 0u) + (z->crc ? 5u : 0u) + n + 1;
    if (need > size) return 0;
    size_t k = 0;
    if (z->rs485) {
        out[k++] = (uint8_t)z->sof;
        out[k++] = (uint8_t)hexDigits[z->address >> 4];
        out[k++] = (uint8_t)hexDigits[z->address & 15];
    }
    if (z->crc) { /* the CRC covers the text and its CR */
        static const uint8_t cr = '\r';
        uint16_t crc = zefo5_crc16(&cr, 1, zefo5_crc16((const uint8_t *)text, n, 0xFFFF));
        out[k++] = '~';
        for (int shift = 12; shift >= 0; shift -= 4) out[k++] = (uint8_t)hexDigits[(crc >> shift) & 15];
    }
    memcpy(out + k, text, n);
    k += n;
    out[k++] = '\r';
    return k;
}

/* ---- reading what the display sends ---------------------------------------------------------- */

/* A decimal number at text[*i] (optional '-'); advances *i. Returns 0 when there are no digits. */
static int number(const char *text, size_t n, size_t *i, int32_t *value) {
    int negative = 0;
    if (*i < n && text[*i] == '-') negative = 1, (*i)++;
    size_t start = *i;
    int32_t v = 0;
    while (*i < n && text[*i] >= '0' && text[*i] <= '9' && *i - start < 9) v = v * 10 + (text[(*i)++] - '0');
    if (*i == start || (*i < n && text[*i] >= '0' && text[*i] <= '9')) return 0;
    *value = negative ? -v : v;
    return 1;
}

static int expect(const char *text, size_t n, size_t *i, char c) {
    if (*i >= n || text[*i] != c) return 0;
    (*i)++;
    return 1;
}

/* The text reports: "x%d", "x%d %d %d", "r%d", "s%d %d", "l%d:%d", "m%d", "e%d". */
static int textReport(const char *text, size_t n, zefo5_event *ev) {
    if (n < 2 || text[1] < '0' || text[1] > '9') return 0;
    size_t i = 1;
    int32_t spot, a = 0, b = 0;
    if (!number(text, n, &i, &spot) || spot > 255) return 0;
    zefo5_event e = {ZEFO5_EV_NONE, (uint8_t)spot, 0, 0, 0};
    switch (text[0]) {
    case 'x':
        if (i == n) {
            e.kind = ZEFO5_EV_PRESS;
        } else if (expect(text, n, &i, ' ') && number(text, n, &i, &a) && expect(text, n, &i, ' ') &&
                   number(text, n, &i, &b)) {
            e.kind = ZEFO5_EV_PRESS_XY;
            e.x = a, e.y = b;
        }
        break;
    case 'r':
        e.kind = ZEFO5_EV_RELEASE;
        break;
    case 'm':
        e.kind = ZEFO5_EV_MACRO_START;
        break;
    case 'e':
        e.kind = ZEFO5_EV_MACRO_END;
        break;
    case 's':
        if (expect(text, n, &i, ' ') && number(text, n, &i, &a)) e.kind = ZEFO5_EV_TOGGLE, e.value = a;
        break;
    case 'l':
        if (expect(text, n, &i, ':') && number(text, n, &i, &a)) e.kind = ZEFO5_EV_SLIDER, e.value = a;
        break;
    default:
        return 0;
    }
    if (e.kind == ZEFO5_EV_NONE || i != n) return 0;
    if (ev) *ev = e;
    return 1;
}

static int statusOf(char c, zefo5_status *s) {
    switch (c) {
    case '>':
        *s = ZEFO5_OK;
        return 1;
    case '!':
        *s = ZEFO5_FAILED;
        return 1;
    case '#':
        *s = ZEFO5_CRC_ERROR;
        return 1;
    case '^':
        *s = ZEFO5_OVERFLOW;
        return 1;
    case '?':
        *s = ZEFO5_RX_ERROR;
        return 1;
    }
    return 0;
}

/* The display's own messages that end in a status character: whole lines, not a text and the
 * status of a reply without CR of its own. */
static const char *const wholeLines[] = {
    "    Unknown record type!",
    "  DONE!",
    "  *memTest <start_addr> <length> <reps>",
    ": invalid <type>",
    ":Failed to copy new image from Data Flash to memory!",
    ":Failed to load new bin file to memory!",
    "Cannot write past end of external memory!",
    "Input buffer overflowed!",
};

static int isWholeLine(const char *text, size_t n) {
    for (size_t i = 0; i < sizeof wholeLines / sizeof wholeLines[0]; i++)
        if (strlen(wholeLines[i]) == n && memcmp(wholeLines[i], text, n) == 0) return 1;
    return 0;
}

zefo5_line_kind zefo5_classify(const char *text, size_t n, zefo5_event *event, zefo5_status *status) {
    zefo5_status s;
    if (n == 1 && statusOf(text[0], &s)) {
        if (status) *status = s;
        return ZEFO5_LINE_STATUS;
    }
    if (n > 0 && text[0] == ':') return ZEFO5_LINE_MESSAGE;
    if (textReport(text, n, event)) return ZEFO5_LINE_EVENT;
    return ZEFO5_LINE_VALUE;
}

size_t zefo5_binary_report_length(uint8_t b) {
    switch (b) {
    case 'X':
    case 'R':
    case 'M':
    case 'E':
        return 2;
    case 'S':
        return 3;
    case 'L':
        return 4;
    case 'Y':
        return 6;
    }
    return 0;
}

int zefo5_binary_report(const uint8_t *bytes, size_t n, zefo5_event *event) {
    if (n < 2 || n != zefo5_binary_report_length(bytes[0])) return 0;
    zefo5_event e = {ZEFO5_EV_NONE, bytes[1], 0, 0, 0};
    switch (bytes[0]) {
    case 'X':
        e.kind = ZEFO5_EV_PRESS;
        break;
    case 'R':
        e.kind = ZEFO5_EV_RELEASE;
        break;
    case 'M':
        e.kind = ZEFO5_EV_MACRO_START;
        break;
    case 'E':
        e.kind = ZEFO5_EV_MACRO_END;
        break;
    case 'S':
        e.kind = ZEFO5_EV_TOGGLE;
        e.value = bytes[2];
        break;
    case 'L': /* 16 bits, low byte first */
        e.kind = ZEFO5_EV_SLIDER;
        e.value = bytes[2] | bytes[3] << 8;
        break;
    case 'Y':
        e.kind = ZEFO5_EV_PRESS_XY;
        e.x = bytes[2] | bytes[3] << 8;
        e.y = bytes[4] | bytes[5] << 8;
        break;
    }
    *event = e;
    return 1;
}

static void lineReset(zefo5 *z) {
    z->line_length = 0;
    z->line_received = 0;
    z->line[0] = 0;
    z->prefix_left = 0;
}

zefo5_feed_result zefo5_feed(zefo5 *z, uint8_t b) {
    if (z->bin_need) { /* inside a byte-form report every value is data, even XON and XOFF */
        z->bin[z->bin_length++] = b;
        if (z->bin_length < z->bin_need) return ZEFO5_FEED_NOTHING;
        zefo5_binary_report(z->bin, z->bin_length, &z->event);
        z->bin_need = z->bin_length = 0;
        return ZEFO5_FEED_EVENT;
    }
    if (!z->rs485 && (b == ZEFO5_XON || b == ZEFO5_XOFF)) { /* never inside a reply */
        z->paused = b == ZEFO5_XOFF;
        return ZEFO5_FEED_NOTHING;
    }
    const int atStart = z->line_received == 0;
    if (atStart && z->rs485) { /* every message comes behind SOF 'F' 'F' */
        if (z->prefix_left) {
            z->prefix_left--;
            return ZEFO5_FEED_NOTHING;
        }
        if (b == (uint8_t)z->sof) {
            z->prefix_left = 2;
            return ZEFO5_FEED_NOTHING;
        }
    }
    if (atStart && z->binary_reports && zefo5_binary_report_length(b)) {
        z->bin[0] = b;
        z->bin_length = 1;
        z->bin_need = (uint8_t)zefo5_binary_report_length(b);
        return ZEFO5_FEED_NOTHING;
    }
    if (b != '\r') {
        if (atStart) z->line_length = 0;
        if (z->line_length < ZEFO5_LINE_KEEP)
            z->line[z->line_length++] = (char)b;
        else
            z->line[ZEFO5_LINE_KEEP - 1] = (char)b; /* keep the last character: it may be a status */
        z->line_received++;
        z->line[z->line_length] = 0;
        return ZEFO5_FEED_NOTHING;
    }
    size_t n = atStart ? 0 : z->line_length;
    z->line_length = n;
    z->line[n] = 0;
    z->line_received = 0; /* the next byte starts a line */
    z->prefix_left = 0;
    z->line_kind = zefo5_classify(z->line, n, &z->event, &z->status);
    if (z->line_kind == ZEFO5_LINE_STATUS) {
        lineReset(z);
        return ZEFO5_FEED_STATUS;
    }
    if (z->line_kind == ZEFO5_LINE_EVENT) return ZEFO5_FEED_EVENT;
    /* A few replies have no CR of their own (a frame-buffer row, some messages): the status that
     * follows them ends the same line. */
    if (n > 1 && statusOf(z->line[n - 1], &z->status) && z->line[n - 1] != '^' && z->line[n - 1] != '?' &&
        !isWholeLine(z->line, n)) {
        z->line[--z->line_length] = 0;
        z->line_kind = z->line[0] == ':' ? ZEFO5_LINE_MESSAGE : ZEFO5_LINE_VALUE;
        z->line_ends_reply = 1;
        return ZEFO5_FEED_LINE;
    }
    z->line_ends_reply = 0;
    return ZEFO5_FEED_LINE;
}

static void enqueue(zefo5 *z, const zefo5_event *e) {
    if (z->queue_count == ZEFO5_EVENT_QUEUE) { /* the oldest goes */
        z->queue_head = (uint8_t)((z->queue_head + 1) % ZEFO5_EVENT_QUEUE);
        z->queue_count--;
        z->events_lost++;
    }
    z->queue[(z->queue_head + z->queue_count) % ZEFO5_EVENT_QUEUE] = *e;
    z->queue_count++;
}

/* Takes what is waiting on the line, without waiting; reports are queued, other lines dropped. */
static int drain(zefo5 *z, uint32_t timeout_ms) {
    uint8_t b;
    int r;
    while ((r = z->io.read(z->io.ctx, &b, timeout_ms)) == 1) {
        zefo5_feed_result f = zefo5_feed(z, b);
        if (f == ZEFO5_FEED_EVENT) enqueue(z, &z->event);
        if (f == ZEFO5_FEED_STATUS || (f == ZEFO5_FEED_LINE && z->line_ends_reply)) {
            if (!z->early || z->status > z->early_status) z->early_status = z->status;
            if (z->early < 0xFFFF) z->early++;
        }
        if (timeout_ms && !z->paused) return 1;
    }
    return r < 0 ? -1 : 0;
}

zefo5_status zefo5_send_bytes(zefo5 *z, const uint8_t *bytes, size_t n, uint32_t timeout_ms) {
    /* Small chunks: the display stops a host while it still has room for far more than one. */
    const size_t chunk = 16;
    for (size_t done = 0; done < n;) {
        if (drain(z, 0) < 0) return ZEFO5_LINK_ERROR;
        while (z->paused) {
            int r = drain(z, timeout_ms);
            if (r < 0) return ZEFO5_LINK_ERROR;
            if (r == 0 && z->paused) return ZEFO5_TIMEOUT;
        }
        size_t k = n - done < chunk ? n - done : chunk;
        if (z->io.write(z->io.ctx, bytes + done, k) != 0) return ZEFO5_LINK_ERROR;
        done += k;
    }
    return ZEFO5_OK;
}

zefo5_status zefo5_send(zefo5 *z, const char *text, uint32_t timeout_ms) {
    uint8_t frame[ZEFO5_FRAME_MAX];
    size_t n = zefo5_frame(z, text, frame, sizeof frame);
    if (!n) return ZEFO5_BAD_COMMAND;
    return zefo5_send_bytes(z, frame, n, timeout_ms);
}

static void append(char *reply, size_t size, size_t *used, const char *text, size_t n) {
    if (!reply || !size) return;
    for (size_t i = 0; i < n && *used + 1 < size; i++) reply[(*used)++] = text[i];
    reply[*used] = 0;
}

zefo5_status zefo5_command(zefo5 *z, const char *text, char *reply, size_t reply_size, uint32_t timeout_ms) {
    size_t used = 0;
    append(reply, reply_size, &used, "", 0);
    z->early = 0; /* answers to earlier lines, not to this one */
    zefo5_status s = zefo5_send(z, text, timeout_ms);
    z->early = 0;
    if (s != ZEFO5_OK) return s;
    int lines = 0;
    for (;;) {
        uint8_t b;
        /* In RS485 mode a reply stands for the prompt: silence after it ends the command. */
        int r = z->io.read(z->io.ctx, &b, z->rs485 && lines ? z->rs485_quiet_ms : timeout_ms);
        if (r < 0) return ZEFO5_LINK_ERROR;
        if (r == 0) return z->rs485 && lines ? ZEFO5_NO_PROMPT : ZEFO5_TIMEOUT;
        switch (zefo5_feed(z, b)) {
        case ZEFO5_FEED_STATUS:
            return z->status;
        case ZEFO5_FEED_EVENT:
            enqueue(z, &z->event);
            break;
        case ZEFO5_FEED_LINE:
            append(reply, reply_size, &used, z->line, z->line_length);
            append(reply, reply_size, &used, "\r", 1);
            lines++;
            if (z->line_ends_reply) return z->status;
            break;
        case ZEFO5_FEED_NOTHING:
            break;
        }
    }
}

zefo5_status zefo5_wait_ready(zefo5 *z, uint32_t timeout_ms) {
    if (z->early) {
        z->early--;
        return z->early_status;
    }
    for (;;) {
        uint8_t b;
        int r = z->io.read(z->io.ctx, &b, timeout_ms);
        if (r < 0) return ZEFO5_LINK_ERROR;
        if (r == 0) return ZEFO5_TIMEOUT;
        zefo5_feed_result f = zefo5_feed(z, b);
        if (f == ZEFO5_FEED_EVENT) enqueue(z, &z->event);
        if (f == ZEFO5_FEED_STATUS || (f == ZEFO5_FEED_LINE && z->line_ends_reply)) return z->status;
    }
}

int zefo5_poll(zefo5 *z, zefo5_event *event, uint32_t timeout_ms) {
    for (;;) {
        if (z->queue_count) {
            *event = z->queue[z->queue_head];
            z->queue_head = (uint8_t)((z->queue_head + 1) % ZEFO5_EVENT_QUEUE);
            z->queue_count--;
            return 1;
        }
        uint8_t b;
        int r = z->io.read(z->io.ctx, &b, timeout_ms);
        if (r <= 0) return r < 0 ? -1 : 0;
        if (zefo5_feed(z, b) == ZEFO5_FEED_EVENT) enqueue(z, &z->event);
    }
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int zefo5_discover(zefo5 *z, uint8_t high, uint8_t *addresses, int max, uint32_t quiet_ms) {
    if (!z->rs485 || high > 15) return -1;
    const uint8_t query[4] = {(uint8_t)z->sof, '?', (uint8_t)hexDigits[high], '\r'};
    if (z->io.write(z->io.ctx, query, sizeof query) != 0) return -1;
    int found = 0;
    for (;;) {
        uint8_t b;
        int r = z->io.read(z->io.ctx, &b, quiet_ms);
        if (r < 0) return -1;
        if (r == 0) return found;
        if (zefo5_feed(z, b) != ZEFO5_FEED_LINE) continue;
        /* "SOF%02XADR%02X": the start-of-frame code and the address */
        const char *p = z->line;
        if (z->line_length != 10 || memcmp(p, "SOF", 3) != 0 || memcmp(p + 5, "ADR", 3) != 0) continue;
        int hi = hexValue(p[8]), lo = hexValue(p[9]);
        if (hi < 0 || lo < 0) continue;
        if (found < max) addresses[found] = (uint8_t)(hi << 4 | lo);
        found++;
    }
}

const char *zefo5_status_text(zefo5_status s) {
    switch (s) {
    case ZEFO5_OK:
        return "done";
    case ZEFO5_FAILED:
        return "failed (!)";
    case ZEFO5_CRC_ERROR:
        return "CRC error (#)";
    case ZEFO5_OVERFLOW:
        return "receive overflow (^)";
    case ZEFO5_RX_ERROR:
        return "receive error (?)";
    case ZEFO5_NO_PROMPT:
        return "reply without prompt";
    case ZEFO5_TIMEOUT:
        return "no reply";
    case ZEFO5_LINK_ERROR:
        return "link fault";
    case ZEFO5_BAD_COMMAND:
        return "command too long or holds a CR";
    }
    return "?";
}
