/* Recursion and mutual recursion. */
#include <stdio.h>

static int is_odd(int n);

static int is_even(int n) { return n == 0 ? 1 : is_odd(n - 1); }
static int is_odd(int n) { return n == 0 ? 0 : is_even(n - 1); }

static long fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

static int gcd(int a, int b) {
    if (b == 0)
        return a;
    return gcd(b, a % b);
}

static void hanoi(int n, int from, int to, int via, int *moves) {
    if (n == 0)
        return;
    hanoi(n - 1, from, via, to, moves);
    ++*moves;
    hanoi(n - 1, via, to, from, moves);
}

int main(void) {
    int moves = 0;
    printf("%ld %ld\n", fib(10), fib(20));
    printf("%d %d\n", is_even(10), is_odd(7));
    printf("%d\n", gcd(1071, 462));
    hanoi(6, 1, 3, 2, &moves);
    printf("%d\n", moves);
    return 0;
}
