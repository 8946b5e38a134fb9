/* stdlib.h for the Vexar target: what programs here need. */
#ifndef _VX_STDLIB_H
#define _VX_STDLIB_H
#include <stddef.h>
#define EXIT_SUCCESS 0
#define EXIT_FAILURE 1
static int abs(int value) { return value < 0 ? -value : value; }
static long labs(long value) { return value < 0 ? -value : value; }
#endif
