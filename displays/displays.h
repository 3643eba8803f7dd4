// Data displays and controls drawn from data: charts, level bars, scrolling text boxes, meters,
// linear sliders.
#pragma once

#include "displays/chart.h"
#include "displays/level_bar.h"
#include "displays/meter.h"
#include "displays/slider.h"
#include "displays/text_box.h"
