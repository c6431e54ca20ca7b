// Writes the usb backend fuzzer's seeds, one file each, into the folder given.

#include "fuzz/UsbScript.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-usb-seeds FOLDER\n");
        return 64;
    }
    for (const auto& [name, script] : usbfuzz::SeedScripts()) {
        std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(script.data()),
                  static_cast<std::streamsize>(script.size()));
        if (!out) {
            std::fprintf(stderr, "fuzz-usb-seeds: cannot write %s/%s\n", argv[1], name.c_str());
            return 73;
        }
    }
    return 0;
}
