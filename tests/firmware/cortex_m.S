/* SPDX-License-Identifier: MIT */
/* The vector table at the flash base and a default handler with a label inside it. */
  .syntax unified
  .thumb
  .section .vectors, "a"
  .global vector_table
  .type vector_table, %object
vector_table:
  .word _stack_top
  .word reset_handler + 1
  .rept 14
  .word default_handler + 1
  .endr
  .word uart_rx_isr + 1
  .size vector_table, . - vector_table

  .text
  .global default_handler
  .type default_handler, %function
  .thumb_func
default_handler:
  movs r0, #0
hang_loop:
  adds r0, r0, #1
  b hang_loop
  .size default_handler, . - default_handler
