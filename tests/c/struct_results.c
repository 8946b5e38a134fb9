/* Structure results (csmith seed 5: `return g_arr[0][0];` returned an
   element of a global array of structures, and the interpreter read the
   converted address as a floating value).  Also results pending together:
   structure arguments from structure-returning calls, `c ? f() : g()`, and
   a recursion that returns its own call's result. */
#include <stdio.h>

struct item { int id; long weight; };

static struct item table[2][3] = {{{1, 100000L}, {2, 200000L}}, {{3, 300000L}}};

static struct item first(void) { return table[0][0]; }

static struct item through(const struct item *p) { return *p; }

static struct item make(int id) {
    struct item r;
    r.id = id;
    r.weight = id * 1000L;
    return r;
}

static long combine(struct item a, struct item b) {
    return a.weight - b.weight + a.id * 10 + b.id;
}

static struct item choose(int c) { return c ? make(5) : make(6); }

static struct item nested(int n) {
    struct item r;
    if (n == 0)
        return make(7);
    r = nested(n - 1);
    r.id += 1;
    return r;
}

int main(void) {
    struct item a = first();
    struct item b = through(&table[1][0]);
    printf("%d %ld %d %ld\n", a.id, a.weight, b.id, b.weight);
    printf("%ld %ld\n", combine(make(1), make(2)), combine(choose(1), choose(0)));
    a = b.id > 2 ? make(8) : make(9);
    b = nested(3);
    printf("%d %d %ld\n", a.id, b.id, b.weight);
    return 0;
}
