// The command catalogue, in test order. The order is binding: the first row whose test accepts the
// line handles it, so a shorter prefix must never stand before a longer keyword it would capture
// ("tfd" before "tf", "xmpmax" before "xm", "cdbb" before "cd", "zs" before "z", "*LOADF" before
// "*LOAD").
#include "app/catalogue.h"

#include <string.h>

#include "app/commands.h"
#include "serial/rs485.h"
#include "serial/serial.h"

static bool rs485Only(const char *line) {
    return rs485Active() && strcmp(line, "Q") == 0;
}

const char macroCallPattern[] = "m%d";

// A macro call: m and a number, m and white space, or the binary call 0x82 'M' index.
static bool macroCall(const char *line) {
    const unsigned char *u = (const unsigned char *)line;
    if (u[0] == 0x82) return u[1] == 'M';
    if (u[0] != 'm') return false;
    if (u[1] == ' ' || u[1] == '\t' || u[1] == '\n' || u[1] == '\v' || u[1] == '\f' || u[1] == '\r')
        return true;
    return catalogueScanCount(line, macroCallPattern) == 1;
}

#define EXACT(k, h)                                                                                          \
    { k, TEST_EXACT, 0, 0, nullptr, nullptr, h }
#define PREFIX(k, len, h)                                                                                    \
    { k, TEST_PREFIX, len, 0, nullptr, nullptr, h }
#define CHARS(k, len, h)                                                                                     \
    { k, TEST_CHARS, len, 0, nullptr, nullptr, h }
#define CHARS_SCAN(k, len, pat, lo, hi, h)                                                                   \
    { k, TEST_CHARS, lo, hi, pat, nullptr, h }
#define PATTERN(p, lo, hi, h)                                                                                \
    { p, TEST_PATTERN, lo, hi, nullptr, nullptr, h }
#define SPECIAL(k, fn, h)                                                                                    \
    { k, TEST_SPECIAL, 0, 0, nullptr, fn, h }

