#pragma once

#include <optional>
#include <string>

// The file-open dialog of the "..." button: no file-type filter, no default extension, no
// initial name. The chosen file's full path, or nothing when the operator did not confirm
// one.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual std::optional<std::string> ChooseFile() = 0;
};
