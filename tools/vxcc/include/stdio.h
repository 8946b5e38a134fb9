/* stdio.h for the Vexar target: printf and putchar are the interpreter's
   output; they have no bodies. */
#ifndef _VX_STDIO_H
#define _VX_STDIO_H
#include <stddef.h>
int printf(const char *format, ...);
int putchar(int c);
#define EOF (-1)
#endif
