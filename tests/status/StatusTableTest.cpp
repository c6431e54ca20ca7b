#include "status/StatusTable.h"

#include "status/StatusExplanations.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>

// Every row's code equals its position, texts fit their 64-byte field, and the rows the
// loader exchange owns (6 to 14) are silent: no text, no box.
TEST(StatusTable, RowsAreConsistent) {
    for (int code = 0; code < STATUS_TABLE_SIZE; ++code) {
        const StatusRow& row = StatusTable[code];
        EXPECT_EQ(row.code, static_cast<std::uint32_t>(code));
        EXPECT_LT(std::strlen(row.text), sizeof row.text);
        if (code >= STATUS_RESET_FAILED && code <= STATUS_FLASH_REPLY_FAILED) {
            EXPECT_STREQ(row.text, "") << code;
            EXPECT_EQ(row.showInBox, 0u) << code;
        }
    }
}

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

TEST(StatusTable, CodesOutsideTheTableHaveNoRow) {
    for (StatusCode code : {-1, 22, 69, 1 << 30}) {
        EXPECT_EQ(FindStatusRow(code), nullptr) << code;
        EXPECT_EQ(StatusText(code), "") << code;
        EXPECT_EQ(ExplainStatus(code), "") << code;
    }
}

// Outside the window every code is explained, and codes that share a table text (18 to 20)
// or have none (6 to 14) are told apart.
TEST(StatusTable, EveryCodeHasItsOwnExplanation) {
    std::set<std::string_view> seen;
    for (StatusCode code = 0; code < STATUS_TABLE_SIZE; ++code) {
        EXPECT_FALSE(ExplainStatus(code).empty()) << code;
        EXPECT_TRUE(seen.insert(ExplainStatus(code)).second) << code;
    }
}
