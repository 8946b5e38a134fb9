/* stddef.h for the Vexar target: 16-bit words, 32-bit pointers. */
#ifndef _VX_STDDEF_H
#define _VX_STDDEF_H
typedef unsigned int size_t;
typedef int ptrdiff_t;
#define NULL ((void *)0)
#define offsetof(type, member) ((size_t)&((type *)0)->member)
#endif
