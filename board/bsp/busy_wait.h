// The polling forms of the busy waits of bsp.h, for boards that define the waits themselves and
// still need the plain behaviour (the simulated board's reference runs).
#pragma once

#include <stdint.h>

void bsp_timer_wait_polling(uint32_t counts);
void bsp_uart_wait_tx_ready_polling(int port);
void bsp_uart_wait_tx_empty_polling(int port);
