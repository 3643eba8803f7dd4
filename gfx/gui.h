// Graphics library entry points used by the start-up and the main loop.
#pragma once

void GUI_Init(void);
