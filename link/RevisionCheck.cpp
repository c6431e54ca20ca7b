#include "link/RevisionCheck.h"

#include "image/SegmentCatalogue.h"

#include <cstddef>
#include <cstring>

namespace {

// The loader reports its revisions in the 22 characters after the third comma of its
// identity reply, at fixed positions per flash region.
constexpr std::size_t REVISION_FIELD_LENGTH = 22;
constexpr int FIELD_COMMAS = 3;

enum class RevisionForm {
    MajorDotMinor, // "A.12": a digit or letter, ".", two digits
    Letter,        // "F"
    TwoDigits,     // "07"
};

struct RevisionKind {
    SegmentRow row;
    RevisionForm form;
    int comparedCount;
    int filePositions[3];
    int fieldPositions[3];
};

// In the order in which a type is matched against the regions.
constexpr RevisionKind REVISION_KINDS[] = {
    {ROW_MAIN, RevisionForm::MajorDotMinor, 3, {0, 2, 3}, {0, 2, 3}},
    {ROW_WRITER, RevisionForm::Letter, 1, {0}, {6}},
    {ROW_FPGA1, RevisionForm::TwoDigits, 2, {0, 1}, {9, 10}},
    {ROW_FPGA2, RevisionForm::TwoDigits, 2, {0, 1}, {12, 13}},
    {ROW_FPGA3, RevisionForm::TwoDigits, 2, {0, 1}, {15, 16}},
    {ROW_HTTP, RevisionForm::MajorDotMinor, 3, {0, 2, 3}, {18, 20, 21}},
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUpperLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

// Checked from character 0 on, so a short text fails at its NUL before anything is read
// past it.
bool HasForm(const char* revision, RevisionForm form) {
    switch (form) {
    case RevisionForm::MajorDotMinor:
        return (IsDigit(revision[0]) || IsUpperLetter(revision[0])) && revision[1] == '.' &&
               IsDigit(revision[2]) && IsDigit(revision[3]);
    case RevisionForm::Letter:
        return IsUpperLetter(revision[0]);
    case RevisionForm::TwoDigits:
        return IsDigit(revision[0]) && IsDigit(revision[1]);
    }
    return false;
}

const RevisionKind* FindKind(std::uint8_t type) {
    for (const RevisionKind& kind : REVISION_KINDS)
        if (SegmentCatalogue[kind.row].firstBlock == type)
            return &kind;
    return nullptr;
}

} // namespace

const char* FindRevisionField(const char* reply) {
    if (reply == nullptr)
        return nullptr;
    const char* field = reply;
    for (int comma = 0; comma < FIELD_COMMAS; ++comma) {
        field = std::strchr(field, ',');
        if (field == nullptr)
            return nullptr;
        ++field;
    }
    return std::strlen(field) == REVISION_FIELD_LENGTH ? field : nullptr;
}

bool IsFlashableRevision(std::uint8_t type, const char* fileRevision) {
    const RevisionKind* kind = FindKind(type);
    return kind != nullptr && fileRevision != nullptr && HasForm(fileRevision, kind->form);
}

StatusCode CheckRevision(std::uint8_t type, const char* fileRevision, const char* reply) {
    const char* field = FindRevisionField(reply);
    if (field == nullptr)
        return STATUS_DEVICE_REV_UNKNOWN;
    const RevisionKind* kind = FindKind(type);
    if (kind == nullptr)
        return STATUS_NOT_COMPLETE;
    if (!IsFlashableRevision(type, fileRevision))
        return STATUS_FILE_REV_BAD;
    // Compared as signed characters: digits rank below letters, and a byte of 0x80 or above
    // in the instrument's field ranks below both.
    for (int i = 0; i < kind->comparedCount; ++i) {
        const auto fileChar = static_cast<signed char>(fileRevision[kind->filePositions[i]]);
        const auto deviceChar = static_cast<signed char>(field[kind->fieldPositions[i]]);
        if (fileChar < deviceChar)
            return STATUS_DEVICE_NEWER;
        if (fileChar > deviceChar)
            return STATUS_COMPLETE;
    }
    return STATUS_COMPLETE;
}