// clang-format off
constexpr CatalogueRow commandCatalogue[] = {
    // meters, touch trace, pixels
    PREFIX("md ", 3, cmd_md),
    PREFIX("mdb ", 4, cmd_mdb),
    PATTERN("mv %d %d", 2, 2, cmd_mv),
    PATTERN("mvb %d %d %d %d %d %d %3s %3s", 2, 8, cmd_mvb),
    EXACT("tclr", cmd_tclr),
    CHARS_SCAN("pr", 2, "%*s %d %d", 2, 2, cmd_pr),
    CHARS_SCAN("pw", 2, "%*s %d %d %x", 2, 3, cmd_pw),
    SPECIAL("Q", rs485Only, cmd_Q),
    PREFIX("*rs485", 6, cmd_sys_rs485),
    // graphics state
    EXACT("ss", cmd_ss),
    EXACT("sr", cmd_sr),
    // animations and flashing text
    PREFIX("anic", 4, cmd_anic),
    PREFIX("tfc", 3, cmd_tfc),
    PATTERN("tfd %d %d", 2, 2, cmd_tfd),
    PATTERN("anid %d %d", 1, 2, cmd_anid),
    PATTERN("anix %d", 1, 1, cmd_anix),
    PATTERN("tfx %d", 1, 1, cmd_tfx),
    PREFIX("anis", 4, cmd_anis),
    PREFIX("tfs", 3, cmd_tfs),
    PATTERN("tfe %d", 1, 1, cmd_tfe),
    PATTERN("anie %d", 1, 1, cmd_anie),
    PREFIX("ani ", 4, cmd_ani),
    PREFIX("ani+ ", 5, cmd_aniplus),
    PATTERN("tf %d%d", 1, 2, cmd_tf),
    PREFIX("tf?", 3, cmd_tfq),
    PREFIX("ani?", 4, cmd_aniq),
    PREFIX("agifd", 5, cmd_agifd),
    PREFIX("agif", 4, cmd_agif),
    // text
    PREFIX("tu ", 3, cmd_tu),
    PREFIX("t? \"", 4, cmd_tq),
    PREFIX("ts", 2, cmd_ts),
    PREFIX("t ", 2, cmd_t),
    PREFIX("T \"", 3, cmd_T),
    // scrolling text boxes
    PREFIX("std", 3, cmd_std),
    PREFIX("stc", 3, cmd_stc),
    PREFIX("sta", 3, cmd_sta),
    PREFIX("stp", 3, cmd_stp),
    // polygons and polylines
    PREFIX("pgr", 3, cmd_pgr),
    PREFIX("pg", 2, cmd_pg),
    PREFIX("pfr", 3, cmd_pfr),
    PREFIX("pf", 2, cmd_pf),
    PATTERN("ppgr %d", 1, 1, cmd_ppgr),
    PREFIX("plr", 3, cmd_plr),
    PREFIX("pl", 2, cmd_pl),
    PATTERN("p %u", 1, 1, cmd_p),
    EXACT("p", cmd_p),
    PREFIX("ta", 2, cmd_ta),
    // accepted for older hosts
    PATTERN("sb %d", 1, 1, cmd_sb),
    EXACT("su", cmd_su),
    PATTERN("SB %c%c%c", 3, 3, cmd_SB),
    EXACT("SU", cmd_SU),
    PATTERN("*debug %d", 1, 1, cmd_sys_debug),
    // serial rates, temperature, touch settings
    PREFIX("baudp", 5, cmdBaud),
    PREFIX("bauds", 5, cmdBaud),
    PREFIX("baud", 4, cmdBaud),
    PREFIX("temp", 4, cmd_temp),
    PREFIX("typematic", 9, cmd_typematic),
    PREFIX("*touchParm", 10, cmd_sys_touchParm),
    PREFIX("*debounce", 9, cmd_sys_debounce),
    PREFIX("ls", 2, cmd_ls),
    PREFIX("xbl on", 6, cmd_xbl_on),
    PREFIX("xbl of", 6, cmd_xbl_of),
    // macros and variables
    PREFIX("xa", 2, cmd_xa),
    PREFIX("set", 3, cmd_set),
    PREFIX("get", 3, cmd_get),
    PREFIX("mpush", 5, cmd_mpush),
    PREFIX("mpop", 4, cmd_mpop),
    SPECIAL("m", macroCall, cmd_m),
    // stored bitmaps and images
    PATTERN("xi %d%d%d", 3, 3, cmd_xi),
    PREFIX("xif ", 4, cmd_xif),
    PATTERN("xit %d%d%d%x", 4, 4, cmd_xit),
    PATTERN("xim %d%d%d", 3, 3, cmd_xim),
    PATTERN("xic %d%d%d%d%d%d%d", 7, 7, cmd_xic),
    PATTERN("xio %d%d%d%d%d%d", 6, 6, cmd_xio),
    // data flash and uploads
    PREFIX("xma", 3, cmd_xma),
    PREFIX("xmc", 3, cmd_xmc),
    PATTERN("xmp %x %x %d", 3, 3, cmd_xmp),
    EXACT("xmpmax", cmd_xmpmax),
    EXACT("fopen", cmd_fopen),
    PREFIX("xm", 2, cmd_xm),
    PATTERN("bdld %d %lx %ld %ld", 4, 4, cmd_bdld),
    // configuration EEPROM
    PREFIX("*eer", 4, cmd_sys_eer),
    PREFIX("*eew", 4, cmd_sys_eew),
    PREFIX("*eed", 4, cmd_sys_eed),
    PREFIX("*eec", 4, cmd_sys_eec),
    PREFIX("*ees", 4, cmd_sys_ees),
    // beeper
    PATTERN("beep %u", 1, 1, cmd_beep),
    PATTERN("beepw %u", 1, 1, cmd_beepw),
    PATTERN("al %d %u", 2, 2, cmd_al),
    PREFIX("bv", 2, cmd_bv),
    PREFIX("bf", 2, cmd_bf),
    PREFIX("*spkr", 5, cmd_sys_spkr),
    PATTERN("bMaX %u", 1, 1, cmd_bMaX),
    PATTERN("bb %u", 1, 1, cmd_bb),
    PATTERN("rb %u %u %d", 2, 3, cmd_rb),
    // drawing state
    PATTERN("dp %d %d", 2, 2, cmd_dp),
    CHARS("d", 1, cmd_d),
    PATTERN("s %d %d", 2, 2, cmd_s),
    EXACT("S", cmd_S),
    PATTERN("S %x %x", 2, 2, cmd_S),
    PREFIX("tm", 2, cmd_tm),
    PREFIX("sc", 2, cmd_sc),
    // host and aux output
    PREFIX("out", 3, cmdOut),
    PREFIX("aout", 4, cmdAout),
    PREFIX("ain", 3, cmdAin),
    PREFIX("auxIO", 5, cmdAuxIO),
    CHARS("o", 1, cmd_o),
    PREFIX("v on", 4, cmd_v_on),
    PREFIX("v of", 4, cmd_v_of),
    // screen and shapes
    PREFIX("zs", 2, cmd_zs),
    PREFIX("z", 1, cmd_z),
    PATTERN("l %d%d%d%d", 4, 4, cmd_l),
    CHARS("r", 1, cmd_r),
    CHARS("tr", 2, cmd_tr),
    PATTERN("a %d%d %d %d%d", 5, 5, cmd_a), // handlers that go on testing resume here
    PATTERN("ef %d%d%d%d", 4, 4, cmd_ef),
    PATTERN("e %d%d%d%d", 4, 4, cmd_e),
    PATTERN("c %d%d%d", 3, 3, cmd_c),
    // fonts
    EXACT("f", cmd_f),
    EXACT("f?", cmd_fq),
    PATTERN("f %9s", 1, 1, cmd_f),
    // hotspots and buttons
    PATTERN("x %d %d %d %d %d", 5, 5, cmd_x),
    PATTERN("xs %d %d %d %d %d", 5, 5, cmd_xs),
    PATTERN("xsnb %d %d %d %d %d", 5, 5, cmd_xsnb),
    PATTERN("xt %d %d %d %d %d", 5, 5, cmd_xt),
    PATTERN("xst %d %d %d %d %d", 5, 5, cmd_xst),
    PATTERN("xxy %d %d %d %d %d", 5, 5, cmd_xxy),
    PATTERN("xxynb %d %d %d %d %d", 5, 5, cmd_xxynb),
    PATTERN("xset %d %c%c", 2, 3, cmd_xset),
    PREFIX("xd", 2, cmd_xd),
    PREFIX("xe", 2, cmd_xe),
    PREFIX("touch", 5, cmd_touch),
    PREFIX("*tsm", 4, cmd_sys_tsm),
    PREFIX("*apt", 4, cmd_sys_apt),
    EXACT("*xn off", cmd_sys_xn_off),
    PREFIX("xc all", 6, cmd_xc_all),
    PATTERN("xc %d", 1, 1, cmd_xc),
    PREFIX("*STATE", 6, cmd_sys_STATE), // "*STATEF" too
    PATTERN("led %9s", 1, 1, cmd_led),
    PATTERN("w %u", 1, 1, cmd_w),
    PREFIX("vers", 4, cmd_vers),
    PATTERN("i %d%d%d", 3, 3, cmd_i),
    PATTERN("ssb %d %d", 1, 2, cmd_ssb),
    PATTERN("bd %d%d%d%d", 4, 4, cmd_bd),
    PATTERN("bdc %d%d%d%d", 4, 4, cmd_bdc),
    PATTERN("bc %d", 1, 1, cmd_bc),
    PREFIX("tc", 2, cmd_tc),
    PATTERN("sl %d %d %d %d %d %d %d %d %d %d %d", 11, 11, cmd_sl),
    PATTERN("sv %d %d", 2, 2, cmd_sv),
    PATTERN("slc %d %d %d %d %d %d %d %d %d %d %d %d %d %d %d", 15, 15, cmd_slc),
    PATTERN("svc %d %d", 2, 2, cmd_svc),
    EXACT("*getTouch", cmd_sys_getTouch),
    PREFIX("xbb", 3, cmd_xbb),
    // macro engine and system settings
    PATTERN("*macdebug %d", 1, 1, cmd_sys_macdebug),
    PATTERN("*binr %d", 1, 1, cmdBinr),
    PREFIX("*macnote", 8, cmd_sys_macnote),
    PREFIX("*DEMOMAC", 8, cmd_sys_DEMOMAC),
    PREFIX("*PONMAC", 7, cmd_sys_PONMAC),
    PREFIX("*SPL", 4, cmd_sys_SPL),
    PREFIX("*MFGRESET", 9, cmd_sys_MFGRESET),
    PREFIX("*RESET", 6, cmd_sys_RESET),
    PATTERN("*FB %d", 1, 1, cmd_sys_FB),
    EXACT("*CRC", cmd_sys_CRC),
    EXACT("*CSUM", cmd_sys_CSUM),
    EXACT("*CSUMB", cmd_sys_CSUMB),
    PREFIX("*CEXT", 5, cmd_sys_CEXT),
    EXACT("*QV", cmd_sys_QV),
    EXACT("*ever", cmd_sys_ever),
    EXACT("*prevCons", cmdPrevCons),
    PREFIX("*auxEsc", 7, cmdAuxEsc),
    PREFIX("*com1main", 9, cmdCom1Main),
    PREFIX("*com0main", 9, cmdCom0Main),
    PATTERN("*debugTouch %d", 1, 1, cmd_sys_debugTouch),
    PREFIX("utf8", 4, cmd_utf8),
    EXACT("*rst", cmd_sys_rst),
    EXACT("*SERR", cmd_sys_SERR),
    EXACT("*IERR", cmd_sys_IERR),
    EXACT("*BMOFF", cmdBMOFF),
    // charts and level bars
    PREFIX("cc", 2, cmd_cc),
    PREFIX("cr", 2, cmd_cr),
    PREFIX("cdbb", 4, cmd_cdbb),
    PREFIX("cdbc", 4, cmd_cdbc),
    PREFIX("cdp", 3, cmd_cdp),
    PREFIX("cddm", 4, cmd_cddm),
    PREFIX("cdrm", 4, cmd_cdrm),
    PREFIX("cdb", 3, cmd_cdb),
    PREFIX("cd", 2, cmd_cd),
    CHARS("cv", 2, cmd_cv),
    PREFIX("bcv", 3, cmd_bcv),
    PREFIX("ld", 2, cmd_ld),
    PATTERN("lv %d %d", 2, 2, cmd_lv),
    // panel
    PREFIX("wvr", 3, cmd_wvr),
    PREFIX("wrf", 3, cmd_wrf),
    PATTERN("k %d%d%d%d %d%9s", 6, 6, cmd_k),
    EXACT("*panel", cmd_sys_panel),
    PREFIX("*config", 7, cmd_sys_config), // "*config \"" too
    PREFIX("*touchSwap", 10, cmd_sys_touchSwap),
    EXACT("*tt", cmd_sys_tt),
    EXACT("*ttt", cmd_sys_ttt),
    PREFIX("*touchadj", 9, cmd_sys_touchadj),
    EXACT("*td", cmd_sys_td),
    EXACT("*tr", cmd_sys_tr),
    EXACT("*td2", cmd_sys_td2),
    PREFIX("*gcp", 4, cmd_sys_gcp),
    PATTERN("*R16 %x", 1, 1, cmd_sys_R16),
    PREFIX("*R", 2, cmd_sys_R),
    PATTERN("*W %x %x", 2, 2, cmd_sys_W),
    PREFIX("*orient", 7, cmd_sys_orient),
    PREFIX("*autoCal", 8, cmd_sys_autoCal),
    PREFIX("*tspan", 6, cmd_sys_tspan),
    PREFIX("*tplo", 5, cmd_sys_tplo),
    PREFIX("*tphi", 5, cmd_sys_tphi),
    PREFIX("*tpDeltaLim", 11, cmd_sys_tpDeltaLim),
    PREFIX("*tsamp", 6, cmd_sys_tsamp),
    PREFIX("*tcTimeout", 10, cmd_sys_tcTimeout),
    PREFIX("*vq", 3, cmd_sys_vq),
    PREFIX("*maxBrite", 9, cmd_sys_maxBrite),
    PREFIX("*minBrite", 9, cmd_sys_minBrite),
    PREFIX("*invEnaHiTrue", 13, cmd_sys_invEnaHiTrue),
    PREFIX("*pwmIsEnable", 12, cmd_sys_pwmIsEnable),
    PREFIX("*touchMode", 10, cmd_sys_touchMode),
    EXACT("*getScreenAsBMPFile", cmd_sys_getScreenAsBMPFile),
    EXACT("*getConfigAsFile", cmd_sys_getConfigAsFile),
    PREFIX("*comwdt", 7, cmd_sys_comwdt),
    PREFIX("*firmware", 9, cmd_sys_firmware),
    PREFIX("*hpw", 4, cmd_sys_hpw),
    PREFIX("*hfp", 4, cmd_sys_hfp),
    PREFIX("*hbp", 4, cmd_sys_hbp),
    PREFIX("*vpw", 4, cmd_sys_vpw),
    PREFIX("*vfp", 4, cmd_sys_vfp),
    PREFIX("*vbp", 4, cmd_sys_vbp),
    PREFIX("*paneladj", 9, cmd_sys_paneladj),
    CHARS("//", 2, cmd_comment),
    PREFIX("*speedtest", 10, cmd_sys_speedtest),
    // resource image and SD card
    EXACT("*LOADF", cmd_sys_LOADF),
    EXACT("*loadf", cmd_sys_LOADF),
    PREFIX("*LOAD", 5, cmd_sys_LOAD),
    PREFIX("*load", 5, cmd_sys_LOAD),
    PATTERN("*sdled %d", 1, 1, cmd_sys_sdled),
    PATTERN("*sdload %16s", 1, 1, cmd_sys_sdload),
    PATTERN("*cd %16s", 1, 1, cmd_sys_cd),
    PREFIX("*ls", 3, cmd_sys_ls),
    PATTERN("i2c read %x", 1, 1, cmd_i2c_read),
    PATTERN("i2c write %x %x", 2, 2, cmd_i2c_write),
    // memory
    PREFIX("*memTest", 8, cmd_sys_memTest),
    PREFIX("*dumpmb", 7, cmd_sys_dumpmb),
    PREFIX("*dumpml", 7, cmd_sys_dumpml),
    PREFIX("*ctype", 6, cmd_sys_ctype),
};
// clang-format on

