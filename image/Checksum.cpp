#include "image/Checksum.h"

#include "image/BigEndian.h"

std::uint32_t SumWords(const std::uint8_t* bytes, std::uint32_t count) {
    // Rounded up without overflow: a count near 0xFFFFFFFF still covers its last word.
    const std::uint32_t words = count / 4 + (count % 4 != 0 ? 1 : 0);
    std::uint32_t sum = 0;
    for (std::uint32_t word = 0; word < words; ++word)
        sum += ReadBigEndian32(bytes + std::size_t{word} * 4);
    return sum;
}
