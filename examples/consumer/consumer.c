/* A host of the installed library: the CRC-32 of its argument, or of "123456789". */
#include <stdio.h>
#include <string.h>
#include <qzunpack.h>

int main(int argc, char **argv) {
    const char *text = argc > 1 ? argv[1] : "123456789";
    uint32_t crc = ~QzCrc32A(text, (uint32_t)strlen(text), 0xFFFFFFFFu);
    printf("%08lx\n", (unsigned long)crc);
    return argc > 1 || crc == 0xCBF43926u ? 0 : 1;
}
