#pragma once

#include "link/DeviceIo.h"
#include "link/visa/visa.h"
#include "status/StatusTable.h"

#include <string>

class DeviceList;

// The utility's only way to the instrument: the resource-manager session for the window's
// whole life, the search that fills the Device list, and the session to the instrument the
// Device list names. Writes nothing to the log and never retries.
class InstrumentSession final : public DeviceIo {
public:
    explicit InstrumentSession(DeviceList& devices);

    void OpenResourceManager();
    void CloseResourceManager();
    // Refills the Device list; the count the search reported (0 when none).
    int FindInstruments();
    StatusCode ConnectDevice();   // 0 or 3
    StatusCode EnterWriterMode(); // 0, 3 or 4
    // 0 (loader mode; reply holds the whole upper-cased reply), 1 (not "WRITER"), 4 or 5.
    StatusCode QueryIdentity(std::string& reply);
    ViStatus DeviceWrite(const void* bytes, ViUInt32 count) override;
    ViStatus DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) override;
    void DisconnectDevice();

    ViSession m_viRM = 0;
    ViSession m_viInstr = 0;

private:
    DeviceList& m_combo;
};
