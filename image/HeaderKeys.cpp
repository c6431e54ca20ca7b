#include "image/HeaderKeys.h"

const HeaderKey HeaderKeys[HEADER_KEY_COUNT] = {
    {"ImageRev", HeaderField::ImageRev, 15, true},
    {"ModelName", HeaderField::ModelName, 63, true},
    {"RevsNotSupport", HeaderField::RevsNotSupport, 15, true},
    {"UpdatedDescription", HeaderField::UpdatedDescription, 511, false},
    {"UtilityRev", HeaderField::UtilityRev, 15, true},
};

const HeaderKey* FindHeaderKey(std::string_view key) {
    for (const HeaderKey& entry : HeaderKeys) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

namespace {
template <typename Char, typename Info> std::span<Char> FieldText(Info& image, HeaderField field) {
    switch (field) {
    case HeaderField::ImageRev:
        return image.ImageRev;
    case HeaderField::ModelName:
        return image.ModelName;
    case HeaderField::RevsNotSupport:
        return image.RevsNotSupport;
    case HeaderField::UpdatedDescription:
        return image.UpdatedDescription;
    case HeaderField::UtilityRev:
        break;
    }
    return image.UtilityRev;
}
} // namespace

std::span<char> HeaderFieldText(ImageInfo& image, HeaderField field) {
    return FieldText<char>(image, field);
}

std::span<const char> HeaderFieldText(const ImageInfo& image, HeaderField field) {
    return FieldText<const char>(image, field);
}
