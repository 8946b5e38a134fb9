/* Pointers, arrays, pointer arithmetic and function pointers. */
#include <stdio.h>

static long table[5] = {10, 20, 30, 40, 50};
static int grid[3][4];
static long *cursor = &table[1];

static int add(int a, int b) { return a + b; }
static int sub(int a, int b) { return a - b; }

static void fill(int (*g)[4], int rows) {
    int i, j;
    for (i = 0; i < rows; i++)
        for (j = 0; j < 4; j++)
            g[i][j] = i * 10 + j;
}

int main(void) {
    long *p = table;
    long **pp = &p;
    int (*ops[2])(int, int) = {add, sub};
    int i;
    p += 2;
    printf("%ld %ld %ld\n", *p, p[1], *(p - 1));
    printf("%d\n", (int)(p - table));
    (*pp)++;
    printf("%ld %ld\n", **pp, *cursor);
    fill(grid, 3);
    printf("%d %d %d\n", grid[0][3], grid[2][1], grid[1][2]);
    for (i = 0; i < 2; i++)
        printf("%d\n", ops[i](7, 3));
    *cursor++ = 99;
    printf("%ld %ld\n", table[1], *cursor);
    return 0;
}