const uint16_t commandCatalogueSize = sizeof commandCatalogue / sizeof commandCatalogue[0];

// ---- the dispatch index ------------------------------------------------------------------------
// Built at compile time from the table: for each first byte, the rows whose keyword starts with it,
// in table order, with the keyword's second literal character (0: any) and the length of its
// literal part. A row whose literal part disagrees with the line cannot accept it, so the walk
// skips such rows without running their test, and a pattern's scan runs only once its literal
// part has matched. The first accepting row in table order still wins.
namespace {

constexpr uint16_t ROWS = sizeof commandCatalogue / sizeof commandCatalogue[0];

constexpr bool scanBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The characters a line must start with for the row to accept it.
constexpr uint8_t literalLength(const CatalogueRow &row) {
    uint8_t n = 0;
    switch (row.test) {
    case TEST_PREFIX:
        return row.n;
    case TEST_EXACT:
    case TEST_CHARS:
        while (row.key[n]) n++;
        return n;
    case TEST_PATTERN:
        while (row.key[n] && row.key[n] != '%' && !scanBlank(row.key[n])) n++;
        return n;
    case TEST_SPECIAL: // its own test; binary lines meet these rows too
        return 1;
    }
    return 0;
}

// Binary lines (lead byte 0x82, the binary macro call) meet the rows with a test of their own.
constexpr uint8_t BINARY_LEAD = 0x82;

struct IndexEntry {
    uint16_t row;
    char second;    // the keyword's second character, 0 when any will do
    uint8_t length; // literal part
};

constexpr uint16_t countSpecial() {
    uint16_t n = 0;
    for (const CatalogueRow &row : commandCatalogue) n += row.test == TEST_SPECIAL;
    return n;
}

constexpr uint16_t ENTRIES = ROWS + countSpecial();

struct DispatchIndex {
    uint16_t start[257]; // entries of first byte b: [start[b], start[b + 1])
    IndexEntry entries[ENTRIES];
    uint16_t resumeRow;
};

constexpr bool inBucket(const CatalogueRow &row, unsigned b) {
    if (row.test == TEST_SPECIAL && b == BINARY_LEAD) return true;
    return (uint8_t)row.key[0] == b;
}

constexpr DispatchIndex buildIndex() {
    DispatchIndex x{};
    uint16_t n = 0;
    for (unsigned b = 0; b < 256; b++) {
        x.start[b] = n;
        for (uint16_t i = 0; i < ROWS; i++) {
            const CatalogueRow &row = commandCatalogue[i];
            if (!inBucket(row, b)) continue;
            uint8_t length = (uint8_t)row.key[0] == b ? literalLength(row) : 0;
            x.entries[n++] = IndexEntry{i, length >= 2 ? row.key[1] : (char)0, length};
        }
    }
    x.start[256] = n;
    x.resumeRow = ROWS;
    for (uint16_t i = 0; i < ROWS; i++) {
        const CatalogueRow &row = commandCatalogue[i];
        if (row.test == TEST_PATTERN && row.key[0] == 'a' && row.key[1] == ' ') { // the arc row
            x.resumeRow = i;
            break;
        }
    }
    return x;
}

constexpr DispatchIndex dispatchIndex = buildIndex();
static_assert(dispatchIndex.start[256] == ENTRIES, "every row is in the index");
static_assert(dispatchIndex.resumeRow < ROWS, "the rows of the drawing group resume at the arc row");

// Buckets of more rows than this ('*' has about 90) get a second level by the line's second byte:
// each of its lists holds, in table order, the rows whose second literal character is that byte
// and the rows that take any second character.
constexpr uint16_t BIG_BUCKET = 16;

constexpr uint16_t bucketSize(unsigned b) {
    return (uint16_t)(dispatchIndex.start[b + 1] - dispatchIndex.start[b]);
}

constexpr unsigned countBig() {
    unsigned n = 0;
    for (unsigned b = 0; b < 256; b++) n += bucketSize(b) > BIG_BUCKET;
    return n;
}

constexpr bool agrees(const IndexEntry &e, unsigned second) {
    return e.second == 0 || (uint8_t)e.second == second;
}

constexpr unsigned countPairEntries() {
    unsigned n = 0;
    for (unsigned b = 0; b < 256; b++) {
        if (bucketSize(b) <= BIG_BUCKET) continue;
        for (unsigned c = 0; c < 256; c++)
            for (uint16_t k = dispatchIndex.start[b]; k < dispatchIndex.start[b + 1]; k++)
                n += agrees(dispatchIndex.entries[k], c);
    }
    return n;
}

constexpr unsigned BIGS = countBig();
constexpr unsigned PAIR_ENTRIES = countPairEntries();
static_assert(BIGS > 0 && PAIR_ENTRIES < 65536, "the second level fits its 16-bit positions");

struct PairIndex {
    uint8_t big[256]; // 0: the bucket of this first byte has no second level; else its number + 1
    uint16_t start[BIGS][257];
    IndexEntry entries[PAIR_ENTRIES];
};

constexpr PairIndex buildPairIndex() {
    PairIndex x{};
    unsigned n = 0, id = 0;
    for (unsigned b = 0; b < 256; b++) {
        if (bucketSize(b) <= BIG_BUCKET) continue;
        x.big[b] = (uint8_t)(id + 1);
        for (unsigned c = 0; c < 256; c++) {
            x.start[id][c] = (uint16_t)n;
            for (uint16_t k = dispatchIndex.start[b]; k < dispatchIndex.start[b + 1]; k++)
                if (agrees(dispatchIndex.entries[k], c)) x.entries[n++] = dispatchIndex.entries[k];
        }
        x.start[id][256] = (uint16_t)n;
        id++;
    }
    return x;
}

constexpr PairIndex pairIndex = buildPairIndex();

} // namespace

