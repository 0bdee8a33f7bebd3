/* Symbols of tests/data/export_names.map as C macros. */
#ifndef EXPORT_NAMES_MAP_H
#define EXPORT_NAMES_MAP_H

/* int = 0x00001000 left out: a name C reserves */
#define start 0x00001000u
/* class = 0x00001010 left out: a name C reserves */
/* defined = 0x00000001 left out: a name C reserves */
#define LIMIT 0x00000040u
/* LIMIT = 0x00000080 left out: given before as 0x00000040 */
#define buffer 0x20000000u
#define flag 0x20000004u
/* buffer = 0x20000010 left out: given before as 0x20000000 */
#define handler 0x00001020u
#define SIZEOF 0x00001030u

#endif /* EXPORT_NAMES_MAP_H */
