#pragma once

// Recording stand-ins for the window's seams, shared by the test suites.

#include "seams/BusyGuard.h"
#include "seams/Clock.h"
#include "seams/DeviceList.h"
#include "seams/EventPump.h"
#include "seams/Log.h"
#include "seams/MessageBoxes.h"
#include "seams/PowerHold.h"
#include "seams/Progress.h"
#include "seams/UpdateJournal.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <strings.h>
#include <vector>

// A clock that only moves when someone sleeps on it; every sleep is recorded.
class FakeClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    std::uint64_t NowMs() const override { return now; }

    std::uint64_t now = 1'000'000;
    std::vector<std::uint32_t> sleeps;
};

// Keeps the log as the window's pane would hold it; ReportStatus is recorded, not drawn.
class RecordingLog final : public Log {
public:
    void AppendLog(std::string_view text) override { text_.append(text); }
    void ClearLog() override { text_.clear(); }
    void ReportStatus(StatusCode code) override {
        reported.push_back(code);
        text_ = "\r\nError number: " + std::to_string(code);
    }
    const std::string& text() const { return text_; }

    std::vector<StatusCode> reported;

private:
    std::string text_;
};

// Sorted without regard to case, like the window's Device list.
class FakeDeviceList final : public DeviceList {
public:
    void ResetContent() override {
        items.clear();
        selected = -1;
    }
    void AddString(std::string_view name) override {
        auto less = [](const std::string& a, const std::string& b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        };
        items.insert(std::lower_bound(items.begin(), items.end(), std::string(name), less),
                     std::string(name));
    }
    void SelectPrefixOrFirst(std::string_view prefix) override {
        if (items.empty())
            return;
        auto found = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
            return strncasecmp(item.c_str(), std::string(prefix).c_str(), prefix.size()) == 0;
        });
        selected = found == items.end() ? 0 : static_cast<int>(found - items.begin());
    }
    std::string CurrentText() const override {
        if (selected < 0 || selected >= Count())
            return {};
        return items[static_cast<std::size_t>(selected)].substr(0, 254);
    }
    int Count() const override { return static_cast<int>(items.size()); }

    std::vector<std::string> items;
    int selected = -1;
};

class RecordingProgress final : public Progress, public StepIndicator {
public:
    void SetRange(std::uint16_t lower, std::uint16_t upper) override {
        low = lower;
        high = upper;
    }
    void SetPos(int position) override { pos = position; }
    void SetStep(int s) override { step = s; }
    void StepIt() override {
        pos = SteppedPosition(pos, step, low, high);
        ++steps;
    }
    void SetStepText(std::string_view text) override { stepText = std::string(text); }

    int low = 0, high = 100, pos = 0, step = 10, steps = 0;
    std::string stepText = "5 / 5";
};

// Answers every box with a fixed answer (or the one the test scripts) and records its text.
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        std::string text;
    };
    MessageAnswer ShowMessage(std::string_view text, std::string_view, MessageButtons buttons,
                              MessageIcon) override {
        shown.push_back({std::string(text)});
        if (onShow)
            onShow();
        if (buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        return answer;
    }

    MessageAnswer answer = MessageAnswer::Yes;
    std::function<void()> onShow;
    std::vector<Shown> shown;
};

class CountingPump final : public EventPump {
public:
    void PumpMessages() override {
        ++pumps;
        if (onPump)
            onPump();
    }
    int pumps = 0;
    std::function<void()> onPump;
};

class FakeBusyGuard final : public BusyGuard {
public:
    void SetBusy() override {
        busy = true;
        events.push_back("SetBusy");
    }
    void ClearBusy() override {
        busy = false;
        events.push_back("ClearBusy");
    }
    void SetUpdating(bool u) override {
        updating = u;
        events.push_back(u ? "Updating=1" : "Updating=0");
    }
    bool IsUpdating() const override { return updating; }

    bool busy = false, updating = false;
    std::vector<std::string> events;
};

// What the update tells its journal, one text a call, and the segments as bit masks.
class RecordingJournal final : public UpdateJournal {
public:
    void RunStarted(std::string_view resourceName) override {
        events.push_back("start " + std::string(resourceName));
    }
    void RunConfirmed() override { events.push_back("confirmed"); }
    void InstrumentRevision(std::string_view field) override {
        events.push_back("revision " + std::string(field));
    }
    void SegmentDone(int position, bool alreadyHeld) override {
        (alreadyHeld ? held : flashed) |= 1 << position;
        events.push_back("segment " + std::to_string(position));
    }
    void RunEnded(StatusCode status) override { events.push_back("end " + std::to_string(status)); }

    std::vector<std::string> events;
    int flashed = 0, held = 0;
};

// Writes its holds and releases into another fake's event list, so that their order with
// the buttons and the close guard shows.
class RecordingPowerHold final : public PowerHold {
public:
    explicit RecordingPowerHold(std::vector<std::string>& events) : events_(events) {}
    void Hold(std::string_view resourceName) override {
        events_.push_back("Hold " + std::string(resourceName));
        if (onHold)
            onHold();
    }
    void Release() override { events_.push_back("Release"); }

    std::function<void()> onHold;

private:
    std::vector<std::string>& events_;
};
