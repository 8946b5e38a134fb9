/* CRCs: CRC-16/CCITT bit by bit and through a table, and CRC-32 bit by
   bit, over the standard check string and a longer buffer. */
#include <stdint.h>
#include <stdio.h>

static uint16_t crc16_table[256];

static uint16_t crc16_bitwise(const char *data, int length) {
    uint16_t crc = 0xFFFF;
    int i, bit;
    for (i = 0; i < length; i++) {
        crc ^= (uint16_t)((uint16_t)(data[i] & 0xFF) << 8);
        for (bit = 0; bit < 8; bit++)
            crc = (crc & 0x8000) ? (uint16_t)((crc << 1) ^ 0x1021) : (uint16_t)(crc << 1);
    }
    return crc;
}

static void make_crc16_table(void) {
    int byte, bit;
    for (byte = 0; byte < 256; byte++) {
        uint16_t crc = (uint16_t)(byte << 8);
        for (bit = 0; bit < 8; bit++)
            crc = (crc & 0x8000) ? (uint16_t)((crc << 1) ^ 0x1021) : (uint16_t)(crc << 1);
        crc16_table[byte] = crc;
    }
}

static uint16_t crc16_table_driven(const char *data, int length) {
    uint16_t crc = 0xFFFF;
    int i;
    for (i = 0; i < length; i++)
        crc = (uint16_t)((crc << 8) ^ crc16_table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

static uint32_t crc32_bitwise(const char *data, int length) {
    uint32_t crc = 0xFFFFFFFFUL;
    int i, bit;
    for (i = 0; i < length; i++) {
        crc ^= (uint32_t)(data[i] & 0xFF);
        for (bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320UL : crc >> 1;
    }
    return ~crc;
}

int main(void) {
    static const char check[] = "123456789";
    char buffer[64];
    int i;
    for (i = 0; i < 64; i++)
        buffer[i] = (char)(i * 7 + 3);
    make_crc16_table();
    printf("crc16 check %04x %04x\n", (unsigned)crc16_bitwise(check, 9),
           (unsigned)crc16_table_driven(check, 9));
    printf("crc32 check %08lx\n", (unsigned long)crc32_bitwise(check, 9));
    printf("crc16 buffer %04x %04x\n", (unsigned)crc16_bitwise(buffer, 64),
           (unsigned)crc16_table_driven(buffer, 64));
    printf("crc32 buffer %08lx\n", (unsigned long)crc32_bitwise(buffer, 64));
    return 0;
}

/* Expected output:
 * crc16 check 29b1 29b1
 * crc32 check cbf43926
 * crc16 buffer 8064 8064
 * crc32 buffer cbd9ecf0
 */