const uint16_t catalogueResumeRow = dispatchIndex.resumeRow;

uint16_t catalogueFind(const char *line, uint16_t from) {
    const unsigned char first = (unsigned char)line[0];
    const IndexEntry *e, *end;
    if (uint8_t big = pairIndex.big[first]) {
        const uint16_t *start = pairIndex.start[big - 1];
        const unsigned char second = (unsigned char)line[1];
        e = pairIndex.entries + start[second];
        end = pairIndex.entries + start[second + 1];
    } else {
        e = dispatchIndex.entries + dispatchIndex.start[first];
        end = dispatchIndex.entries + dispatchIndex.start[first + 1];
    }
    for (; e < end; e++) {
        if (e->row < from) continue;
        if (e->second && e->second != line[1]) continue;
        const CatalogueRow &row = commandCatalogue[e->row];
        if (e->length > 2 && strncmp(line + 2, row.key + 2, e->length - 2u) != 0) continue;
        if (row.test == TEST_PATTERN) { // the scan goes on after the literal part just compared
            int count = catalogueScanCount(line + e->length, row.key + e->length);
            if (count >= row.n && count <= row.nmax) return e->row;
            continue;
        }
        if (catalogueRowMatches(row, line)) return e->row;
    }
    return ROWS;
}

// The conversions the catalogue's patterns use: literals, blanks, and %d %u %x %s %c with an
// optional '*', width (strings only) and 'l' or 'h'. Checked at compile time for every row, so a
// pattern the matcher below does not decide exactly cannot enter the table.
static constexpr bool scanPatternSupported(const char *p) {
    for (; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '*') p++;
        bool width = false;
        while (*p >= '0' && *p <= '9') p++, width = true;
        while (*p == 'l' || *p == 'h') p++;
        if (*p == 's') continue;
        if (width || (*p != 'd' && *p != 'u' && *p != 'x' && *p != 'c')) return false;
    }
    return true;
}

