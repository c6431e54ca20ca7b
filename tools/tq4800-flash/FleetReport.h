#pragma once

// What a fleet update tells its operator or its script, from every instrument's thread.
// Each event is handled under one lock, so lines from different instruments never mix.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One instrument of the fleet, in the order of the list (search order, or the order of the
// --device options).
struct FleetInstrument {
    std::string resourceName;
    std::string serial;
};

// Where an instrument's update stands within its five segments.
struct SegmentProgress {
    int segment = 0;         // 0 (FPGA1) to 4 (HTTP)
    int percent = 0;         // of the whole update's segment data
    double secondsLeft = -1; // from the pace so far; negative while unknown
};

struct MemberResult {
    int code = 0;       // the status code, or EXIT_UNAVAILABLE when it was not found again
    std::string text;   // "Update is complete." or the status text (may be empty)
    double seconds = 0; // from the start of its thread to its end
};

class FleetReport {
public:
    virtual ~FleetReport() = default;

    void Found(const std::vector<FleetInstrument>& members);
    // The question has been answered: the updates go on from here.
    void Begin();
    void Log(std::size_t member, std::string_view text);
    void Progress(std::size_t member, const SegmentProgress& progress);
    void Result(std::size_t member, const MemberResult& result);
    void Summary(const std::vector<MemberResult>& results, int exitCode, double seconds);
    // A line for the operator beside the instruments' own (a service that is missing, a
    // refused request to stop), from any thread.
    void Note(std::string_view text);

protected:
    const std::vector<FleetInstrument>& Members() const { return members_; }
    // Notes go to standard error, whole lines, unless the report places them itself.
    virtual void OnNote(std::string_view text);

private:
    virtual void OnFound() {}
    void NoteRefusedStop();
    virtual void OnBegin() {}
    virtual void OnLog(std::size_t member, std::string_view text) = 0;
    virtual void OnProgress(std::size_t member, const SegmentProgress& progress) = 0;
    virtual void OnResult(std::size_t member, const MemberResult& result) = 0;
    virtual void OnSummary(const std::vector<MemberResult>& results, int exitCode,
                           double seconds) = 0;

    std::mutex lock_;
    std::vector<FleetInstrument> members_;
};

// The segment names in file order, as the summary and the JSON events give them.
std::string_view SegmentName(int segment);

// A result as the operator reads it: its text, or for a code without one (the loader's
// steps) the window's "Error number: N".
std::string ResultText(const MemberResult& result);

// A short explanation of the result's code, for every code.
std::string_view Explanation(const MemberResult& result);

// The results as a table that fits 80 columns: serial, code, time and the explanation,
// wrapped within its column; serial numbers printable.
std::string SummaryTable(const std::vector<FleetInstrument>& members,
                         const std::vector<MemberResult>& results);
