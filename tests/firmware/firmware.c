/* SPDX-License-Identifier: MIT */
/* A small bare-metal program for the export and memory judges: a UART driver, an interrupt
   handler, a table of constants in flash, initialised and zeroed variables in RAM. Built for a
   Cortex-M (Thumb) and for a big-endian PowerPC; its map is written from the linked ELF file.
   With NEXT_BUILD it is the next build of the program: a buffer grown in place, one function
   grown, one added and one removed, and RAM grown past the region gap. */
#define UART_BASE 0x40011000u
#define UART_DATA (*(volatile unsigned int*)(UART_BASE + 0x04u))
#define UART_STATUS (*(volatile unsigned int*)(UART_BASE + 0x00u))
#define UART_TX_READY 0x80u

extern unsigned int _data_load, _data_start, _data_end, _bss_start, _bss_end;

static const char banner_message_text_shown_at_every_start_of_the_firmware[] =
    "kestrum firmware\r\n";
const unsigned short crc_table[16] = {0x0000, 0x1021, 0x2042, 0x3063, 0x4084, 0x50a5,
                                      0x60c6, 0x70e7, 0x8108, 0x9129, 0xa14a, 0xb16b,
                                      0xc18c, 0xd1ad, 0xe1ce, 0xf1ef};
volatile unsigned int tick_count = 5;
#ifdef NEXT_BUILD
unsigned char rx_ring[512];
unsigned char sensor_history[0x12000];
#else
unsigned char rx_ring[128];
#endif
static unsigned int rx_head;
static unsigned int rx_tail = 1;

void uart_putc(char c) {
  while ((UART_STATUS & UART_TX_READY) == 0) {
  }
  UART_DATA = (unsigned int)c;
}

void uart_puts(const char* text) {
  while (*text != '\0') uart_putc(*text++);
#ifdef NEXT_BUILD
  uart_putc('\n');
#endif
}

#ifdef NEXT_BUILD
void sensor_record(unsigned int at, unsigned char sample) {
  sensor_history[at % sizeof sensor_history] = sample;
}
#else
void debug_dump(void) {
  uart_putc((char)rx_ring[0]);
}
#endif

__attribute__((noipa)) static unsigned int crc_nibbles(const unsigned char* data,
                                                       unsigned int length) {
  unsigned int crc = 0xffffu;
  while (length-- > 0) {
    crc = (crc << 4) ^ crc_table[((crc >> 12) ^ (*data >> 4)) & 0x0fu];
    crc = (crc << 4) ^ crc_table[((crc >> 12) ^ (*data++ & 0x0fu)) & 0x0fu];
  }
  return crc & 0xffffu;
}

void uart_rx_isr(void) {
  rx_ring[rx_head++ % sizeof rx_ring] = (unsigned char)UART_DATA;
  ++tick_count;
}

int main(void) {
  uart_puts(banner_message_text_shown_at_every_start_of_the_firmware);
  for (;;) {
    if (rx_head != rx_tail) {
      uart_putc((char)crc_nibbles(rx_ring, rx_head - rx_tail));
      rx_tail = rx_head;
    }
  }
}

void reset_handler(void) {
  unsigned int *from = &_data_load, *to = &_data_start;
  while (to < &_data_end) *to++ = *from++;
  for (to = &_bss_start; to < &_bss_end;) *to++ = 0;
  main();
}
