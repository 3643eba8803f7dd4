// The UART busy waits in their polling form; as with the timer waits (timer_wait.cpp), a board may
// define the waits itself and keep these as its reference.
#include "board/bsp/busy_wait.h"

#include "board/bsp/bsp.h"

void bsp_uart_wait_tx_ready_polling(int port) {
    while (!bsp_uart_tx_ready(port)) {}
}

void bsp_uart_wait_tx_empty_polling(int port) {
    while (!bsp_uart_tx_empty(port)) {}
}

__attribute__((weak)) void bsp_uart_wait_tx_ready(int port) {
    bsp_uart_wait_tx_ready_polling(port);
}

__attribute__((weak)) void bsp_uart_wait_tx_empty(int port) {
    bsp_uart_wait_tx_empty_polling(port);
}
