#include "history/RunId.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <sys/random.h>

std::string NewRunId() {
    std::uint8_t bytes[16];
    std::size_t have = 0;
    while (have < sizeof bytes) {
        const ssize_t got = getrandom(bytes + have, sizeof bytes - have, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error("the kernel's random generator cannot be read");
        have += static_cast<std::size_t>(got);
    }
    static constexpr char DIGITS[] = "0123456789abcdef";
    std::string id;
    for (const std::uint8_t byte : bytes) {
        id += DIGITS[byte >> 4];
        id += DIGITS[byte & 0x0f];
    }
    return id;
}
