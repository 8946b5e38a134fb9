/* Matrix multiply: 4x4 16-bit matrices into 32-bit results, a matrix
   times its transpose, and the trace of a product, with the loops a DSP
   compiler likes to see. */
#include <stdint.h>
#include <stdio.h>

#define N 4

static int16_t m[N][N] = {
    {1, 2, 3, 4}, {-5, 6, -7, 8}, {9, 10, 11, 12}, {100, -200, 300, -400},
};
static int16_t identity[N][N];
static int32_t product[N][N];

static void multiply(int16_t x[N][N], int16_t y[N][N], int32_t out[N][N]) {
    int i, j, k;
    for (i = 0; i < N; i++)
        for (j = 0; j < N; j++) {
            int32_t sum = 0;
            for (k = 0; k < N; k++)
                sum += (int32_t)x[i][k] * y[k][j];
            out[i][j] = sum;
        }
}

static void transpose(int16_t x[N][N], int16_t out[N][N]) {
    int i, j;
    for (i = 0; i < N; i++)
        for (j = 0; j < N; j++)
            out[j][i] = x[i][j];
}

static void print_matrix(const char *title, int32_t x[N][N]) {
    int i, j;
    printf("%s\n", title);
    for (i = 0; i < N; i++)
        for (j = 0; j < N; j++)
            printf("%8ld%s", (long)x[i][j], j == N - 1 ? "\n" : "");
}

int main(void) {
    int16_t t[N][N];
    int32_t trace = 0;
    int i;
    for (i = 0; i < N; i++)
        identity[i][i] = 1;
    multiply(m, identity, product);
    print_matrix("m * I", product);
    transpose(m, t);
    multiply(m, t, product);
    print_matrix("m * m'", product);
    multiply(m, m, product);
    for (i = 0; i < N; i++)
        trace += product[i][i];
    printf("trace(m * m) %ld\n", (long)trace);
    return 0;
}

/* Expected output:
 * m * I
 *        1       2       3       4
 *       -5       6      -7       8
 *        9      10      11      12
 *      100    -200     300    -400
 * m * m'
 *       30      18     110   -1000
 *       18     174      34   -7000
 *      110      34     446   -2600
 *    -1000   -7000   -2600  300000
 * trace(m * m) 164852
 */
