#pragma once

// The instrument's loader: the binary command frames with which a segment is loaded,
// checked and programmed into flash. A frame is 12 bytes: 0xAB, a big-endian count of the
// bytes that follow the count (command, six parameters and any payload), the command code
// and six parameter bytes. The payload of a command may come in the same write or in any
// number of later ones.

#include "link/visa/visa.h"
#include "sim/Config.h"
#include "sim/Faults.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace sim {

inline constexpr std::uint8_t LOADER_MARKER = 0xAB;
inline constexpr int LOADER_PROGRAM = 3;
inline constexpr int LOADER_SET_LENGTH = 7;
inline constexpr int LOADER_GET_CHECKSUM = 8;
inline constexpr int LOADER_RESET = 10;
inline constexpr int LOADER_LOAD = 12;
inline constexpr int LOADER_LOAD_DONE = 13;
inline constexpr int LOADER_SET_TYPE = 20;

inline constexpr std::uint32_t FLASH_BLOCK_SIZE = 0x10000;

class Loader {
public:
    // Revisions are updated when a region is programmed; faults are read as they stand.
    Loader(Revisions& revisions, const std::vector<Fault>& faults, std::uint32_t flashLineMs);

    // Forgets any transfer in progress (the loader has just started); the flash stays.
    void Restart();
    // True while a frame, its payload or load data is only partly received: the next write
    // continues it rather than being read as text.
    bool InBinary() const { return state_ != State::Header || !header_.empty(); }
    // The segment transfer under way, counted by reset commands since the loader started.
    int Segment() const { return segment_; }

    // Takes one written message; its replies are queued. VI_ERROR_IO for a write the
    // faults refuse, VI_ERROR_CONN_LOST when the instrument is unplugged by a fault
    // (unplugged is then set).
    ViStatus Write(const ViByte* data, std::uint32_t count, std::deque<Reply>& replies,
                   bool& unplugged);

    // What a flash region holds (by its type, the first block); null when never programmed.
    const std::vector<std::uint8_t>* Flash(std::uint8_t type) const;

private:
    enum class State { Header, Payload, Data };

    void Consume(ViByte byte, std::deque<Reply>& replies);
    ViStatus TakeData(const ViByte* data, std::uint32_t count, std::deque<Reply>& replies,
                      bool& unplugged, std::uint32_t& taken);
    void HeaderComplete(std::deque<Reply>& replies);
    void Execute(std::deque<Reply>& replies);
    std::vector<Reply> ProgramLines();
    std::int64_t Checksum() const;
    void Send(std::deque<sim::Reply>& replies, std::vector<sim::Reply> lines);
    bool WriteRefused(const ViByte* data, std::uint32_t count) const;

    Revisions& revisions_;
    const std::vector<Fault>& faults_;
    std::uint32_t flashLineMs_;

    State state_ = State::Header;
    std::vector<std::uint8_t> header_;
    int command_ = 0;
    std::uint32_t payloadExpected_ = 0;
    std::vector<std::uint8_t> payload_;
    std::uint64_t loadExpected_ = 0;

    int segment_ = 0;
    std::shared_ptr<std::vector<std::uint8_t>> data_ =
        std::make_shared<std::vector<std::uint8_t>>();
    int type_ = -1;
    std::uint32_t toldLength_ = 0;
    std::map<std::uint8_t, std::shared_ptr<const std::vector<std::uint8_t>>> flash_;
};

} // namespace sim
