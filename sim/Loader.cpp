#include "sim/Loader.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// The regions the loader programs, by type (their first flash block).
struct Region {
    std::uint8_t type;
    std::uint32_t maxSize;
};

constexpr Region REGIONS[] = {
    {3, 0x10000}, {4, 0x20000}, {6, 0x20000}, {8, 0x60000}, {14, 0x100000},
};

const Region* FindRegion(int type) {
    for (const Region& region : REGIONS)
        if (region.type == type)
            return &region;
    return nullptr;
}

std::uint32_t ReadBigEndian(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// The length field: decimal digits, then NULs. Anything else makes it unreadable.
bool ParseLength(const std::vector<std::uint8_t>& field, std::uint32_t& length) {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (digits < field.size() && field[digits] >= '0' && field[digits] <= '9') {
        value = value * 10 + (field[digits] - '0');
        if (value > 0xFFFFFFFFu)
            return false;
        ++digits;
    }
    if (digits == 0)
        return false;
    for (std::size_t i = digits; i < field.size(); ++i)
        if (field[i] != 0)
            return false;
    length = static_cast<std::uint32_t>(value);
    return true;
}

// A programmed record carries its revision at bytes 12..15; the FPGA regions report two
// characters of it, MAIN and HTTP all four.
void TakeRevision(Revisions& revisions, int type, const std::vector<std::uint8_t>& record) {
    if (record.size() < 16)
        return;
    std::string text(record.begin() + 12, record.begin() + 16);
    switch (type) {
    case 3:
        revisions.fpga1 = text.substr(0, 2);
        break;
    case 4:
        revisions.fpga2 = text.substr(0, 2);
        break;
    case 6:
        revisions.fpga3 = text.substr(0, 2);
        break;
    case 8:
        revisions.http = text;
        break;
    case 14:
        revisions.main = text;
        break;
    default:
        break;
    }
}

// Room made at once for a load's data; a told count beyond 2 MiB grows as the bytes come.
constexpr std::uint64_t kMostLoadRoom = 2 * 1024 * 1024;

} // namespace

Loader::Loader(Revisions& revisions, const std::vector<Fault>& faults, std::uint32_t flashLineMs)
    : revisions_(revisions), faults_(faults), flashLineMs_(flashLineMs) {}

void Loader::Restart() {
    state_ = State::Header;
    header_.clear();
    payload_.clear();
    segment_ = 0;
    data_ = std::make_shared<std::vector<std::uint8_t>>();
    type_ = -1;
    toldLength_ = 0;
}

ViStatus Loader::Write(const ViByte* data, std::uint32_t count, std::deque<sim::Reply>& replies,
                       bool& unplugged) {
    if (WriteRefused(data, count))
        return VI_ERROR_IO;
    for (std::uint32_t i = 0; i < count;) {
        if (state_ != State::Data) {
            Consume(data[i++], replies);
            continue;
        }
        std::uint32_t taken = 0;
        ViStatus status = TakeData(data + i, count - i, replies, unplugged, taken);
        if (status != VI_SUCCESS)
            return status;
        i += taken;
    }
    return VI_SUCCESS;
}

// Load data is taken in runs up to the end of the load or the byte an unplug fault waits
// for, so that a megabyte costs a copy rather than a million steps.
ViStatus Loader::TakeData(const ViByte* data, std::uint32_t count, std::deque<sim::Reply>& replies,
                          bool& unplugged, std::uint32_t& taken) {
    if (data_.use_count() > 1) // kept by the flash as programmed
        data_ = std::make_shared<std::vector<std::uint8_t>>(*data_);
    const std::uint64_t first = data_->size();
    std::uint64_t take = std::min<std::uint64_t>(count, loadExpected_ - first);
    if (const Fault* unplug =
            FindFault(faults_, FaultKind::UnplugAfterData, DATA_WRITE, segment_)) {
        if (first >= unplug->count) {
            unplugged = true;
            return VI_ERROR_CONN_LOST;
        }
        take = std::min<std::uint64_t>(take, unplug->count - first);
    }
    data_->insert(data_->end(), data, data + take);
    for (const Fault& fault : faults_)
        if (fault.kind == FaultKind::CorruptByte && fault.count >= first &&
            fault.count < data_->size() && (fault.segment == 0 || fault.segment == segment_))
            (*data_)[fault.count] ^= 0xFF;
    taken = static_cast<std::uint32_t>(take);
    if (data_->size() == loadExpected_) {
        state_ = State::Header;
        Send(replies, {{"OK"}});
    }
    return VI_SUCCESS;
}

bool Loader::WriteRefused(const ViByte* data, std::uint32_t count) const {
    if (state_ == State::Data) {
        std::uint64_t first = data_->size();
        std::uint64_t last = first + std::min<std::uint64_t>(count, loadExpected_ - first);
        for (const Fault& fault : faults_)
            if (fault.kind == FaultKind::FailWrite && fault.command == DATA_WRITE &&
                (fault.segment == 0 || fault.segment == segment_) && fault.count >= first &&
                fault.count < last)
                return true;
        return false;
    }
    if (InBinary() || count < 6 || data[0] != LOADER_MARKER)
        return false;
    int command = data[5];
    int segment = command == LOADER_RESET ? segment_ + 1 : segment_;
    return FindFault(faults_, FaultKind::FailWrite, command, segment) != nullptr;
}

