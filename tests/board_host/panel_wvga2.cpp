// WVGA build 2's panel configuration under its own name, for the touch tests of every build.
#define panelConfig panelConfigWvga2
#include "config/wvga2.cpp"
