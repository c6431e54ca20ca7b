#include "link/InstrumentSession.h"

#include "seams/DeviceList.h"

#include <cstring>

namespace {

constexpr char SEARCH_EXPRESSION[] = "USB0::0x1d7a::0x52c1::TW?*::INSTR";
constexpr ViUInt32 OPEN_TIMEOUT_MS = 1000;
constexpr ViUInt32 SESSION_TIMEOUT_MS = 5000;
constexpr ViUInt32 WRITER_SWITCH_TIMEOUT_MS = 2500;
constexpr char IDENTITY_QUERY[] = "*IDN?\n";
constexpr char WRITER_MODE_COMMAND[] = "syst:update TQ4800\n";
constexpr char WRITER_IDENTITY[] = "WRITER";
constexpr int NAME_BUFFER = 256;
constexpr int REPLY_BUFFER = 256;

} // namespace

InstrumentSession::InstrumentSession(DeviceList& devices) : m_combo(devices) {}

void InstrumentSession::OpenResourceManager() {
    m_viInstr = 0;
    visa::viOpenDefaultRM(&m_viRM);
}

void InstrumentSession::CloseResourceManager() {
    visa::viClose(m_viRM);
}

int InstrumentSession::FindInstruments() {
    m_combo.ResetContent();
    ViFindList findList = 0;
    ViUInt32 count = 0;
    ViChar description[VI_FIND_BUFLEN] = {};
    if (visa::viFindRsrc(m_viRM, SEARCH_EXPRESSION, &findList, &count, description) != VI_SUCCESS)
        return 0;
    if (count != 0) {
        m_combo.AddString(description);
        while (visa::viFindNext(findList, description) == VI_SUCCESS)
            m_combo.AddString(description);
    }
    // The search list is released as soon as the listing is done, not left to the resource
    // manager's close.
    visa::viClose(findList);
    return static_cast<int>(count);
}

// Opens the resource the Device list names into m_viInstr with the given I/O time-out. The
// session m_viInstr held before is closed first, so a replaced session never stays open.
static StatusCode OpenSelected(ViSession rm, ViSession& instr, const DeviceList& devices,
                               ViUInt32 timeoutMs) {
    char name[NAME_BUFFER] = {};
    std::string text = devices.CurrentText().substr(0, NAME_BUFFER - 2);
    std::memcpy(name, text.data(), text.size());
    visa::viClose(instr);
    instr = 0;
    if (visa::viOpen(rm, name, VI_NO_LOCK, OPEN_TIMEOUT_MS, &instr) != VI_SUCCESS)
        return STATUS_CONNECT_FAILED;
    if (visa::viSetAttribute(instr, VI_ATTR_TMO_VALUE, timeoutMs) != VI_SUCCESS)
        return STATUS_CONNECT_FAILED;
    return STATUS_COMPLETE;
}

StatusCode InstrumentSession::ConnectDevice() {
    return OpenSelected(m_viRM, m_viInstr, m_combo, SESSION_TIMEOUT_MS);
}

StatusCode InstrumentSession::EnterWriterMode() {
    StatusCode status = OpenSelected(m_viRM, m_viInstr, m_combo, WRITER_SWITCH_TIMEOUT_MS);
    if (status != STATUS_COMPLETE)
        return status;
    if (DeviceWrite(WRITER_MODE_COMMAND, sizeof WRITER_MODE_COMMAND - 1) != VI_SUCCESS)
        return STATUS_WRITE_FAILED;
    return STATUS_COMPLETE;
}

StatusCode InstrumentSession::QueryIdentity(std::string& reply) {
    if (DeviceWrite(IDENTITY_QUERY, sizeof IDENTITY_QUERY - 1) != VI_SUCCESS)
        return STATUS_WRITE_FAILED;
    char buffer[REPLY_BUFFER] = {};
    ViUInt32 count = 0;
    if (DeviceRead(buffer, REPLY_BUFFER - 1, count) != VI_SUCCESS)
        return STATUS_READ_FAILED;
    if (std::strncmp(buffer, WRITER_IDENTITY, sizeof WRITER_IDENTITY - 1) != 0)
        return STATUS_NOT_COMPLETE;
    reply = buffer;
    return STATUS_COMPLETE;
}

ViStatus InstrumentSession::DeviceWrite(const void* bytes, ViUInt32 count) {
    ViUInt32 written = 0;
    return visa::viWrite(m_viInstr, static_cast<ViConstBuf>(bytes), count, &written);
}

ViStatus InstrumentSession::DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) {
    count = 0;
    ViStatus status = visa::viRead(m_viInstr, reinterpret_cast<ViBuf>(buffer), limit, &count);
    if (status != VI_SUCCESS)
        return status;
    buffer[count] = '\0';
    for (char* c = buffer; *c != '\0'; ++c)
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');
    return VI_SUCCESS;
}

void InstrumentSession::DisconnectDevice() {
    visa::viClose(m_viInstr);
    m_viInstr = 0;
}
