#pragma once

#include "app/ComboDeviceList.h"
#include "app/DialogControls.h"
#include "app/LogPane.h"
#include "app/ProgressControl.h"
#include "app/QtFileChooser.h"
#include "app/QtMessageBoxes.h"
#include "app/RepaintingClock.h"
#include "history/UpdateHistory.h"
#include "image/ImageInfo.h"
#include "link/InstrumentSession.h"
#include "power/LogindPowerHold.h"
#include "seams/BusyGuard.h"
#include "seams/EventPump.h"
#include "seams/Log.h"
#include "seams/MessageBoxes.h"
#include "seams/OnceNotice.h"
#include "update/UpdateSequence.h"

#include <QDialog>
#include <QIcon>
#include <QMargins>
#include <QTimer>
#include <memory>
#include <string>

class Clock;
class HtmlHelp;
struct DesktopHelp;

// Whether the details area (the log) is shown; process-wide, collapsed at start. Only
// OnMoreInfo changes it.
extern bool g_bMoreInfo;

// What the window reaches outside itself on the desktop; tests put scripted ones in.
struct DesktopServices {
    FileChooser* files = nullptr; // nullptr: the platform's file-open dialog
    HtmlHelp* help = nullptr;     // nullptr: the desktop's help viewer, or the own help window
    Clock* clock = nullptr;       // nullptr: the real clock, for the update's fixed waits
};

// The utility's one window. It owns every piece of state: the Device list, the loaded
// firmware file, the progress bar, the log, the updating flag. The update sequence reaches
// it through the seams it implements.
class CUpdateDlg final : public QDialog,
                         public Log,
                         public MessageBoxes,
                         public EventPump,
                         public BusyGuard {
    Q_OBJECT

public:
    explicit CUpdateDlg(const DesktopServices& desktop = {});
    ~CUpdateDlg() override;

    void AppendLog(std::string_view text) override;
    void ClearLog() override;
    void ReportStatus(StatusCode code) override;

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;

    // Handles every pending event and returns when none is left.
    void PumpMessages() override;

    void SetBusy() override;
    void ClearBusy() override;
    void SetUpdating(bool updating) override { m_bUpdating = updating; }
    bool IsUpdating() const override { return m_bUpdating; }

    DeviceList& Devices() { return m_combo; }
    Progress& ProgressBar() { return m_progress; }
    StepIndicator& StepCounter() { return m_progress; }
    Clock& UpdateClock() { return m_clock; }

    // The control with this id (GetDlgItem); nullptr for an id the template does not have.
    QWidget* Control(int id) const { return m_controls.Item(id); }
    const DialogControls& Controls() const { return m_controls; }
    // The log exactly as appended.
    const std::string& LogText() const { return m_log.Text(); }

    // Lays the window out collapsed or expanded (window height, log and notice positions,
    // the More Info button's text); keeps the window's position and width.
    void ShowMoreInfo(bool expanded);

    // Ends the modal run, unless an update is writing segments.
    void done(int result) override;

    // Handlers of the push buttons.
    void OnUpdate();
    void OnBrowse();
    void RememberLoadedFile(const std::string& path, int descriptor);
    void OnHelpButton();
    void OnMoreInfo();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();
    void DoDataExchange();
    void ConnectHandlers();
    void SetBoldFont(QWidget& control);
    void KeepOuterHeight();
    int OuterHeight() const;
    int LayoutBottom() const;
    void WatchWindowState();
    void RefuseMaximised(Qt::WindowState state);
    void FollowWindowState(bool fromWindowSystem);
    void AskForNormalState();
    void EndMaximised();
    void FollowWindowFrame();
    void StartPlacementChecks();
    void CheckPlacement();
    // Whether the window had to be moved.
    bool CentreOnScreen();
    void OnDestroy();
    void OpenInstrumentLink();
    void CloseInstrumentLink();
    void ReleaseImageBuffers();

    DialogControls m_controls;
    ComboDeviceList m_combo;
    // The instrument session (m_viRM, m_viInstr), after m_combo, which its search fills:
    // the constructor opens its resource manager last, and OnDestroy closes it first.
    InstrumentSession m_session;
    ImageInfo m_image;
    // The file m_image was loaded from, as the update history records it.
    FirmwareFileFacts m_imageFacts;
    bool m_bUpdating = false;
    // The window's outer height in the current layout, the frame the window manager last
    // gave it, and whether it is still to be centred (until it is first on screen).
    int m_outerHeight = 0;
    QMargins m_frame;
    bool m_centreUntilPlaced = true;
    // Looks at the frame and place again for a while after the window is shown: the window
    // manager's last word (its frame, its placement) comes with no event of its own.
    QTimer m_placementCheck;
    int m_placementChecksLeft = 0;
    int m_placedChecks = 0;
    bool m_centringMoved = false;
    // Set from a maximise request until the window is back in its normal state: its size
    // limits are lifted meanwhile, so that it can take the size a compositor maximises it to.
    bool m_leavingMaximised = false;
    QTimer m_maximiseDeadline;
    ProgressControl m_progress;
    QIcon m_hIcon;
    LogPane m_log;
    QtMessageBoxes m_boxes;
    QtFileChooser m_platformFiles;
    FileChooser& m_files;
    // The help window is a window of its own, not a child of this one: it stays when this
    // one is minimised and goes when the program ends, with this object.
    std::unique_ptr<DesktopHelp> m_desktopHelp;
    HtmlHelp& m_help;
    RepaintingClock m_clock;
    // What the Update button runs, over this window's controls and m_session.
    UpdateSequence m_update;
    // The history of the updates and the PC held awake while one flashes. Their problems go
    // to standard error only: the log's text is the update's own.
    OnceNotice m_historyNotice;
    OnceNotice m_powerNotice;
    UpdateHistory m_history;
    LogindPowerHold m_powerHold;
};
