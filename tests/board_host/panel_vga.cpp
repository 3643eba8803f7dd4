// The VGA build's panel configuration under its own name, for the touch tests of every build.
#define panelConfig panelConfigVga
#include "config/vga.cpp"
