/* Sorting a block of samples: insertion sort, and a median filter over a
   window of five samples that sorts each window, as used to remove
   impulse noise. */
#include <stdint.h>
#include <stdio.h>

#define COUNT 20
#define WINDOW 5

static int16_t samples[COUNT] = {
    120, -3, 77, 32000, 5, 5, -32000, 18, 64, -1,
    0, 300, -300, 299, 7, 7, 1000, -999, 42, 13,
};

static void insertion_sort(int16_t *data, int n) {
    int i, j;
    for (i = 1; i < n; i++) {
        const int16_t value = data[i];
        for (j = i; j > 0 && data[j - 1] > value; j--)
            data[j] = data[j - 1];
        data[j] = value;
    }
}

static int16_t median(const int16_t *data) {
    int16_t window[WINDOW];
    int i;
    for (i = 0; i < WINDOW; i++)
        window[i] = data[i];
    insertion_sort(window, WINDOW);
    return window[WINDOW / 2];
}

static void print(const char *title, const int16_t *data, int n) {
    int i;
    printf("%s:", title);
    for (i = 0; i < n; i++)
        printf(" %d", data[i]);
    printf("\n");
}

int main(void) {
    int16_t filtered[COUNT - WINDOW + 1];
    int16_t sorted[COUNT];
    int i;
    for (i = 0; i + WINDOW <= COUNT; i++)
        filtered[i] = median(samples + i);
    print("median", filtered, COUNT - WINDOW + 1);
    for (i = 0; i < COUNT; i++)
        sorted[i] = samples[i];
    insertion_sort(sorted, COUNT);
    print("sorted", sorted, COUNT);
    return 0;
}

/* Expected output:
 * median: 77 5 5 5 5 5 0 18 0 0 7 7 7 7 7 13
 * sorted: -32000 -999 -300 -3 -1 0 5 5 7 7 13 18 42 64 77 120 299 300 1000 32000
 */
