#pragma once

#include "status/StatusTable.h"

#include <string_view>

// A short explanation of every code for the outputs beyond the window: the fleet's table,
// the JSON result event and the history listing. The window keeps the status table's texts,
// where codes 6 to 14 have none. Rows follow the status table's codes and the help page's
// "Error numbers" table; the three change together.
inline constexpr int STATUS_EXPLANATION_COUNT = STATUS_TABLE_SIZE;
extern const std::string_view StatusExplanations[STATUS_EXPLANATION_COUNT];

// The explanation of a code; empty for a code outside the table.
std::string_view ExplainStatus(StatusCode code);
