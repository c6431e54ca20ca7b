#include "link/visa/SystemBackend.h"

#include <dlfcn.h>
#include <ostream>

namespace visa {
namespace {

// The exported functions of a vendor library: plain C functions with the standard's
// types. ViAttrState is 64 bits wide here, as the library expects on x86-64.
extern "C" {
using OpenDefaultRMFunction = ViStatus (*)(ViSession*);
using FindRsrcFunction = ViStatus (*)(ViSession, ViConstString, ViFindList*, ViUInt32*, ViChar*);
using FindNextFunction = ViStatus (*)(ViFindList, ViChar*);
using OpenFunction = ViStatus (*)(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession*);
using SetAttributeFunction = ViStatus (*)(ViObject, ViAttr, ViAttrState);
using WriteFunction = ViStatus (*)(ViSession, ViConstBuf, ViUInt32, ViUInt32*);
using ReadFunction = ViStatus (*)(ViSession, ViBuf, ViUInt32, ViUInt32*);
using CloseFunction = ViStatus (*)(ViObject);
}

constexpr const char* kInstalledNames[] = {
    "libvisa.so",   "libvisa.so.0", "libvisa.so.7",
    "librsvisa.so", "libiovisa.so", "/usr/local/vxipnp/linux/lib64/libvisa.so",
};

struct LibraryCloser {
    void operator()(void* library) const { dlclose(library); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

class SystemBackend final : public Backend {
public:
    explicit SystemBackend(LibraryHandle library) : library_(std::move(library)) {}

    // False, with the name of the first function missing, unless all eight are there.
    bool Resolve(const char*& missing) {
        return Find("viOpenDefaultRM", openDefaultRM_, missing) &&
               Find("viFindRsrc", findRsrc_, missing) && Find("viFindNext", findNext_, missing) &&
               Find("viOpen", open_, missing) && Find("viSetAttribute", setAttribute_, missing) &&
               Find("viWrite", write_, missing) && Find("viRead", read_, missing) &&
               Find("viClose", close_, missing);
    }

    ViStatus OpenDefaultRM(ViSession* sesn) override { return openDefaultRM_(sesn); }
    ViStatus FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                      ViChar desc[VI_FIND_BUFLEN]) override {
        return findRsrc_(sesn, expr, findList, retcnt, desc);
    }
    ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) override {
        return findNext_(findList, desc);
    }
    ViStatus Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                  ViSession* vi) override {
        return open_(sesn, name, mode, timeout, vi);
    }
    ViStatus SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) override {
        return setAttribute_(vi, attrName, attrValue);
    }
    ViStatus Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override {
        return write_(vi, buf, cnt, retCnt);
    }
    ViStatus Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override {
        return read_(vi, buf, cnt, retCnt);
    }
    ViStatus Close(ViObject vi) override { return close_(vi); }

private:
    template <typename Function>
    bool Find(const char* name, Function& function, const char*& missing) {
        function = reinterpret_cast<Function>(dlsym(library_.get(), name));
        if (function == nullptr)
            missing = name;
        return function != nullptr;
    }

    LibraryHandle library_;
    OpenDefaultRMFunction openDefaultRM_ = nullptr;
    FindRsrcFunction findRsrc_ = nullptr;
    FindNextFunction findNext_ = nullptr;
    OpenFunction open_ = nullptr;
    SetAttributeFunction setAttribute_ = nullptr;
    WriteFunction write_ = nullptr;
    ReadFunction read_ = nullptr;
    CloseFunction close_ = nullptr;
};

std::unique_ptr<Backend> Load(const std::string& path, std::ostream& diagnostics,
                              bool quietWhenAbsent) {
    LibraryHandle library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library) {
        if (!quietWhenAbsent)
            diagnostics << "VISA library " << path << " not available: " << dlerror() << "\n";
        return nullptr;
    }
    auto backend = std::make_unique<SystemBackend>(std::move(library));
    const char* missing = nullptr;
    if (!backend->Resolve(missing)) {
        diagnostics << "VISA library " << path << " not available: it lacks the function "
                    << missing << "\n";
        return nullptr;
    }
    return backend;
}

} // namespace

std::unique_ptr<Backend> LoadSystemBackend(const std::string& path, std::ostream& diagnostics) {
    return Load(path, diagnostics, false);
}

std::span<const char* const> InstalledVisaLibraryNames() {
    return kInstalledNames;
}

std::unique_ptr<Backend> LoadInstalledVisaLibrary(std::ostream& diagnostics) {
    for (const char* name : kInstalledNames)
        if (auto backend = Load(name, diagnostics, true))
            return backend;
    return nullptr;
}

} // namespace visa
