/* Structures: members, nesting, copies, pointers, arguments, results. */
#include <stdio.h>

struct point { int x; int y; };
struct box { struct point lo, hi; long area; };

static struct box global_box = {{1, 2}, {5, 7}, 0};

static long area(struct box b) {
    return (long)(b.hi.x - b.lo.x) * (b.hi.y - b.lo.y);
}

static struct point mid(const struct box *b) {
    struct point m;
    m.x = (b->lo.x + b->hi.x) / 2;
    m.y = (b->lo.y + b->hi.y) / 2;
    return m;
}

int main(void) {
    struct box copy;
    struct point m;
    struct point pts[3] = {{1, 1}, {2, 4}, {3, 9}};
    int i, sum = 0;
    global_box.area = area(global_box);
    copy = global_box;
    copy.hi.x += 10;
    m = mid(&copy);
    printf("%ld %d %d\n", global_box.area, copy.hi.x, global_box.hi.x);
    printf("%d %d\n", m.x, m.y);
    for (i = 0; i < 3; i++)
        sum += pts[i].y;
    printf("%d %d\n", sum, (int)(sizeof(struct box) / sizeof(int)));
    return 0;
}
