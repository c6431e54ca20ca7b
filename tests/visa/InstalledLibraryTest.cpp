// TQ4800_VISA unset: the vendor libraries under their usual names are tried in order. This
// program runs with LD_LIBRARY_PATH naming a folder where libvisa.so is a library without
// viRead and libvisa.so.0 is the simulated bench.

#include "backend/BackendFactory.h"

#include <gtest/gtest.h>

namespace {

TEST(InstalledVisaLibrary, UnsetTakesTheFirstUsualNameThatServesAndReportsTheOthers) {
    ::testing::internal::CaptureStderr();
    std::string error;
    std::unique_ptr<visa::Backend> backend = visa::CreateBackend("", error);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, backend) << error;
    EXPECT_EQ("VISA library libvisa.so not available: it lacks the function viRead\n", said);

    // Only the simulated bench knows this instrument.
    ViSession rm = 0;
    ViFindList list = 0;
    ViUInt32 count = 0;
    ViChar name[VI_FIND_BUFLEN] = {};
    ASSERT_EQ(VI_SUCCESS, backend->OpenDefaultRM(&rm));
    EXPECT_EQ(VI_SUCCESS, backend->FindRsrc(rm, "USB?*::INSTR", &list, &count, name));
    EXPECT_STREQ("USB0::0x1D7A::0x52C1::TW00012345::INSTR", name);
    backend->Close(rm);
}

} // namespace
