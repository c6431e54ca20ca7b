#include "status/StatusTable.h"

// Rows 18, 19 and 20 share their text on purpose: only the logged number tells them apart.
const StatusRow StatusTable[STATUS_TABLE_SIZE] = {
    {0, "Update is complete.", 1},
    {1, "Update is not complete.", 1},
    {2, "Update cancel.", 0},
    {3, "Failed to connect device.", 1},
    {4, "Failed to write data to device.", 1},
    {5, "Failed to Read data from device.", 1},
    {6, "", 0},
    {7, "", 0},
    {8, "", 0},
    {9, "", 0},
    {10, "", 0},
    {11, "", 0},
    {12, "", 0},
    {13, "", 0},
    {14, "", 0},
    {15, "Firmware version is the latest update.", 0},
    {16, "There is a newer firmware revision run on current device.", 1},
    {17, "Can't verify which firmware revision currently used.", 1},
    {18, "The firmware revision file is corrupted.", 1},
    {19, "The firmware revision file is corrupted.", 1},
    {20, "The firmware revision file is corrupted.", 1},
    {21, "The utility is not compatible with this firmware revision file.", 1},
};

const StatusRow* FindStatusRow(StatusCode code) {
    if (code < 0 || code >= STATUS_TABLE_SIZE)
        return nullptr;
    return &StatusTable[code];
}

std::string_view StatusText(StatusCode code) {
    const StatusRow* row = FindStatusRow(code);
    return row ? std::string_view(row->text) : std::string_view();
}
