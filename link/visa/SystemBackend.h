#pragma once

// A vendor VISA shared library loaded at run time with dlopen; the eight calls are
// forwarded to the library's functions of the same names. The library stays loaded until
// the program ends. Its answers are checked: a read count larger than the buffer, a
// resource name without its end in VI_FIND_BUFLEN bytes and a search list that gives more
// names than it counted fail with VI_ERROR_SYSTEM_ERROR and a line on standard error.

#include "link/visa/Backend.h"

#include <iosfwd>
#include <memory>
#include <span>
#include <string>

namespace visa {

// Loads the VISA library at path (or a bare name, found the way the dynamic loader finds
// libraries). A library that does not load, or that lacks one of the eight functions, is
// refused: the result is null and the reason, naming the library and the missing
// function, is written to diagnostics.
std::unique_ptr<Backend> LoadSystemBackend(const std::string& path, std::ostream& diagnostics);

// The names under which vendors install their VISA library on Linux, in the order tried.
std::span<const char* const> InstalledVisaLibraryNames();

// The first of the installed names that loads with all eight functions; null when none
// does. Names that are not installed are passed over silently; a library that is there
// but unusable (corrupt, a dependency missing, a function missing) is reported.
std::unique_ptr<Backend> LoadInstalledVisaLibrary(std::ostream& diagnostics);

} // namespace visa
