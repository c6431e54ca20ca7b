// TQ4800_VISA unset: the vendor libraries under their usual names are tried in order. This
// program runs with LD_LIBRARY_PATH naming a folder where libvisa.so is a corrupt file,
// libvisa.so.0 a library without viRead and libvisa.so.7 the simulated bench; the other
// usual names are not installed and pass without a word.

#include "backend/BackendFactory.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(InstalledVisaLibrary, UnsetTakesTheFirstUsualNameThatServesAndReportsTheOthers) {
    ::testing::internal::CaptureStderr();
    std::string error;
    std::unique_ptr<visa::Backend> backend = visa::CreateBackend("", error);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, backend) << error;
    const std::string corrupt = "VISA library libvisa.so not available: ";
    const std::string withoutRead =
        "VISA library libvisa.so.0 not available: it lacks the function viRead\n";
    EXPECT_EQ(corrupt, said.substr(0, corrupt.size())) << said;
    EXPECT_EQ(2, std::count(said.begin(), said.end(), '\n')) << said;
    EXPECT_TRUE(said.ends_with(withoutRead)) << said;

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