// One byte of a frame's header or of a command's payload.
void Loader::Consume(ViByte byte, std::deque<sim::Reply>& replies) {
    if (state_ == State::Payload) {
        payload_.push_back(byte);
        if (payload_.size() == payloadExpected_) {
            state_ = State::Header;
            Execute(replies);
        }
        return;
    }
    header_.push_back(byte);
    if (header_.size() == 12)
        HeaderComplete(replies);
}

void Loader::HeaderComplete(std::deque<sim::Reply>& replies) {
    std::vector<std::uint8_t> header;
    header.swap(header_);
    if (header[0] != LOADER_MARKER)
        return; // not a frame: dropped
    std::uint32_t bodyLength = ReadBigEndian(&header[1]);
    command_ = header[5];
    std::uint32_t payload = bodyLength >= 7 ? bodyLength - 7 : 0;
    if (command_ == LOADER_LOAD) {
        data_ = std::make_shared<std::vector<std::uint8_t>>();
        data_->reserve(std::min<std::uint64_t>(payload, kMostLoadRoom));
        loadExpected_ = payload;
        if (payload == 0)
            Send(replies, {{"OK"}});
        else
            state_ = State::Data;
        return;
    }
    payload_.assign(header.begin() + 6, header.end()); // parameters first, then the payload
    payloadExpected_ = 6 + payload;
    if (payload == 0)
        Execute(replies);
    else
        state_ = State::Payload;
}

void Loader::Execute(std::deque<sim::Reply>& replies) {
    std::vector<std::uint8_t> body(payload_.begin() + 6, payload_.end());
    switch (command_) {
    case LOADER_RESET:
        if (std::memcmp(payload_.data(), "RESET!", 6) != 0)
            return;
        ++segment_;
        data_ = std::make_shared<std::vector<std::uint8_t>>();
        loadExpected_ = 0;
        type_ = -1;
        toldLength_ = 0;
        Send(replies, {{"OK"}});
        return;
    case LOADER_LOAD_DONE:
        Send(replies, {{"OK"}});
        return;
    case LOADER_SET_TYPE:
        type_ = body.empty() ? -1 : body[0];
        Send(replies, {{"OK"}});
        return;
    case LOADER_SET_LENGTH:
        Send(replies, {{ParseLength(body, toldLength_) ? "OK" : "NG"}});
        return;
    case LOADER_GET_CHECKSUM: {
        std::int64_t sum = Checksum();
        if (FindFault(faults_, FaultKind::ChecksumUnsigned, command_, segment_))
            sum = static_cast<std::uint32_t>(sum);
        Send(replies, {{std::to_string(sum)}});
        return;
    }
    case LOADER_PROGRAM:
        Send(replies, ProgramLines());
        return;
    default:
        return; // unknown commands are ignored
    }
}

// The sum of big-endian words over what was received from byte 8, for the told length less
// 8 rounded up to whole words; bytes never received count as zero.
std::int64_t Loader::Checksum() const {
    std::uint32_t sum = 0;
    if (toldLength_ > 8) {
        std::uint64_t end = 8 + ((std::uint64_t{toldLength_} - 8 + 3) / 4) * 4;
        std::uint64_t offset = 8;
        for (; offset + 4 <= std::min<std::uint64_t>(end, data_->size()); offset += 4)
            sum += ReadBigEndian(&(*data_)[offset]);
        for (; offset < end; offset += 4) {
            std::uint8_t word[4] = {};
            for (std::uint64_t i = 0; i < 4; ++i)
                if (offset + i < data_->size())
                    word[i] = (*data_)[offset + i];
            sum += ReadBigEndian(word);
        }
    }
    return static_cast<std::int32_t>(sum);
}

std::vector<sim::Reply> Loader::ProgramLines() {
    const Region* region = FindRegion(type_);
    auto line = [this](std::string text) { return sim::Reply{std::move(text), flashLineMs_}; };
    if (FindFault(faults_, FaultKind::AlreadyLatest, command_, segment_))
        return {line("DATA IS THE LATEST UPDATE")};
    if (!region || data_->size() > std::size_t{region->maxSize} + 6 ||
        FindFault(faults_, FaultKind::EraseNg, command_, segment_))
        return {line("ERASE NG")};

    // The blocks the record covers, within the region: a record of a full region's size
    // plus its 6 trailing bytes still erases only the region's own blocks.
    std::size_t blocks =
        std::clamp<std::size_t>((data_->size() + FLASH_BLOCK_SIZE - 1) / FLASH_BLOCK_SIZE, 1,
                                region->maxSize / FLASH_BLOCK_SIZE);
    std::vector<sim::Reply> lines;
    for (std::size_t i = 0; i < blocks; ++i)
        lines.push_back(line("ERAS:" + std::to_string(type_ + i)));
    if (FindFault(faults_, FaultKind::ProgramNg, command_, segment_)) {
        lines.push_back(line("PROGRAM NG"));
        return lines;
    }
    for (std::size_t i = 0; i < blocks; ++i)
        lines.push_back(line("PROG:" + std::to_string(type_ + i)));
    lines.push_back(line("RTNOK"));
    lines.push_back(line("OK"));
    // The flash keeps the received bytes themselves; a later load receives into a new buffer.
    flash_[static_cast<std::uint8_t>(type_)] = data_;
    TakeRevision(revisions_, type_, *data_);
    return lines;
}

void Loader::Send(std::deque<sim::Reply>& replies, std::vector<sim::Reply> lines) {
    Answer(faults_, command_, segment_, std::move(lines), replies);
}

const std::vector<std::uint8_t>* Loader::Flash(std::uint8_t type) const {
    auto found = flash_.find(type);
    return found == flash_.end() ? nullptr : found->second.get();
}

} // namespace sim
