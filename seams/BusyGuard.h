#pragma once

// The guards of a running update. SetBusy disables "..." and Update, ClearBusy enables
// both; while the updating flag is set, nothing may end the window.
class BusyGuard {
public:
    virtual ~BusyGuard() = default;
    virtual void SetBusy() = 0;
    virtual void ClearBusy() = 0;
    virtual void SetUpdating(bool updating) = 0;
    virtual bool IsUpdating() const = 0;
};
