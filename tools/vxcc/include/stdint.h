/* stdint.h for the Vexar target: char, short and int are 16 bits, long 32,
   long long 64.  There are no 8-bit types: the smallest unit is a word. */
#ifndef _VX_STDINT_H
#define _VX_STDINT_H
typedef short int16_t;
typedef unsigned short uint16_t;
typedef long int32_t;
typedef unsigned long uint32_t;
typedef long long int64_t;
typedef unsigned long long uint64_t;
typedef long intptr_t;
typedef unsigned long uintptr_t;
typedef long long intmax_t;
typedef unsigned long long uintmax_t;

#define INT16_MIN (-32767 - 1)
#define INT16_MAX 32767
#define UINT16_MAX 65535U
#define INT32_MIN (-2147483647L - 1)
#define INT32_MAX 2147483647L
#define UINT32_MAX 4294967295UL
#define INT64_MIN (-9223372036854775807LL - 1)
#define INT64_MAX 9223372036854775807LL
#define UINT64_MAX 18446744073709551615ULL
#define INTPTR_MIN INT32_MIN
#define INTPTR_MAX INT32_MAX
#define UINTPTR_MAX UINT32_MAX
#define INTMAX_MIN INT64_MIN
#define INTMAX_MAX INT64_MAX
#define UINTMAX_MAX UINT64_MAX
#define SIZE_MAX 65535U
#define PTRDIFF_MIN INT16_MIN
#define PTRDIFF_MAX INT16_MAX

#define INT16_C(c) c
#define UINT16_C(c) c##U
#define INT32_C(c) c##L
#define UINT32_C(c) c##UL
#define INT64_C(c) c##LL
#define UINT64_C(c) c##ULL
#endif
