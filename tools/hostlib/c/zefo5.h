/* zefo5: the host side of a ZEFO5 display's serial line, for a microcontroller or a PC.
 *
 * C99, no heap, no operating system: the caller owns the `zefo5` state (496 bytes on a 32-bit
 * microcontroller, whose code takes about 2.7 KB of Thumb) and hands it two functions, one that
 * writes bytes to the UART and one that waits a bounded time for one received byte. Everything else (framing,
 * CRC frames, RS485 addresses, XON/XOFF, reply and report parsing) happens here. A host whose UART is
 * interrupt-driven may instead push each received byte into `zefo5_feed` and look at what it returns.
 *
 *     zefo5 z;
 *     zefo5_init(&z, &io);
 *     char reply[64];
 *     if (zefo5_command(&z, "vers", reply, sizeof reply, 500) == ZEFO5_OK) ... reply is "ZEFO5 ...\r"
 *     zefo5_event ev;
 *     while (zefo5_poll(&z, &ev, 100) == 1) ... ev.kind == ZEFO5_EV_PRESS, ev.spot == 130
 */
#ifndef ZEFO5_HOST_H
#define ZEFO5_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZEFO5_COMMAND_MAX 130                             /* command text a line may carry before its CR */
#define ZEFO5_FRAME_MAX   (3 + 5 + ZEFO5_COMMAND_MAX + 1) /* RS485 address, CRC frame, text, CR */
#define ZEFO5_LINE_KEEP   160 /* characters kept of one received line (longer ones are cut) */
#define ZEFO5_EVENT_QUEUE 16  /* reports held while a command waits for its reply */

#define ZEFO5_XON  0x11
#define ZEFO5_XOFF 0x13

/* The link. `write` returns 0 once every byte is on its way; `read` waits at most timeout_ms for one
 * byte and returns 1 with it, 0 on time-out, negative on a fault of the link. */
typedef struct zefo5_io {
    int (*write)(void *ctx, const uint8_t *bytes, size_t n);
    int (*read)(void *ctx, uint8_t *byte, uint32_t timeout_ms);
    void *ctx;
} zefo5_io;

/* How a command ended: the display's last line, or why none came. */
typedef enum zefo5_status {
    ZEFO5_OK = 0,      /* ">": done */
    ZEFO5_FAILED,      /* "!": unknown command, bad arguments or failure */
    ZEFO5_CRC_ERROR,   /* "#": the CRC frame did not match (or "*IERR") */
    ZEFO5_OVERFLOW,    /* "^": the display's receive ring overflowed; the line was lost */
    ZEFO5_RX_ERROR,    /* "?": a framing or parity error on the line */
    ZEFO5_NO_PROMPT,   /* RS485: a reply that stood for the prompt, then silence */
    ZEFO5_TIMEOUT,     /* nothing came for timeout_ms */
    ZEFO5_LINK_ERROR,  /* the io functions failed */
    ZEFO5_BAD_COMMAND, /* the text is too long or holds a CR: never sent */
} zefo5_status;

typedef enum zefo5_event_kind {
    ZEFO5_EV_NONE = 0,
    ZEFO5_EV_PRESS,       /* "x%d" / 'X' n */
    ZEFO5_EV_PRESS_XY,    /* "x%d %d %d" / 'Y' n x y: x, y relative to the area's corner */
    ZEFO5_EV_RELEASE,     /* "r%d" / 'R' n */
    ZEFO5_EV_TOGGLE,      /* "s%d %d" / 'S' n state: value = new state */
    ZEFO5_EV_SLIDER,      /* "l%d:%d" / 'L' n value */
    ZEFO5_EV_MACRO_START, /* "m%d" / 'M' n ("*macnote"): spot = macro number */
    ZEFO5_EV_MACRO_END,   /* "e%d" / 'E' n */
} zefo5_event_kind;

typedef struct zefo5_event {
    zefo5_event_kind kind;
    uint8_t spot; /* hotspot (or macro) number */
    int32_t value;
    int32_t x, y;
} zefo5_event;

/* What one received line is. */
typedef enum zefo5_line_kind {
    ZEFO5_LINE_STATUS,  /* ">", "!", "#", "^" or "?" alone */
    ZEFO5_LINE_MESSAGE, /* text for a person, ":..." */
    ZEFO5_LINE_EVENT,   /* a report */
    ZEFO5_LINE_VALUE,   /* anything else: the answer of a query */
} zefo5_line_kind;

/* What zefo5_feed made of one byte. */
typedef enum zefo5_feed_result {
    ZEFO5_FEED_NOTHING = 0, /* inside a line, or a flow-control byte */
    ZEFO5_FEED_LINE,        /* a line ended: z->line, z->line_length (without CR), z->line_kind;
                             * z->line_ends_reply: z->status followed it */
    ZEFO5_FEED_STATUS,      /* a status line ended: z->status */
    ZEFO5_FEED_EVENT,       /* a report ended (text or byte form): z->event */
} zefo5_feed_result;

