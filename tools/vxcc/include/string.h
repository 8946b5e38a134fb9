/* string.h for the Vexar target: a few routines, written in C. */
#ifndef _VX_STRING_H
#define _VX_STRING_H
#include <stddef.h>
static int strcmp(const char *a, const char *b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a - *b;
}
static size_t strlen(const char *s) {
    size_t n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}
#endif
