/* Symbols of examples/sample.map as C macros. */
#ifndef SAMPLE_MAP_H
#define SAMPLE_MAP_H

#define STACK_SIZE 0x00000800u
#define main 0x00000200u
#define timer_reload_value_for_1ms 0x0000FFFFu

#endif /* SAMPLE_MAP_H */
