/* Enum types: variables, parameters, struct members, results, arrays,
   globals with initializers and switches on enum values. */
#include <stdio.h>

enum color { RED, GREEN = 5, BLUE };
enum { LIMIT = 3 };
typedef enum { OFF = -1, ON = 1 } state_t;

struct pixel {
    enum color color;
    int level;
    state_t state;
};

enum color favourite = BLUE;
static const enum color palette[LIMIT] = {BLUE, RED, GREEN};

static enum color next_color(enum color c) {
    switch (c) {
    case RED:
        return GREEN;
    case GREEN:
        return BLUE;
    default:
        return RED;
    }
}

static const char *color_name(enum color c) {
    switch (c) {
    case RED:
        return "red";
    case GREEN:
        return "green";
    case BLUE:
        return "blue";
    }
    return "?";
}

static state_t toggle(state_t s) {
    return s == ON ? OFF : ON;
}

int main(void) {
    enum color c = RED;
    struct pixel p[LIMIT];
    struct pixel *q = p;
    enum color *pc = &c;
    state_t s = OFF;
    int i;
    for (i = 0; i < LIMIT; ++i) {
        p[i].color = c;
        p[i].level = c * 10 + i;
        p[i].state = i % 2 ? ON : OFF;
        c = next_color(c);
    }
    for (i = 0; i < LIMIT; ++i, ++q)
        printf("%s %d %d\n", color_name(q->color), q->level, q->state);
    *pc = BLUE;
    c++;
    c += 2;
    printf("%d %d %d\n", c, c - BLUE, c > GREEN);
    c = (enum color)(c - 3);
    printf("%s %s\n", color_name(c), color_name(favourite));
    for (i = 0; i < LIMIT; ++i) {
        s = toggle(s);
        printf("%s %d\n", color_name(palette[i]), s);
    }
    favourite = next_color(favourite);
    return favourite == RED ? 0 : 1;
}
