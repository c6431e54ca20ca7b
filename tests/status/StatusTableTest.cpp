#include "status/StatusTable.h"

#include "status/StatusExplanations.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>

// Rows whose text or box no run of the window or of tq4800-flash in these tests shows.
TEST(StatusTable, BoxesAndTexts) {
    const std::tuple<StatusCode, const char*, bool> cases[] = {
        {STATUS_CANCELLED, "Update cancel.", false},
        {STATUS_CONNECT_FAILED, "Failed to connect device.", true},
        {STATUS_READ_FAILED, "Failed to Read data from device.", true},
        {STATUS_ALREADY_LATEST, "Firmware version is the latest update.", false},
    };
    for (const auto& [code, text, box] : cases) {
        EXPECT_EQ(StatusText(code), text) << code;
        EXPECT_EQ(StatusTable[code].showInBox != 0, box) << code;
    }
}

// Every row stands at its code's position, and every code is explained outside the window,
// also codes that share a table text (18 to 20) or have none: the rows the loader exchange owns
// (6 to 14) show no text and no box. Codes outside the table have no row.
TEST(StatusTable, EveryCodeHasItsRowAndItsOwnExplanation) {
    std::set<std::string_view> seen;
    for (StatusCode code = 0; code < STATUS_TABLE_SIZE; ++code) {
        const StatusRow& row = StatusTable[code];
        EXPECT_EQ(row.code, static_cast<std::uint32_t>(code));
        if (code >= STATUS_RESET_FAILED && code <= STATUS_FLASH_REPLY_FAILED) {
            EXPECT_EQ(std::string(row.text) + std::to_string(row.showInBox), "0") << code;
        }
        EXPECT_FALSE(ExplainStatus(code).empty()) << code;
        EXPECT_TRUE(seen.insert(ExplainStatus(code)).second) << code;
    }
    for (StatusCode code : {-1, 22, 69, 1 << 30}) {
        EXPECT_EQ(FindStatusRow(code), nullptr) << code;
        EXPECT_EQ(StatusText(code).size() + ExplainStatus(code).size(), 0u) << code;
    }
}
