/* csmith.h: the runtime that random test programs call, for the Vexar
   target.  Every operation is well defined: an arithmetic wrapper whose
   operation would overflow, divide by zero or shift out of range returns
   its first operand instead.  The checksum is a CRC-32 over the 8 bytes of
   every value handed to transparent_crc, printed at the end. */
#ifndef _VX_CSMITH_H
#define _VX_CSMITH_H
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

/* ---- Signed wrappers: TYPE, its name, its limits, its width ---- */
#define VX_SAFE_SIGNED(T, N, MIN, MAX, WIDTH)                                              \
    static T safe_unary_minus_func_##N##_s(T si) { return si == MIN ? si : -si; }         \
    static T safe_add_func_##N##_s_s(T si1, T si2) {                                      \
        return ((si1 > 0 && si2 > 0 && si1 > MAX - si2) ||                                \
                (si1 < 0 && si2 < 0 && si1 < MIN - si2))                                  \
                   ? si1                                                                  \
                   : (T)(si1 + si2);                                                      \
    }                                                                                     \
    static T safe_sub_func_##N##_s_s(T si1, T si2) {                                      \
        return ((si1 ^ si2) & (((si1 ^ ((si1 ^ si2) & ~MAX)) - si2) ^ si2)) < 0           \
                   ? si1                                                                  \
                   : (T)(si1 - si2);                                                      \
    }                                                                                     \
    static T safe_mul_func_##N##_s_s(T si1, T si2) {                                      \
        return ((si1 > 0 && si2 > 0 && si1 > MAX / si2) ||                                \
                (si1 > 0 && si2 <= 0 && si2 < MIN / si1) ||                               \
                (si1 <= 0 && si2 > 0 && si1 < MIN / si2) ||                               \
                (si1 <= 0 && si2 <= 0 && si1 != 0 && si2 < MAX / si1))                    \
                   ? si1                                                                  \
                   : (T)(si1 * si2);                                                      \
    }                                                                                     \
    static T safe_mod_func_##N##_s_s(T si1, T si2) {                                      \
        return (si2 == 0 || (si1 == MIN && si2 == -1)) ? si1 : (T)(si1 % si2);            \
    }                                                                                     \
    static T safe_div_func_##N##_s_s(T si1, T si2) {                                      \
        return (si2 == 0 || (si1 == MIN && si2 == -1)) ? si1 : (T)(si1 / si2);            \
    }                                                                                     \
    static T safe_lshift_func_##N##_s_s(T left, int right) {                              \
        return (left < 0 || right < 0 || right >= WIDTH || left > (MAX >> right))         \
                   ? left                                                                 \
                   : (T)(left << right);                                                  \
    }                                                                                     \
    static T safe_lshift_func_##N##_s_u(T left, unsigned int right) {                     \
        return (left < 0 || right >= WIDTH || left > (MAX >> right)) ? left               \
                                                                     : (T)(left << right); \
    }                                                                                     \
    static T safe_rshift_func_##N##_s_s(T left, int right) {                              \
        return (left < 0 || right < 0 || right >= WIDTH) ? left : (T)(left >> right);     \
    }                                                                                     \
    static T safe_rshift_func_##N##_s_u(T left, unsigned int right) {                     \
        return (left < 0 || right >= WIDTH) ? left : (T)(left >> right);                  \
    }

/* ---- Unsigned wrappers ---- */
#define VX_SAFE_UNSIGNED(T, N, MAX, WIDTH)                                                 \
    static T safe_unary_minus_func_##N##_u(T ui) { return (T)(0 - ui); }                  \
    static T safe_add_func_##N##_u_u(T ui1, T ui2) { return (T)(ui1 + ui2); }             \
    static T safe_sub_func_##N##_u_u(T ui1, T ui2) { return (T)(ui1 - ui2); }             \
    static T safe_mul_func_##N##_u_u(T ui1, T ui2) { return (T)(ui1 * ui2); }             \
    static T safe_mod_func_##N##_u_u(T ui1, T ui2) { return ui2 == 0 ? ui1 : (T)(ui1 % ui2); } \
    static T safe_div_func_##N##_u_u(T ui1, T ui2) { return ui2 == 0 ? ui1 : (T)(ui1 / ui2); } \
    static T safe_lshift_func_##N##_u_s(T left, int right) {                              \
        return (right < 0 || right >= WIDTH || left > (MAX >> right)) ? left              \
                                                                      : (T)(left << right); \
    }                                                                                     \
    static T safe_lshift_func_##N##_u_u(T left, unsigned int right) {                     \
        return (right >= WIDTH || left > (MAX >> right)) ? left : (T)(left << right);     \
    }                                                                                     \
    static T safe_rshift_func_##N##_u_s(T left, int right) {                              \
        return (right < 0 || right >= WIDTH) ? left : (T)(left >> right);                 \
    }                                                                                     \
    static T safe_rshift_func_##N##_u_u(T left, unsigned int right) {                     \
        return right >= WIDTH ? left : (T)(left >> right);                                \
    }

VX_SAFE_SIGNED(int16_t, int16_t, INT16_MIN, INT16_MAX, 16)
VX_SAFE_SIGNED(int32_t, int32_t, INT32_MIN, INT32_MAX, 32)
VX_SAFE_SIGNED(int64_t, int64_t, INT64_MIN, INT64_MAX, 64)
VX_SAFE_UNSIGNED(uint16_t, uint16_t, UINT16_MAX, 16)
VX_SAFE_UNSIGNED(uint32_t, uint32_t, UINT32_MAX, 32)
VX_SAFE_UNSIGNED(uint64_t, uint64_t, UINT64_MAX, 64)

/* ---- The checksum ---- */
static uint32_t crc32_tab[256];
static uint32_t crc32_context = 0xFFFFFFFFUL;

static void crc32_gentab(void) {
    const uint32_t poly = 0xEDB88320UL;
    int i, j;
    for (i = 0; i < 256; i++) {
        uint32_t crc = (uint32_t)i;
        for (j = 8; j > 0; j--) {
            if (crc & 1)
                crc = (crc >> 1) ^ poly;
            else
                crc >>= 1;
        }
        crc32_tab[i] = crc;
    }
}

static void crc32_byte(unsigned int b) {
    crc32_context = ((crc32_context >> 8) & 0x00FFFFFFUL) ^ crc32_tab[(crc32_context ^ b) & 0xFF];
}

static void crc32_8bytes(uint64_t val) {
    int k;
    for (k = 0; k < 8; k++)
        crc32_byte((unsigned int)((val >> (k * 8)) & 0xFF));
}

static void transparent_crc(uint64_t val, char *vname, int flag) {
    crc32_8bytes(val);
    if (flag)
        printf("...checksum after hashing %s : %lX\n", vname, crc32_context ^ 0xFFFFFFFFUL);
}

static void transparent_crc_bytes(char *ptr, int nbytes, char *vname, int flag) {
    int i;
    for (i = 0; i < nbytes; i++)
        crc32_byte((unsigned int)ptr[i] & 0xFF);
    if (flag)
        printf("...checksum after hashing %s : %lX\n", vname, crc32_context ^ 0xFFFFFFFFUL);
}

static void platform_main_begin(void) {}

static void platform_main_end(uint32_t crc, int flag) {
    (void)flag;
    printf("checksum = %lX\n", crc);
}

#endif
