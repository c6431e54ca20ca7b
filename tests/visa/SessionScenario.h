#pragma once

// The instrument session's opening moves of an update, run against whatever VISA backend is
// installed: search, connect, identify in normal firmware, switch to the loader, wait,
// reconnect, identify the loader.

#include "fakes/Fakes.h"
#include "link/InstrumentSession.h"
#include "seams/Clock.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

inline void ConnectIdentifySwitchReconnect(Clock& clock) {
    FakeDeviceList devices;
    InstrumentSession session(devices);
    session.OpenResourceManager();
    EXPECT_EQ(1, session.FindInstruments());
    devices.selected = 0;
    std::string reply;
    EXPECT_EQ(STATUS_COMPLETE, session.ConnectDevice());
    EXPECT_EQ(STATUS_NOT_COMPLETE, session.QueryIdentity(reply));
    EXPECT_EQ(STATUS_COMPLETE, session.EnterWriterMode());
    clock.SleepMs(2500);
    EXPECT_EQ(STATUS_COMPLETE, session.ConnectDevice());
    EXPECT_EQ(STATUS_COMPLETE, session.QueryIdentity(reply));
    EXPECT_EQ(0u, reply.rfind("WRITER,TQ4800,TW00012345,", 0)) << reply;
    session.DisconnectDevice();
    session.CloseResourceManager();
}

// The messages that crossed the wire ("write HEX", "read HEX"), without session numbers.
inline std::vector<std::string> WireTraffic(const std::vector<std::string>& transcript) {
    std::vector<std::string> traffic;
    for (const std::string& line : transcript) {
        const std::size_t verb = line.find(' ');
        const std::string kind = line.substr(0, verb);
        if (kind == "write" || kind == "read")
            traffic.push_back(kind + line.substr(line.find(' ', verb + 1)));
    }
    return traffic;
}
