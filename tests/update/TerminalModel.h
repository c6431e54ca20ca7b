#pragma once

// What a VT100-like terminal shows for the bytes the fleet's screen writes to it: printable
// characters with automatic wrap at the last column, CR, LF (scrolling into a history), cursor
// up, erase in line and below. A resize cuts each row and keeps the cursor inside, as xterm
// does. Enough to see stale or wrapped lines.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

class TerminalModel {
public:
    TerminalModel(int columns, int rows)
        : columns_(columns), rows_(static_cast<std::size_t>(rows), std::string()) {}

    void Feed(std::string_view bytes) {
        for (char c : bytes)
            Take(static_cast<unsigned char>(c));
    }

    void Resize(int columns) {
        columns_ = columns;
        for (std::string& row : rows_)
            if (row.size() > static_cast<std::size_t>(columns))
                row.resize(static_cast<std::size_t>(columns));
        x_ = std::min(x_, columns_ - 1);
        pendingWrap_ = false;
    }

    // Every row that scrolled off the top, then the screen's rows, without trailing blanks.
    std::vector<std::string> AllRows() const {
        std::vector<std::string> all = history_;
        for (const std::string& row : rows_)
            all.push_back(row.substr(0, row.find_last_not_of(' ') + 1));
        return all;
    }

private:
    void Take(unsigned char c) {
        if (state_ == State::Escape) {
            state_ = c == '[' ? State::Csi : State::Text;
            parameters_.clear();
        } else if (state_ == State::Csi) {
            Csi(c);
        } else if (c == 0x1B) {
            state_ = State::Escape;
        } else if (c == '\r') {
            x_ = 0, pendingWrap_ = false;
        } else if (c == '\n') {
            LineFeed();
        } else if (c >= 0x20) {
            Put(static_cast<char>(c));
        }
    }

    void Csi(unsigned char c) {
        if (c < 0x40) {
            parameters_ += static_cast<char>(c);
            return;
        }
        state_ = State::Text;
        const int n = parameters_.empty() ? 0 : std::atoi(parameters_.c_str());
        pendingWrap_ = false;
        if (c == 'A')
            y_ = std::max(0, y_ - std::max(n, 1));
        else if (c == 'K')
            EraseInRow(y_, n == 0 ? x_ : 0);
        else if (c == 'J')
            for (int row = y_; row < static_cast<int>(rows_.size()); ++row)
                EraseInRow(row, row == y_ && n == 0 ? x_ : 0);
    }

    void EraseInRow(int row, int from) {
        std::string& text = rows_[static_cast<std::size_t>(row)];
        if (text.size() > static_cast<std::size_t>(from))
            text.resize(static_cast<std::size_t>(from));
    }

    void Put(char c) {
        if (pendingWrap_) {
            x_ = 0;
            LineFeed();
        }
        std::string& row = rows_[static_cast<std::size_t>(y_)];
        if (row.size() <= static_cast<std::size_t>(x_))
            row.resize(static_cast<std::size_t>(x_) + 1, ' ');
        row[static_cast<std::size_t>(x_)] = c;
        if (x_ == columns_ - 1)
            pendingWrap_ = true;
        else
            ++x_;
    }

    void LineFeed() {
        pendingWrap_ = false;
        if (y_ + 1 < static_cast<int>(rows_.size())) {
            ++y_;
            return;
        }
        history_.push_back(rows_.front());
        rows_.erase(rows_.begin());
        rows_.emplace_back();
    }

    enum class State { Text, Escape, Csi };
    int columns_;
    std::vector<std::string> rows_;
    std::vector<std::string> history_;
    int x_ = 0, y_ = 0;
    bool pendingWrap_ = false;
    State state_ = State::Text;
    std::string parameters_;
};
