/* Integer arithmetic, conversions and operators at widths that do not
   depend on the size of int. */
#include <stdio.h>

long mix(long a, int b) { return a * b + (a >> 2) - (b << 3); }

int main(void) {
    int a = 1234, b = -56;
    unsigned int u = 40000u;
    long l = 100000L;
    long long ll = 123456789012LL;
    unsigned long long ull = 18446744073709551615ULL;
    printf("%d %d %d %d %d\n", a + b, a - b, a * 3, a / b, a % b);
    printf("%d %d %d\n", a & 0xF0, a | 3, a ^ b);
    printf("%d %d %d %d\n", a < b, a >= b, a == 1234, !a);
    printf("%u %u\n", u / 3u, u % 7u);
    printf("%ld %ld\n", l * 3, mix(l, b));
    printf("%lld %lld\n", ll / 7, ll % 1000);
    printf("%llu\n", ull >> 4);
    a += 10; a -= 2; a *= 2; a /= 3; a %= 100;
    printf("%d\n", a);
    b = a > 10 ? a : -a;
    printf("%d %d\n", b, (a, b + 1));
    printf("%d %d\n", (short)-1 < 0, (unsigned short)65535 > 0);
    printf("%ld\n", (long)(short)l);
    printf("%d\n", (a > 0 && b > 0) || a == 3);
    return 0;
}
