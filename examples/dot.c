/* Dot products: Q15 vectors with a 32-bit accumulator, the same with
   saturation to 16 bits, and the norm of a vector, as the inner loop of a
   correlator computes them. */
#include <stdint.h>
#include <stdio.h>

#define LENGTH 16

static const int16_t a[LENGTH] = {
    1000, -2000, 3000, -4000, 5000, -6000, 7000, -8000,
    9000, -10000, 11000, -12000, 13000, -14000, 15000, -16000,
};
static const int16_t b[LENGTH] = {
    32767, 16384, -32768, 8192, 16384, -4096, -16384, 2048,
    8192, 30000, -8192, -20000, 4096, 100, -4096, -7,
};

static int32_t dot(const int16_t *x, const int16_t *y, int n) {
    int32_t acc = 0;
    while (n-- > 0)
        acc += (int32_t)*x++ * *y++;
    return acc;
}

/* The dot product in Q15, saturated to the 16-bit range. */
static int16_t dot_q15(const int16_t *x, const int16_t *y, int n) {
    const int32_t acc = dot(x, y, n) >> 15;
    if (acc > 32767)
        return 32767;
    if (acc < -32768)
        return -32768;
    return (int16_t)acc;
}

int main(void) {
    int shift;
    printf("a.b %ld\n", (long)dot(a, b, LENGTH));
    printf("a.a %ld\n", (long)dot(a, a, LENGTH));
    printf("b.b %ld\n", (long)dot(b, b, LENGTH));
    printf("q15 a.b %d\n", dot_q15(a, b, LENGTH));
    printf("q15 b.b %d\n", dot_q15(b, b, LENGTH));
    for (shift = 0; shift < 3; shift++)
        printf("prefix %d: %ld\n", 4 << shift, (long)dot(a, b, 4 << shift));
    return 0;
}

/* Expected output:
 * a.b -241513000
 * a.a 1496000000
 * b.b 213619778
 * q15 a.b -7371
 * q15 b.b 6519
 * prefix 4: -131073000
 * prefix 8: -155649000
 * prefix 16: -241513000
 */
