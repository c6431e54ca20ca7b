#include "tools/tq4800-flash/SerialLog.h"

#include "image/PrintableText.h"

void SerialLog::OnFound() {
    unfinished_.assign(Members().size(), std::string());
}

// The window's "\r\n" line ends become "\n"; a lone "\r" is kept as it is.
void SerialLog::OnLog(std::size_t member, std::string_view text) {
    std::string& line = unfinished_[member];
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n') {
            PrintLine(member, line);
            line.clear();
        } else {
            line += text[i];
        }
    }
}

void SerialLog::OnResult(std::size_t member, const MemberResult&) {
    if (!unfinished_[member].empty())
        PrintLine(member, unfinished_[member]);
    unfinished_[member].clear();
}

void SerialLog::OnSummary(const std::vector<MemberResult>& results, int, double) {
    const std::string table = SummaryTable(Members(), results);
    std::fprintf(out_, "\n%s", table.c_str());
    std::fflush(out_);
}

// Serial numbers and log text come from instruments and files: printed escaped.
void SerialLog::PrintLine(std::size_t member, std::string_view line) {
    const std::string text = Printable(Members()[member].serial) + ": " + Printable(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}
