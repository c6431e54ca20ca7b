#include "fuzz/WholeUpdate.h"

#include "image/ImageWriter.h"
#include "image/MemoryImageStream.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "tests/fakes/PressUpdate.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

const ImageInfo& FuzzImage() {
    static const ImageInfo image = [] {
        ImageContents contents;
        contents.header = {"1.10", "TQ4800", "", "Fuzz image", "1.0.0"};
        const char* revisions[SEGMENT_COUNT] = {"02", "03", "04", "1.10", "2.01"};
        for (int position = 0; position < SEGMENT_COUNT; ++position) {
            contents.segments[position].revision = revisions[position];
            contents.segments[position].payload.assign(40 + position * 7,
                                                       static_cast<std::uint8_t>(position));
        }
        const std::vector<std::uint8_t> bytes = WriteImageFile(contents);
        MemoryImageStream stream(bytes); // reads the bytes in place
        ImageInfo loaded;
        if (LoadImageFile(stream, loaded) != STATUS_COMPLETE) {
            std::fprintf(stderr, "the fuzz targets' firmware file is not accepted\n");
            std::abort();
        }
        return loaded;
    }();
    return image;
}

UpdateOutcome RunWholeUpdate(std::unique_ptr<visa::ResourceProvider> instruments, Clock& clock,
                             std::string& log) {
    visa::InstallBackend(std::make_unique<visa::ResourceBackend>(std::move(instruments)));
    UpdateRecord update = PressUpdate(FuzzImage(), clock);
    visa::InstallBackend(nullptr);
    log = std::move(update.log);
    return update.outcome;
}
