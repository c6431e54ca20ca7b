#pragma once

#include <string>

// A new, empty file beside the output, ".NAME.XXXXXX", that becomes the output by a rename.
// Until then it is removed when the object goes away, and also when Ctrl-C, Ctrl-\, a
// hang-up or a termination request ends the program: the handler removes it and the signal
// then ends the program as it would have. A signal the caller ignores (nohup) stays ignored.
// One at a time per process.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // -1 when the file could not be made; errno says why.
    int Descriptor() const { return descriptor_; }
    // Closes the file and renames it to target: false with errno when either fails.
    bool Commit(const std::string& target);

private:
    void Remove();

    std::string path_;
    int descriptor_ = -1;
};
