#include "history/FirmwareFileFacts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>
#include <vector>

namespace {

std::string FixedText(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

std::string Hex(const unsigned char* bytes, unsigned int count) {
    std::string text;
    char pair[3];
    for (unsigned int i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// Reads the whole file from its start with pread, so the descriptor's position stays.
bool Sha256OfDescriptor(int descriptor, std::string& digest, std::int64_t& size) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return false;
    std::vector<char> buffer(1 << 16);
    size = 0;
    for (;;) {
        const ssize_t count = pread(descriptor, buffer.data(), buffer.size(), size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            break;
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(count)) != 1)
            return false;
        size += count;
    }
    unsigned char bytes[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), bytes, &length) != 1)
        return false;
    digest = Hex(bytes, length);
    return true;
}

} // namespace

FirmwareFileFacts DescribeLoadedFile(const std::string& path, int descriptor,
                                     const ImageInfo& image, std::string& problem) {
    FirmwareFileFacts facts;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    facts.path = error ? path : absolute.lexically_normal().string();
    facts.model = FixedText(image.ModelName, sizeof image.ModelName);
    facts.revision = FixedText(image.ImageRev, sizeof image.ImageRev);
    if (descriptor < 0 || !Sha256OfDescriptor(descriptor, facts.sha256, facts.size)) {
        facts.size = 0;
        facts.sha256.clear();
        problem = "the firmware file " + path + " cannot be read again for its SHA-256";
    }
    return facts;
}
