#include "history/HistoryRecord.h"

#include "status/StatusTable.h"

std::string ResultText(const HistoryRecord& record) {
    if (record.state != "ended" || !record.statusCode)
        return record.state;
    const std::string_view text = StatusText(*record.statusCode);
    if (text.empty())
        return "Error number: " + std::to_string(*record.statusCode);
    return std::string(text);
}
