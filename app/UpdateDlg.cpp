#include "app/UpdateDlg.h"

#include "app/DesktopHelpViewer.h"
#include "image/ValidateImage.h"
#include "res/DialogTemplate.h"
#include "res/Resource.h"
#include "seams/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <iostream>

namespace {
constexpr char APPLICATION_TITLE[] = "Firmware Update Utility";
constexpr char NOTICE[] = "Copyright (C) 2026 TQ4800 Utility Authors";

// The controls are measured in units of the dialog font, so the font is set first.
DialogControls BuildControls(QDialog& dialog) {
    dialog.setFont(DialogFont(UpdateDialogTemplate.fontFace, UpdateDialogTemplate.fontPointSize));
    return DialogControls(dialog, UpdateDialogTemplate, BaseUnitsOf(dialog.font()));
}

QIcon LoadAppIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/app-32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/app-16.xpm"), QSize(16, 16));
    return icon;
}
void SayOnStandardError(const std::string& text) {
    std::cerr << "tq4800-update: " << text << std::endl;
}

} // namespace

CUpdateDlg::CUpdateDlg(const DesktopServices& desktop)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_controls(BuildControls(*this)), m_session(m_combo), m_hIcon(LoadAppIcon()), m_boxes(this),
      m_platformFiles(this), m_files(desktop.files ? *desktop.files : m_platformFiles),
      m_desktopHelp(desktop.help ? nullptr : std::make_unique<DesktopHelp>()),
      m_help(desktop.help ? *desktop.help : m_desktopHelp->help),
      m_clock(desktop.clock ? *desktop.clock : SystemClock(), *this),
      m_update(m_session, m_image,
               {*this, m_combo, m_progress, m_progress, *this, *this, *this, m_clock}),
      m_historyNotice(SayOnStandardError), m_powerNotice(SayOnStandardError),
      m_history(HistoryLocationFromEnvironment(), "window", m_historyNotice),
      m_powerHold(m_powerNotice) {
    m_update.SetPowerHold(&m_powerHold);
    const DialogBaseUnits units = BaseUnitsOf(font());
    resize(
        MapDialogRect(units, 0, 0, UpdateDialogTemplate.width, UpdateDialogTemplate.height).size());
    ConnectHandlers();
    OpenInstrumentLink();
    OnInitDialog();
}

CUpdateDlg::~CUpdateDlg() {
    OnDestroy();
}

void CUpdateDlg::DoDataExchange() {
    m_progress.Bind(*m_controls.ItemAs<QProgressBar>(IDC_PROGRESS),
                    *m_controls.ItemAs<QLabel>(IDC_STEP));
    m_combo.Bind(*m_controls.ItemAs<QComboBox>(IDC_DEVICE));
    m_log.Bind(*m_controls.ItemAs<QPlainTextEdit>(IDC_LOG));
}

void CUpdateDlg::ConnectHandlers() {
    const auto onClick = [this](int id, void (CUpdateDlg::*handler)()) {
        connect(m_controls.ItemAs<QPushButton>(id), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_UPDATE, &CUpdateDlg::OnUpdate);
    onClick(IDC_BROWSE, &CUpdateDlg::OnBrowse);
    onClick(IDC_HELP_BUTTON, &CUpdateDlg::OnHelpButton);
    onClick(IDC_MORE_INFO, &CUpdateDlg::OnMoreInfo);
    connect(&m_placementCheck, &QTimer::timeout, this, &CUpdateDlg::CheckPlacement);
    m_maximiseDeadline.setSingleShot(true);
    connect(&m_maximiseDeadline, &QTimer::timeout, this, &CUpdateDlg::EndMaximised);
}

void CUpdateDlg::OnInitDialog() {
    DoDataExchange();
    setWindowIcon(m_hIcon);
    setWindowTitle(QStringLiteral("%1 Version %2")
                       .arg(QLatin1String(APPLICATION_TITLE), QLatin1String(UTILITY_VERSION)));
    m_controls.ItemAs<QLineEdit>(IDC_NOTICE)->setText(QLatin1String(NOTICE));
    SetBoldFont(*Control(IDC_BROWSE));
    SetBoldFont(*Control(IDC_LOG));
    Control(IDC_UPDATE)->setEnabled(false);
    ShowMoreInfo(false);
    m_image = ImageInfo{};
    m_bUpdating = false;
}

void CUpdateDlg::SetBusy() {
    Control(IDC_BROWSE)->setEnabled(false);
    Control(IDC_UPDATE)->setEnabled(false);
}

void CUpdateDlg::ClearBusy() {
    Control(IDC_BROWSE)->setEnabled(true);
    Control(IDC_UPDATE)->setEnabled(true);
}

MessageAnswer CUpdateDlg::ShowMessage(std::string_view text, std::string_view caption,
                                      MessageButtons buttons, MessageIcon icon) {
    const MessageAnswer answer = m_boxes.ShowMessage(text, caption, buttons, icon);
    m_clock.BoxDismissed();
    return answer;
}

void CUpdateDlg::PumpMessages() {
    // Events posted while handling others are handled too; the bound keeps a source that
    // posts without end (a zero-time timer) from holding the transfer here.
    constexpr int MAX_ROUNDS = 64;
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    for (int round = 0; round < MAX_ROUNDS; ++round) {
        QCoreApplication::sendPostedEvents();
        if (!dispatcher || !dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
}

void CUpdateDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WatchWindowState();
    FollowWindowFrame();
    if (m_centreUntilPlaced)
        StartPlacementChecks();
    Control(IDC_FILE_PATH)->setFocus(Qt::OtherFocusReason);
}

void CUpdateDlg::closeEvent(QCloseEvent* event) {
    if (m_bUpdating) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CUpdateDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && plain) {
        // Enter presses the push button that has the focus; anywhere else it is the OK
        // command, which ends the dialog.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled())
                button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event); // Esc: reject()
}

// accept (Enter), reject (Esc, and a close request) all end the dialog here. While segments
// are written they are refused: the update runs inside a handler of this dialog, and
// ending the dialog from an event it drains would pull its state away under it.
void CUpdateDlg::done(int result) {
    if (m_bUpdating)
        return;
    QDialog::done(result);
}

void CUpdateDlg::OnDestroy() {
    CloseInstrumentLink();
    ReleaseImageBuffers();
}

void CUpdateDlg::ReleaseImageBuffers() {
    for (SegmentImage& segment : m_image.segments) // FPGA1, FPGA2, FPGA3, MAIN, HTTP
        std::vector<std::uint8_t>().swap(segment.data);
}