static constexpr bool everyPatternSupported() {
    for (const CatalogueRow &row : commandCatalogue) {
        if (row.test == TEST_PATTERN && !scanPatternSupported(row.key)) return false;
        if (row.test == TEST_CHARS && row.pattern && !scanPatternSupported(row.pattern)) return false;
    }
    return true;
}
static_assert(everyPatternSupported(), "every pattern uses only conversions the matcher decides");

// White space as scanf skips it: ' ' and '\t' to '\r', two compares a byte.
static bool inputBlank(unsigned char c) {
    return c == ' ' || (unsigned char)(c - '\t') <= '\r' - '\t';
}

static bool decimalDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

static bool hexDigit(unsigned char c) {
    return decimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// What sscanf(line, pattern, ...) returns, without converting anything: the values it would
// store, or -1 when the line ends before the first of them. Scanning every pattern row with the
// C library cost about a thousand instructions a row; this walk costs a few per character.
int catalogueScanCount(const char *line, const char *pattern) {
    const unsigned char *in = (const unsigned char *)line;
    int stored = 0;
    for (const char *f = pattern; *f; f++) {
        if (scanBlank(*f)) { // any amount of white space, none included
            while (inputBlank(*in)) in++;
            continue;
        }
        if (*f != '%') { // a literal character
            if (!*in) return stored ? stored : -1;
            if (*in != (unsigned char)*f) return stored;
            in++;
            continue;
        }
        f++;
        const bool store = *f != '*';
        if (!store) f++;
        unsigned width = 0;
        for (; decimalDigit((unsigned char)*f); f++) width = width * 10 + (unsigned)(*f - '0');
        while (*f == 'l' || *f == 'h') f++;
        if (*f != 'c')
            while (inputBlank(*in)) in++;
        if (!*in) return stored ? stored : -1;
        switch (*f) {
        case 'c':
            in++;
            break;
        case 's':
            for (unsigned n = 0; *in && !inputBlank(*in) && (width == 0 || n < width); n++) in++;
            break;
        default: { // d, u, x: an optional sign, then digits; x also takes a "0x" prefix
            const bool hex = *f == 'x';
            if (*in == '+' || *in == '-') in++;
            bool digits = false;
            if (hex && *in == '0') {
                in++;
                digits = true;
                if ((*in == 'x' || *in == 'X')) {
#if defined(__NEWLIB__)
                    // newlib gives the 'x' back when no hex digit follows it
                    if (hexDigit(in[1])) in++;
#else
                    in++;
#endif
                }
            }
            while (hex ? hexDigit(*in) : decimalDigit(*in)) in++, digits = true;
            if (!digits) return stored;
            break;
        }
        }
        stored += store;
    }
    return stored;
}

bool catalogueRowMatches(const CatalogueRow &row, const char *line) {
    switch (row.test) {
    case TEST_EXACT:
        return strcmp(line, row.key) == 0;
    case TEST_PREFIX:
        return strncmp(line, row.key, row.n) == 0;
    case TEST_CHARS: {
        size_t len = strlen(row.key);
        if (strncmp(line, row.key, len) != 0) return false;
        if (!row.pattern) return true;
        int count = catalogueScanCount(line, row.pattern);
        return count >= row.n && count <= row.nmax;
    }
    case TEST_PATTERN: {
        int count = catalogueScanCount(line, row.key);
        return count >= row.n && count <= row.nmax;
    }
    case TEST_SPECIAL:
        return row.special(line);
    }
    return false;
}
