#include "update/LastCatch.h"

#include "image/PrintableText.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace {
constexpr int EXIT_SOFTWARE = 70;

std::string WhatFailed() {
    try {
        throw;
    } catch (const std::bad_alloc& error) {
        return std::string("out of memory (") + error.what() + ")";
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an exception of an unknown kind";
    }
}
} // namespace

int ReportUncaughtException(const char* program) noexcept {
    try {
        const std::string what = Printable(WhatFailed());
        std::fprintf(stderr, "%s: stopped by an unexpected error: %s\n", program, what.c_str());
    } catch (...) {
        // Not even the message could be made: say what can be said without memory.
        std::fprintf(stderr, "%s: stopped by an unexpected error\n", program);
    }
    std::fflush(stderr);
    return EXIT_SOFTWARE;
}
