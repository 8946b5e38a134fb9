/* switch, goto, break, continue, do-while and nested blocks. */
#include <stdio.h>

enum color { RED, GREEN = 5, BLUE };

static const char *name(enum color c) {
    switch (c) {
    case RED:
        return "red";
    case GREEN:
        return "green";
    default:
        break;
    }
    return "blue";
}

static int classify(int n) {
    int r = 0;
    switch (n % 4) {
    case 0:
        r += 1;
    case 1:
        r += 10;
        break;
    case 2: {
        int k = n * 2;
        r = k;
        break;
    }
    }
    return r;
}

int main(void) {
    int i, total = 0, n = 0;
    for (i = 0; i < 10; i++) {
        if (i == 3)
            continue;
        if (i == 8)
            break;
        total += i;
    }
    do {
        n++;
    } while (n < 5);
    i = 0;
again:
    if (i < 3) {
        i++;
        goto again;
    }
    printf("%d %d %d\n", total, n, i);
    printf("%s %s %s\n", name(RED), name(GREEN), name(BLUE));
    for (i = 0; i < 4; i++)
        printf("%d ", classify(i));
    printf("\n");
    {
        int inner = 7;
        {
            int deeper = inner * 2;
            printf("%d\n", deeper);
        }
    }
    while (n > 0)
        n -= 2;
    printf("%d\n", n);
    return 0;
}
