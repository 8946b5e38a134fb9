/* IIR biquad: two second-order sections in direct form I with Q14
   coefficients (a low-pass and a notch), run on a step and an impulse;
   the state is kept in a structure per section. */
#include <stdint.h>
#include <stdio.h>

struct biquad {
    int16_t b0, b1, b2, a1, a2; /* Q14; a1 and a2 are subtracted */
    int16_t x1, x2, y1, y2;     /* the last two inputs and outputs */
};

static int16_t saturate(int32_t value) {
    if (value > 32767)
        return 32767;
    if (value < -32768)
        return -32768;
    return (int16_t)value;
}

static int16_t biquad_step(struct biquad *f, int16_t x) {
    int32_t acc = (int32_t)f->b0 * x + (int32_t)f->b1 * f->x1 + (int32_t)f->b2 * f->x2 -
                  (int32_t)f->a1 * f->y1 - (int32_t)f->a2 * f->y2;
    const int16_t y = saturate((acc + (1L << 13)) >> 14);
    f->x2 = f->x1;
    f->x1 = x;
    f->y2 = f->y1;
    f->y1 = y;
    return y;
}

static void reset(struct biquad *f) {
    f->x1 = f->x2 = f->y1 = f->y2 = 0;
}

static void run(const char *title, struct biquad *f, int impulse) {
    int n;
    printf("%s:", title);
    reset(f);
    for (n = 0; n < 16; n++) {
        const int16_t x = impulse ? (n == 0 ? 8192 : 0) : 8192;
        printf(" %d", biquad_step(f, x));
    }
    printf("\n");
}

int main(void) {
    /* Low-pass near a quarter of the band edge, and a notch. */
    struct biquad lowpass = {1024, 2048, 1024, -19000, 6800, 0, 0, 0, 0};
    struct biquad notch = {15000, -9000, 15000, -9000, 13600, 0, 0, 0, 0};
    run("lowpass step", &lowpass, 0);
    run("lowpass impulse", &lowpass, 1);
    run("notch step", &notch, 0);
    run("notch impulse", &notch, 1);
    return 0;
}

/* Expected output:
 * lowpass step: 512 2130 4306 6157 7401 8075 8341 8369 8291 8189 8103 8046 8016 8004 8003 8007
 * lowpass impulse: 512 1618 2176 1852 1245 675 266 28 -78 -102 -86 -57 -30 -11 0 5
 * notch step: 7500 7120 8186 9087 8697 7734 7529 8216 8764 8494 7891 7784 8226 8557 8372 7996
 * notch impulse: 7500 -380 1066 901 -390 -962 -205 686 547 -269 -602 -107 441 331 -184 -376
 */
