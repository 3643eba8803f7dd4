// Exception vectors, the reset handler and the interrupt entries of the ARM926EJ-S.
// The reset handler runs at power-up and again after a restart through the watchdog: it copies
// the initialised data from the image, zeroes the rest and calls main.

        .syntax unified
        .arm

        .equ MODE_FIQ, 0x11
        .equ MODE_IRQ, 0x12
        .equ MODE_SVC, 0x13
        .equ MODE_ABT, 0x17
        .equ MODE_UND, 0x1B
        .equ NO_INT, 0xC0

// The table is copied to address 0 by the reset handler (the processor takes its exceptions
// there); each slot loads the handler's address from the word 32 bytes further on, so the copy
// works wherever the image runs.
        .section .vectors, "ax"
        .global _vectors
_vectors:
        ldr pc, vec_reset
        ldr pc, vec_undef
        ldr pc, vec_swi
        ldr pc, vec_pabt
        ldr pc, vec_dabt
        b .
        ldr pc, vec_irq
        ldr pc, vec_fiq
vec_reset: .word reset_handler
vec_undef: .word undef_entry
vec_swi:   .word swi_entry
vec_pabt:  .word pabt_entry
vec_dabt:  .word dabt_entry
           .word 0
vec_irq:   .word irq_entry
vec_fiq:   .word fiq_entry

        .section .text.reset, "ax"
        .global reset_handler
        .type reset_handler, %function
reset_handler:
        msr cpsr_c, #(MODE_FIQ | NO_INT)
        ldr sp, =__stack_fiq_top
        msr cpsr_c, #(MODE_IRQ | NO_INT)
        ldr sp, =__stack_irq_top
        msr cpsr_c, #(MODE_ABT | NO_INT)
        ldr sp, =__stack_exc_top
        msr cpsr_c, #(MODE_UND | NO_INT)
        ldr sp, =__stack_exc_top
        msr cpsr_c, #(MODE_SVC | NO_INT)
        ldr sp, =__stack_svc_top

        // Vectors at 0 (low vectors), alignment faults on: the ARM926 does not load unaligned
        // words, it rotates them, so an unaligned access is a fault here rather than wrong data.
        // Instruction cache on (the data cache needs the MMU, which stays off).
        ldr r0, =_vectors
        mov r1, #0
        ldmia r0!, {r2-r9}
        stmia r1!, {r2-r9}
        ldmia r0!, {r2-r9}
        stmia r1!, {r2-r9}
        mrc p15, 0, r0, c1, c0, 0
        bic r0, r0, #(1 << 13)
        orr r0, r0, #(1 << 1)
        orr r0, r0, #(1 << 12)
        mcr p15, 0, r0, c1, c0, 0

        ldr r0, =__data_load
        ldr r1, =__data_start
        ldr r2, =__data_end
1:      cmp r1, r2
        ldrlo r3, [r0], #4
        strlo r3, [r1], #4
        blo 1b

        ldr r1, =__bss_start
        ldr r2, =__bss_end
        mov r3, #0
2:      cmp r1, r2
        strlo r3, [r1], #4
        blo 2b

        // Paint the stacks so that their high-water marks can be measured.
        ldr r1, =__stacks_start
        ldr r2, =__stack_svc_top
        ldr r3, =0x57AC57AC
3:      cmp r1, r2
        strlo r3, [r1], #4
        blo 3b

        ldr r4, =__init_array_start
        ldr r5, =__init_array_end
4:      cmp r4, r5
        bhs 5f
        ldr r3, [r4], #4
        blx r3
        b 4b
5:
        bl main
        b board_main_returned
        .size reset_handler, . - reset_handler

        .section .text.exceptions, "ax"
// IRQ and FIQ: the dispatcher in C runs in the exception's mode, interrupts stay masked.
irq_entry:
        sub lr, lr, #4
        stmfd sp!, {r0-r3, r12, lr}
        bl board_irq_dispatch
        ldmfd sp!, {r0-r3, r12, pc}^

fiq_entry:
        sub lr, lr, #4
        stmfd sp!, {r0-r3, r12, lr}
        bl board_fiq_dispatch
        ldmfd sp!, {r0-r3, r12, pc}^

// Faults end the run: board_exception reports the kind and the address and halts.
undef_entry:
        sub r1, lr, #4
        mov r0, #1
        b board_exception
swi_entry:
        sub r1, lr, #4
        mov r0, #2
        b board_exception
pabt_entry:
        sub r1, lr, #4
        mov r0, #3
        b board_exception
dabt_entry:
        sub r1, lr, #8
        mov r0, #4
        b board_exception
