// Charts, level bars and scrolling text boxes.
#pragma once

void QV_Chart_Init(void);
void QV_LevelBar_Init(void);
