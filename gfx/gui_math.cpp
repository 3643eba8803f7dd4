// Sine and cosine from plain arithmetic, so that rotated shapes have the same pixels on every target
// whatever its maths library does.
#include <math.h>

#include "gfx/gui_private.h"

void GUI__SinCos(double a, double *s, double *c) {
    const double halfPi = 1.57079632679489661923;
    double k = floor(a / halfPi + 0.5);
    double r = a - k * halfPi; // |r| <= pi/4 (up to rounding)
    double r2 = r * r;
    // Taylor series to the 17th / 16th power: below 1e-16 on [-pi/4, pi/4].
    double sn =
        r *
        (1 -
         r2 / 6 *
             (1 - r2 / 20 *
                      (1 - r2 / 42 *
                               (1 - r2 / 72 *
                                        (1 - r2 / 110 * (1 - r2 / 156 * (1 - r2 / 210 * (1 - r2 / 272))))))));
    double cs =
        1 -
        r2 / 2 *
            (1 -
             r2 / 12 *
                 (1 - r2 / 30 *
                          (1 - r2 / 56 * (1 - r2 / 90 * (1 - r2 / 132 * (1 - r2 / 182 * (1 - r2 / 240)))))));
    int32_t q = (int32_t)fmod(k, 4.0);
    if (q < 0) q += 4;
    switch (q) {
    case 0:
        *s = sn;
        *c = cs;
        break;
    case 1:
        *s = cs;
        *c = -sn;
        break;
    case 2:
        *s = -sn;
        *c = -cs;
        break;
    default:
        *s = -cs;
        *c = sn;
        break;
    }
}
