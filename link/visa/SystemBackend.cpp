#include "link/visa/SystemBackend.h"

#include <cstring>
#include <dlfcn.h>
#include <iostream>
#include <map>
#include <mutex>

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

// A vendor library is trusted code, but its answers are still bounded: a read count past
// the buffer, a name without its NUL and a search list longer than its count are refused
// with a message rather than believed. The table of open search lists is shared by every
// thread that searches.
class SystemBackend final : public Backend {
public:
    SystemBackend(LibraryHandle library, std::string path, std::ostream& diagnostics)
        : library_(std::move(library)), path_(std::move(path)), diagnostics_(diagnostics) {}

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
        ViChar name[VI_FIND_BUFLEN] = {};
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        ViStatus status = findRsrc_(sesn, expr, &list, &count, name);
        if (findList)
            *findList = list;
        if (retcnt)
            *retcnt = count;
        if (status < VI_SUCCESS)
            return status;
        status = TakeName(name, desc, "viFindRsrc");
        if (status != VI_SUCCESS) {
            close_(list);
            if (findList)
                *findList = VI_NULL;
            return status;
        }
        const std::lock_guard lock(mutex_);
        namesLeft_[list] = count == 0 ? 0 : count - 1;
        return status;
    }
    ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) override {
        {
            const std::lock_guard lock(mutex_);
            const auto left = namesLeft_.find(findList);
            if (left != namesLeft_.end() && left->second == kOverrun)
                return VI_ERROR_SYSTEM_ERROR;
        }
        ViChar name[VI_FIND_BUFLEN] = {};
        const ViStatus status = findNext_(findList, name);
        if (status < VI_SUCCESS)
            return status;
        if (!CountName(findList))
            return VI_ERROR_SYSTEM_ERROR;
        return TakeName(name, desc, "viFindNext");
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
        ViUInt32 count = 0;
        ViStatus status = read_(vi, buf, cnt, &count);
        if (count > cnt) {
            Say("viRead reported " + std::to_string(count) + " bytes for a buffer of " +
                std::to_string(cnt));
            count = 0;
            status = VI_ERROR_SYSTEM_ERROR;
        }
        if (retCnt)
            *retCnt = count;
        return status;
    }
    ViStatus Close(ViObject vi) override {
        {
            const std::lock_guard lock(mutex_);
            namesLeft_.erase(vi);
        }
        return close_(vi);
    }

private:
    template <typename Function>
    bool Find(const char* name, Function& function, const char*& missing) {
        function = reinterpret_cast<Function>(dlsym(library_.get(), name));
        if (function == nullptr)
            missing = name;
        return function != nullptr;
    }

    static constexpr ViUInt32 kOverrun = ~ViUInt32{0};

    // Copies a name the library wrote into desc, unless it is not terminated in the buffer.
    ViStatus TakeName(const ViChar* name, ViChar* desc, const char* function) {
        if (std::memchr(name, '\0', VI_FIND_BUFLEN) == nullptr) {
            Say(std::string("a resource name from ") + function + " has no end within " +
                std::to_string(VI_FIND_BUFLEN) + " bytes");
            if (desc)
                desc[0] = '\0';
            return VI_ERROR_SYSTEM_ERROR;
        }
        if (desc)
            std::memcpy(desc, name, VI_FIND_BUFLEN);
        return VI_SUCCESS;
    }

    // False once the list has given more names than viFindRsrc counted.
    bool CountName(ViFindList findList) {
        const std::lock_guard lock(mutex_);
        ViUInt32& left = namesLeft_[findList];
        if (left == 0 || left == kOverrun) {
            left = kOverrun;
            diagnostics_ << "VISA library " << path_
                         << ": viFindNext gives more names than viFindRsrc counted\n";
            return false;
        }
        --left;
        return true;
    }

    void Say(const std::string& problem) {
        const std::lock_guard lock(mutex_);
        diagnostics_ << "VISA library " << path_ << ": " << problem << "\n";
    }

    LibraryHandle library_;
    std::string path_;
    std::ostream& diagnostics_;
    std::mutex mutex_; // guards namesLeft_ and the diagnostics
    std::map<ViFindList, ViUInt32> namesLeft_;
    OpenDefaultRMFunction openDefaultRM_ = nullptr;
    FindRsrcFunction findRsrc_ = nullptr;
    FindNextFunction findNext_ = nullptr;
    OpenFunction open_ = nullptr;
    SetAttributeFunction setAttribute_ = nullptr;
    WriteFunction write_ = nullptr;
    ReadFunction read_ = nullptr;
    CloseFunction close_ = nullptr;
};

// dlopen's words for a name found nowhere. A missing dependency gets the same words after
// the dependency's name, and is reported.
bool NoSuchFile(const std::string& path, const std::string& error) {
    return error == path + ": cannot open shared object file: No such file or directory";
}

// Loaded to stay: libraries that start threads of their own crash the program when their
// code is unloaded under those threads, so RTLD_NODELETE keeps it mapped until the end.
std::unique_ptr<Backend> Load(const std::string& path, std::ostream& diagnostics,
                              bool quietWhenAbsent) {
    LibraryHandle library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!library) {
        const std::string error = dlerror();
        if (!quietWhenAbsent || !NoSuchFile(path, error))
            diagnostics << "VISA library " << path << " not available: " << error << "\n";
        return nullptr;
    }
    // Problems met while the library serves go to standard error, as the usb backend's do.
    auto backend = std::make_unique<SystemBackend>(std::move(library), path, std::cerr);
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
