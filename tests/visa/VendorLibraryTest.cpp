// Vendor libraries that are not as polite as ours, loaded by the system backend.

#include "link/visa/SystemBackend.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

// The library's thread keeps running in its code after the backend is gone; were the code
// unloaded, the thread would crash the program.
TEST(VendorLibrary, ThreadOfItsOwnDoesNotCrashTheProgramWhenTheBackendGoes) {
    EXPECT_EXIT(
        {
            std::ostringstream diagnostics;
            auto backend = visa::LoadSystemBackend(FAKE_VISA_THREAD_LIBRARY, diagnostics);
            ViSession rm = 0;
            if (!backend || backend->OpenDefaultRM(&rm) != VI_SUCCESS)
                std::exit(2);
            backend.reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// Each answer past its bounds fails with a line naming the library, not a write past a
// buffer or an endless listing.
TEST(VendorLibrary, AnswersPastTheirBoundsAreClearFailures) {
    std::ostringstream diagnostics;
    auto backend = visa::LoadSystemBackend(FAKE_VISA_UNRULY_LIBRARY, diagnostics);
    ASSERT_NE(nullptr, backend) << diagnostics.str();
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(VI_SUCCESS, backend->OpenDefaultRM(&rm));
    ASSERT_EQ(VI_SUCCESS, backend->Open(rm, "USB0::1::2::3::INSTR", VI_NO_LOCK, 0, &vi));
    const std::string library = std::string("VISA library ") + FAKE_VISA_UNRULY_LIBRARY + ": ";

    ViByte buffer[16];
    ViUInt32 count = 99;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(VI_ERROR_SYSTEM_ERROR, backend->Read(vi, buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(library + "viRead reported 26 bytes for a buffer of 16\n",
              ::testing::internal::GetCapturedStderr());

    ViFindList list = 0;
    ViChar name[VI_FIND_BUFLEN];
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(VI_ERROR_SYSTEM_ERROR, backend->FindRsrc(rm, "unterminated", &list, &count, name));
    EXPECT_STREQ("", name);
    EXPECT_EQ(library + "a resource name from viFindRsrc has no end within 256 bytes\n",
              ::testing::internal::GetCapturedStderr());

    // The list counts two names and never stops giving more.
    ASSERT_EQ(VI_SUCCESS, backend->FindRsrc(rm, "USB?*", &list, &count, name));
    ::testing::internal::CaptureStderr();
    int names = 1;
    while (names < 100 && backend->FindNext(list, name) == VI_SUCCESS)
        ++names;
    EXPECT_EQ(2, names);
    EXPECT_EQ(library + "viFindNext gives more names than viFindRsrc counted\n",
              ::testing::internal::GetCapturedStderr());
    backend->Close(list);
    backend->Close(rm);
}

} // namespace
