// The end of the firmware's data (fw_data_begin.cpp).
extern "C" {
char __fw_data_end[4] = {1, 1, 1, 1};
char __fw_bss_end[4];
}
