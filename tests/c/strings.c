/* String literals, character arrays and putchar. */
#include <stdio.h>
#include <string.h>

static char greeting[] = "hello";
static const char *words[3] = {"alpha", "beta", "gamma"};

static void reverse(char *s) {
    int i = 0, j = (int)strlen(s) - 1;
    while (i < j) {
        char t = s[i];
        s[i++] = s[j];
        s[j--] = t;
    }
}

int main(void) {
    char local[8] = "abc";
    const char *p;
    int i;
    reverse(greeting);
    printf("%s %d\n", greeting, (int)sizeof greeting);
    for (i = 0; i < 3; i++)
        printf("%s:%d ", words[i], (int)strlen(words[i]));
    printf("\n");
    for (p = "xyz"; *p; p++)
        putchar(*p);
    putchar('\n');
    local[3] = 'd';
    printf("%s %d %d\n", local, strcmp(local, "abcd"), local[7]);
    printf("%c%c\n", 'O', 'K');
    return 0;
}
