// The firmware's data, for the watchdog reset's restore (session.cpp), in a build without linker
// scripts: the linker lays out initialised and zeroed data in the order of its input files, and the
// firmware's objects are linked whole between this file and fw_data_end.cpp.
extern "C" {
char __fw_data_start[4] = {1, 1, 1, 1};
char __fw_bss_start[4];
}
