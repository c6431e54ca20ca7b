#pragma once

#include <functional>

// Starts the platform's sockets layer; whether it started. The utility never opens a
// socket, but it does not run without the layer.
bool AfxSocketInit();

// Constructs the main window, runs it modally and destroys it when it ends.
void RunUpdateDialog();

// The application: starts the sockets layer, then runs the one window until it ends.
class CUpdateApp {
public:
    explicit CUpdateApp(std::function<bool()> startSockets = AfxSocketInit,
                        std::function<void()> runDialog = RunUpdateDialog);

    // Returns false in every case: the process ends when the window ends, or at once when
    // the sockets layer does not start (after a box saying so; no window is created).
    bool InitInstance();
    // The process's exit code after InitInstance: 0, or 1 when start-up failed.
    int ExitCode() const { return m_exitCode; }

private:
    std::function<bool()> m_startSockets;
    std::function<void()> m_runDialog;
    int m_exitCode = 0;
};