typedef struct zefo5 {
    zefo5_io io;
    /* settings, changed by the functions below */
    uint8_t crc;             /* 1: every command goes out in a CRC frame */
    uint8_t binary_reports;  /* 1: reports come in byte form ("*binr 1") */
    uint8_t rs485;           /* 1: lines carry the address, replies the prefix */
    char sof;                /* RS485 start-of-frame character */
    uint8_t address;         /* RS485 address of the display spoken to */
    uint32_t rs485_quiet_ms; /* RS485: silence that ends a reply without prompt (default 30) */
    /* receive state */
    uint8_t paused; /* the display sent XOFF and no XON yet */
    char line[ZEFO5_LINE_KEEP + 1];
    size_t line_length;   /* characters kept */
    size_t line_received; /* characters received (more than kept when cut) */
    zefo5_line_kind line_kind;
    uint8_t line_ends_reply; /* the line ended in its reply's status (replies without CR) */
    zefo5_status status;
    zefo5_event event;
    uint8_t bin[6]; /* a report in byte form being received */
    uint8_t bin_length, bin_need;
    uint8_t prefix_left; /* RS485 prefix characters still to strip from this line */
    zefo5_event queue[ZEFO5_EVENT_QUEUE];
    uint8_t queue_head, queue_count;
    uint32_t events_lost;      /* reports dropped because the queue was full */
    uint16_t early;            /* status lines that came while sending: answers to lines sent before */
    zefo5_status early_status; /* the worst of them */
} zefo5;

void zefo5_init(zefo5 *z, const zefo5_io *io);
void zefo5_set_crc(zefo5 *z, int on);
void zefo5_set_binary_reports(zefo5 *z, int on);
/* RS485: address every line to `address` behind start-of-frame `sof`; off with rs485_off. */
void zefo5_set_rs485(zefo5 *z, char sof, uint8_t address);
void zefo5_rs485_off(zefo5 *z);

/* CRC-16/MODBUS (reflected 0xA001), continued from seed; start with 0xFFFF. */
uint16_t zefo5_crc16(const uint8_t *bytes, size_t n, uint16_t seed);

/* The bytes of one command line as the settings ask: [SOF hi lo] [~CRC] text CR. Returns their
 * count, 0 when the text is longer than ZEFO5_COMMAND_MAX, holds a CR or does not fit in size. */
size_t zefo5_frame(const zefo5 *z, const char *text, uint8_t *out, size_t size);

/* What a received line (without CR) is; fills *event for a report, *status for a status line. */
zefo5_line_kind zefo5_classify(const char *text, size_t n, zefo5_event *event, zefo5_status *status);
/* A report in byte form: the length its lead byte announces (2 to 6), 0 when b leads none. */
size_t zefo5_binary_report_length(uint8_t b);
/* Decodes a complete byte-form report. Returns 1 on success. */
int zefo5_binary_report(const uint8_t *bytes, size_t n, zefo5_event *event);

/* Byte-in: one received byte. XON and XOFF are taken here (outside RS485 mode). */
zefo5_feed_result zefo5_feed(zefo5 *z, uint8_t b);

/* Sends text (a line without CR, framed as set) honouring XOFF, then collects the reply: value lines
 * and messages go to reply (each ended by CR as the display sends them, cut to fit, NUL-terminated;
 * reply may be NULL), reports meanwhile go to the event queue. timeout_ms is the longest silence. */
zefo5_status zefo5_command(zefo5 *z, const char *text, char *reply, size_t reply_size, uint32_t timeout_ms);
/* Waits for the prompt the display sends once it has started, or for the answer to a line sent
 * with zefo5_send (answers that came while later lines were still being sent are counted and
 * returned first), dropping the lines before it; reports meanwhile are queued. */
zefo5_status zefo5_wait_ready(zefo5 *z, uint32_t timeout_ms);
/* Sends text without waiting for anything (for example to start a macro that loops). */
zefo5_status zefo5_send(zefo5 *z, const char *text, uint32_t timeout_ms);
/* Sends raw bytes (a binary transfer's data) honouring XOFF. */
zefo5_status zefo5_send_bytes(zefo5 *z, const uint8_t *bytes, size_t n, uint32_t timeout_ms);

/* The next report: from the queue, else from the line within timeout_ms of silence. Lines that
 * are not reports are skipped. Returns 1 with *event, 0 when none came, negative on a link fault. */
int zefo5_poll(zefo5 *z, zefo5_event *event, uint32_t timeout_ms);

/* RS485 discovery: asks the displays whose address has high digit `high` (0..15) to answer; fills
 * up to max addresses heard before quiet_ms of silence. Returns their count, negative on a fault. */
int zefo5_discover(zefo5 *z, uint8_t high, uint8_t *addresses, int max, uint32_t quiet_ms);

const char *zefo5_status_text(zefo5_status s);

#ifdef __cplusplus
}
#endif

#endif
