#pragma once

// Keeps the window alive during a long transfer: handles every pending event (repaints,
// clicks, close requests) and returns as soon as none is left; never waits for a new one.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void PumpMessages() = 0;
};
