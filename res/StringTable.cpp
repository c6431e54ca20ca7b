#include "res/StringTable.h"

#include "res/Resource.h"

namespace {
struct StringResource {
    int id;
    const char* text;
};

// String 103 is the one text of the utility that is not English: "the sockets layer could
// not be started", kept as the utility has always shown it.
constexpr StringResource Strings[] = {
    {IDP_SOCKETS_INIT_FAILED, "Windows sockets 啟始失敗。"},
};
} // namespace

const char* LoadResourceString(int id) {
    for (const StringResource& entry : Strings)
        if (entry.id == id)
            return entry.text;
    return "";
}
