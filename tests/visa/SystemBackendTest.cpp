// The system backend against libraries built in this tree: a complete stand-in vendor
// library, one that lacks viRead, a file that is no library and a path that does not exist.

#include "link/visa/SystemBackend.h"

#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string CallsOf(const char* libraryPath) {
    // The library is loaded already, so this only finds it again.
    void* library = dlopen(libraryPath, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr)
        return "(not loaded)";
    auto calls = reinterpret_cast<const char* (*)()>(dlsym(library, "FakeVisaCalls"));
    std::string text = calls ? calls() : "(no FakeVisaCalls)";
    dlclose(library);
    return text;
}

TEST(SystemBackend, ForwardsTheEightCallsWithTheirArguments) {
    std::ostringstream diagnostics;
    auto backend = visa::LoadSystemBackend(FAKE_VISA_LIBRARY, diagnostics);
    ASSERT_NE(nullptr, backend) << diagnostics.str();

    ViSession rm = 0, vi = 0;
    ViFindList list = 0;
    ViUInt32 count = 0, done = 0;
    char desc[VI_FIND_BUFLEN] = {};
    ViByte reply[256] = {};
    const ViByte command[] = "*IDN?\n";
    EXPECT_EQ(VI_SUCCESS, backend->OpenDefaultRM(&rm));
    EXPECT_EQ(VI_SUCCESS,
              backend->FindRsrc(rm, "USB0::0x1d7a::0x52c1::TW?*::INSTR", &list, &count, desc));
    EXPECT_EQ(2u, count);
    EXPECT_STREQ("USB0::0x1D7A::0x52C1::TW00000001::INSTR", desc);
    EXPECT_EQ(VI_SUCCESS, backend->FindNext(list, desc));
    EXPECT_STREQ("USB0::0x1D7A::0x52C1::TW00000002::INSTR", desc);
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, backend->FindNext(list, desc));
    EXPECT_EQ(VI_SUCCESS, backend->Open(rm, desc, VI_NO_LOCK, 1000, &vi));
    // All 64 bits of ViAttrState must reach the library.
    EXPECT_EQ(VI_SUCCESS, backend->SetAttribute(vi, VI_ATTR_TMO_VALUE, 0x500000001388ull));
    EXPECT_EQ(VI_SUCCESS, backend->Write(vi, command, 6, &done));
    EXPECT_EQ(6u, done);
    EXPECT_EQ(VI_SUCCESS, backend->Read(vi, reply, 255, &done));
    EXPECT_EQ("WRITER\n", std::string(reinterpret_cast<char*>(reply), done));
    EXPECT_EQ(VI_SUCCESS_MAX_CNT, backend->Read(vi, reply, 3, &done));
    EXPECT_EQ(VI_SUCCESS, backend->Close(vi));

    EXPECT_EQ("viOpenDefaultRM\n"
              "viFindRsrc 0x100 USB0::0x1d7a::0x52c1::TW?*::INSTR\n"
              "viFindNext 0x200\n"
              "viFindNext 0x200\n"
              "viOpen 0x100 USB0::0x1D7A::0x52C1::TW00000002::INSTR 0 1000\n"
              "viSetAttribute 0x300 0x3fff001a 0x500000001388\n"
              "viWrite 0x300 *IDN?\n\n"
              "viRead 0x300 255\n"
              "viRead 0x300 3\n"
              "viClose 0x300\n",
              CallsOf(FAKE_VISA_LIBRARY));
    EXPECT_EQ("", diagnostics.str());
}

TEST(SystemBackend, LibrariesThatCannotServeAreRefusedWithAClearMessage) {
    const std::string notALibrary = ::testing::TempDir() + "not-a-library.so";
    std::ofstream(notALibrary) << "plain text\n";
    struct Case {
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {FAKE_VISA_WITHOUT_READ_LIBRARY, std::string("VISA library ") +
                                             FAKE_VISA_WITHOUT_READ_LIBRARY +
                                             " not available: it lacks the function viRead\n"},
        {"/nonexistent/libvisa.so", "VISA library /nonexistent/libvisa.so not available: "},
        {notALibrary, "VISA library " + notALibrary + " not available: "},
    };
    for (const Case& c : cases) {
        std::ostringstream diagnostics;
        EXPECT_EQ(nullptr, visa::LoadSystemBackend(c.path, diagnostics)) << c.path;
        EXPECT_EQ(c.message, diagnostics.str().substr(0, c.message.size())) << c.path;
    }
}

} // namespace
