/* FIR filter: an 8-tap low-pass filter in Q15 fixed point over a test
   signal (an impulse, a step and a square wave), with a 32-bit accumulator
   and rounding, as a DSP's multiply-accumulate loop computes it. */
#include <stdint.h>
#include <stdio.h>

#define TAPS 8
#define SAMPLES 40

/* Symmetric low-pass coefficients, Q15; they sum to about 1.0. */
static const int16_t coefficients[TAPS] = {
    -410, 1229, 4506, 11059, 11059, 4506, 1229, -410,
};

static int16_t history[TAPS];

/* Feeds one sample through the filter and returns one output sample. */
static int16_t fir_step(int16_t sample) {
    int32_t acc = 1L << 14; /* rounding */
    int i;
    for (i = TAPS - 1; i > 0; i--)
        history[i] = history[i - 1];
    history[0] = sample;
    for (i = 0; i < TAPS; i++)
        acc += (int32_t)coefficients[i] * history[i];
    acc >>= 15;
    if (acc > 32767)
        acc = 32767;
    if (acc < -32768)
        acc = -32768;
    return (int16_t)acc;
}

static int16_t test_signal(int n) {
    if (n == 0)
        return 16384;  /* impulse */
    if (n >= 8 && n < 24)
        return 8192;   /* step */
    if (n >= 24)
        return (n / 2) % 2 ? 12000 : -12000;  /* square wave */
    return 0;
}

int main(void) {
    int32_t energy = 0;
    int n;
    for (n = 0; n < SAMPLES; n++) {
        const int16_t y = fir_step(test_signal(n));
        energy += (int32_t)y * y >> 8;
        printf("%d%c", y, n % 10 == 9 ? '\n' : ' ');
    }
    printf("energy %ld\n", (long)energy);
    return 0;
}

/* Expected output:
 * -205 615 2253 5530 5530 2253 615 -205 -102 205
 * 1331 4096 6861 7987 8295 8192 8192 8192 8192 8192
 * 8192 8192 8192 8192 8445 7687 4610 -1304 -4518 -95
 * 3647 0 -3599 0 3599 0 -3599 0 3599 0
 * energy 4348824
 */
