// Every command handler of the catalogue, by the room that owns it. A handler takes the line
// (writable, not preserved) and returns the interpreter's result code (base/parse.h).
#pragma once

// The rooms below declare their own commands.
#include "macro/macro.h"
#include "resource/bitmap.h"
#include "resource/image_file.h"
#include "resource/resource.h"
#include "resource/upload.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/agif.h"
#include "touch/animation.h"
#include "touch/button.h"
#include "touch/calibrate.h"
#include "touch/hotspot.h"
#include "touch/sampler.h"

// ---- system commands (app/cmd_system.cpp)
int cmd_sb(char *line);
int cmd_su(char *line);
int cmd_SB(char *line);
int cmd_SU(char *line);
int cmd_vers(char *line);
int cmd_sys_debugTouch(char *line);
int cmd_sys_rst(char *line);
int cmd_sys_SERR(char *line);
int cmd_sys_IERR(char *line);
int cmd_comment(char *line);
int cmd_sys_speedtest(char *line);
int cmd_sys_ctype(char *line);
int cmd_sys_memTest(char *line);
int cmd_sys_dumpml(char *line);
int cmd_sys_dumpmb(char *line);
int cmd_sys_W(char *line);
int cmd_sys_R(char *line);
int cmd_sys_R16(char *line);
int cmd_sys_firmware(char *line);
int cmd_sys_CSUMB(char *line);
int cmd_sys_CSUM(char *line);
int cmd_sys_MFGRESET(char *line);
int cmd_sys_RESET(char *line);
int cmd_xmpmax(char *line);
int cmd_w(char *line);
int cmd_temp(char *line);

// ---- text commands (app/cmd_text.cpp)
int cmd_tu(char *line);
int cmd_tq(char *line);
int cmd_ts(char *line);
int cmd_t(char *line);
int cmd_T(char *line);
int cmd_ta(char *line);
int cmd_tm(char *line);
int cmd_sc(char *line);
int cmd_f(char *line);
int cmd_fq(char *line);
int cmd_utf8(char *line);

// ---- drawing and screen commands (app/cmd_draw.cpp, app/cmd_screen.cpp)
int cmd_pr(char *line);
int cmd_pw(char *line);
int cmd_ss(char *line);
int cmd_sr(char *line);
int cmd_pgr(char *line);
int cmd_pg(char *line);
int cmd_pfr(char *line);
int cmd_pf(char *line);
int cmd_ppgr(char *line);
int cmd_plr(char *line);
int cmd_pl(char *line);
int cmd_p(char *line);
int cmd_dp(char *line);
int cmd_d(char *line);
int cmd_s(char *line);
int cmd_S(char *line);
int cmd_o(char *line);
int cmd_zs(char *line);
int cmd_z(char *line);
int cmd_l(char *line);
int cmd_r(char *line);
int cmd_tr(char *line);
int cmd_a(char *line);
int cmd_ef(char *line);
int cmd_e(char *line);
int cmd_c(char *line);
int cmd_sys_STATE(char *line);
int cmd_i(char *line);
int cmd_sys_FB(char *line);
int cmd_sys_CRC(char *line);
int cmd_k(char *line);

// ---- resource image (app/cmd_resource.cpp)
int cmd_ls(char *line);
int cmd_sys_LOADF(char *line);
int cmd_sys_CEXT(char *line);
int cmd_sys_SPL(char *line);
int cmd_sys_LOAD(char *line);
int cmd_sys_sdload(char *line);

// ---- card and EEPROM maintenance, "currconf.txt" (app/cmd_card.cpp, app/config_file.cpp)
int cmd_fopen(char *line);
int cmd_sys_getScreenAsBMPFile(char *line);
int cmd_sys_getConfigAsFile(char *line);
int cmd_i2c_read(char *line);
int cmd_i2c_write(char *line);

// ---- beeper (app/cmd_beeper.cpp)
int cmd_beep(char *line);
int cmd_beepw(char *line);
int cmd_al(char *line);
int cmd_bv(char *line);
int cmd_bf(char *line);
int cmd_sys_spkr(char *line);
int cmd_bMaX(char *line);
int cmd_bb(char *line);
int cmd_rb(char *line);

// ---- charts (app/cmd_charts.cpp)
int cmd_cc(char *line);
int cmd_cr(char *line);
int cmd_cdbb(char *line);
int cmd_cdbc(char *line);
int cmd_cdp(char *line);
int cmd_cddm(char *line);
int cmd_cdrm(char *line);
int cmd_cdb(char *line);
int cmd_cd(char *line);
int cmd_cv(char *line);
int cmd_bcv(char *line);

// ---- binary download into the data flash (app/cmd_bdld.cpp); "xma", "xmc", "xmp" are in
// resource/upload.h
int cmd_bdld(char *line);
// 1 when all `length` bytes arrived and were programmed at `address`; the normal receive handler
// is back either way.
int doFlashBinDownload(uint32_t address, uint32_t length, uint32_t timeout);

// ---- level bars (app/cmd_level_bars.cpp)
int cmd_ld(char *line);
int cmd_lv(char *line);

// ---- scrolling text boxes (app/cmd_text_boxes.cpp)
int cmd_std(char *line);
int cmd_stc(char *line);
int cmd_sta(char *line);
int cmd_stp(char *line);

// ---- meters (app/cmd_meters.cpp)
int cmd_md(char *line);
int cmd_mdb(char *line);
int cmd_mv(char *line);
int cmd_mvb(char *line);

// ---- sliders (app/cmd_sliders.cpp)
int cmd_sl(char *line);
int cmd_sv(char *line);
int cmd_slc(char *line);
int cmd_svc(char *line);

// ---- not built yet (app/not_built.cpp): each answers "!\r" until its room lands
int cmd_Q(char *line);
int cmd_sys_rs485(char *line);
int cmd_xbl_on(char *line);
int cmd_xbl_of(char *line);
int cmd_v_on(char *line);
int cmd_v_of(char *line);
int cmd_led(char *line);
int cmd_xbb(char *line);
int cmd_wvr(char *line);
int cmd_wrf(char *line);
int cmd_sys_panel(char *line);
int cmd_sys_touchadj(char *line);
int cmd_sys_orient(char *line);
int cmd_sys_vq(char *line);
int cmd_sys_maxBrite(char *line);
int cmd_sys_minBrite(char *line);
int cmd_sys_invEnaHiTrue(char *line);
int cmd_sys_pwmIsEnable(char *line);
int cmd_sys_comwdt(char *line);
int cmd_sys_hpw(char *line);
int cmd_sys_hfp(char *line);
int cmd_sys_hbp(char *line);
int cmd_sys_vpw(char *line);
int cmd_sys_vfp(char *line);
int cmd_sys_vbp(char *line);
int cmd_sys_paneladj(char *line);
