#include "status/StatusExplanations.h"

const std::string_view StatusExplanations[STATUS_EXPLANATION_COUNT] = {
    "completed",
    "the instrument did not answer as expected",
    "declined at the question; the instrument is unchanged",
    "the instrument could not be reached",
    "sending to the instrument failed",
    "the instrument did not reply in time",
    "the loader did not accept the reset command",
    "a part could not be announced to the loader, or sending its data failed",
    "the loader did not confirm the end of a part",
    "the loader did not accept the type of a part",
    "the loader did not accept the length of a part",
    "the loader's checksum could not be read",
    "the loader's checksum differs from the file's",
    "the loader answered ERASE NG or PROGRAM NG while writing the flash",
    "the loader stopped reporting while programming the flash",
    "the instrument already runs this firmware",
    "the instrument runs newer firmware than the file",
    "the instrument did not report its firmware revision",
    "a revision in the file cannot be read",
    "the file is incomplete or not a TQ4800 firmware file",
    "a header value of the file is too long",
    "the file needs a newer version of this utility",
};

std::string_view ExplainStatus(StatusCode code) {
    if (code < 0 || code >= STATUS_EXPLANATION_COUNT)
        return {};
    return StatusExplanations[code];
}
