// The window's logic: commands, the rules of Start, Open and Initialize, and message dispatch.
#include "flash_transfer_controller.h"

#include "command_texts.h"
#include "operator_texts.h"
#include "platform_beep.h"
#include "string_table.h"
#include "variant_profile.h"

namespace {
LogicServices Completed(LogicServices services) {
    services = WithDefaults(std::move(services));
    if (!services.beep) {
        services.beep = PlatformBeep;
    }
    return services;
}
} // namespace

FlashTransferController::FlashTransferController(const VariantProfile& profile,
                                                 FlashTransferView& view, DriverPort& port,
                                                 TransferLog& log, LogicServices services)
    : m_profile(profile), m_view(view), m_services(Completed(std::move(services))),
      m_caption(ProgramTitle(profile)), m_port(port), m_access(m_port, log),
      m_deviceLink(m_access, m_link), m_observedLink(m_deviceLink),
      m_protocol(m_observedLink, m_services.beep), m_image(std::make_unique<FirmwareImage>()),
      m_deviceInfo(profile, view, m_protocol),
      m_sequence(profile, view, *m_image, m_protocol, m_observedLink, m_deviceInfo,
                 m_services.sleep, *this),
      m_session(view, m_port, m_access, m_link, m_deviceInfo, m_services, *this) {}

FlashTransferController::~FlashTransferController() {
    m_session.StopWorkers();
}

void FlashTransferController::InitializeLogic() {
    m_deviceInfo.ResetDeviceInfo();
    m_view.EnableInitializeItem(false);
    m_session.ResetSessionHandles();
    m_session.BeginArrivalDetection();
}

void FlashTransferController::OnClose() {
    m_bClosed = true;
    m_sequence.Cancel(); // no further packet of a running download, and no commit
    m_session.StopWorkers();
}

void FlashTransferController::OnWindowMessage(WindowMessage message, std::uintptr_t wParam) {
    switch (message) {
    case WM_DEVICE_ARRIVED:
        m_session.OnDeviceArrived(wParam, 0);
        break;
    case WM_DEVICE_REMOVED:
        m_session.OnDeviceRemoved(wParam, 0);
        break;
    case WM_CPU_BLOCK_STEP:
        m_sequence.OnCpuBlockStep(wParam, 0);
        break;
    case WM_FLASH_BLOCK_STEP:
        m_sequence.OnFlashBlockStep(wParam, 0);
        break;
    case WM_COMMIT_STEP:
        m_sequence.OnCommitStep(wParam, 0);
        break;
    }
}

void FlashTransferController::OnStartDownload() {
    if (m_sequence.IsRunning()) {
        return; // one run at a time
    }
    const CommandLock lock = LockForCommand(DOWNLOAD_FAILED_TEXT);
    if (lock == CommandLock::Refused) {
        return;
    }
    m_bRunLocked = lock == CommandLock::Taken;
    m_sequence.OnStartDownload();
}

FlashTransferController::CommandLock
FlashTransferController::LockForCommand(const char* failedText) {
    if (m_unitLock.Held()) {
        return CommandLock::Reserved;
    }
    if (m_session.DevicePath().empty()) {
        return CommandLock::Reserved; // no unit is open: nothing can be written, nothing to lock
    }
    if (m_unitLock.Take(m_session.DevicePath()) == LockOutcome::Held) {
        return CommandLock::Taken;
    }
    m_view.ShowMessage(m_caption, failedText, MessageIcon::Stop);
    return CommandLock::Refused;
}

void FlashTransferController::OnFileChosen(const std::string& path) {
    if (!CanOpenFile()) {
        return; // the image must not change under a running download
    }
    m_lastLoad = m_image->loadSRecordFile(path, m_bDumpImages, m_profile);
    switch (m_lastLoad.kind) {
    case LoadResult::Loaded:
        m_view.ShowMessage(m_caption, LOAD_DONE_TEXT, MessageIcon::Information);
        // The box ran a nested loop: a download may have begun meanwhile only if Start was
        // enabled before, and then the rule below must not enable it again.
        m_view.EnableStart(m_session.DeviceReady() && !m_sequence.IsRunning());
        break;
    case LoadResult::Rejected:
        m_view.ShowMessage(m_caption, LOAD_REJECTED_TEXT, MessageIcon::Stop);
        m_view.EnableStart(false);
        break;
    case LoadResult::FileError:
        m_view.ShowMessage(m_caption, FileErrorMessage(m_lastLoad), MessageIcon::Stop);
        m_view.EnableStart(false);
        break;
    }
}

bool FlashTransferController::CanInitialize() const {
    return m_profile.hasInitializeCommand && !m_sequence.IsRunning();
}

bool FlashTransferController::OnDataInitialize() {
    if (!CanInitialize()) {
        return false; // not between a download's packets, and not in a model without it
    }
    const CommandLock lock = LockForCommand(INITIALIZE_FAILED_TEXT);
    if (lock == CommandLock::Refused) {
        return false;
    }
    m_view.BeginWaitCursor();
    CommandCode code = m_protocol.SendCommandText(InitializeCommandText());
    bool acknowledged = code != 0 && m_protocol.WaitForAck(code);
    m_view.EndWaitCursor();
    if (lock == CommandLock::Taken) {
        m_unitLock.Release();
    }
    if (acknowledged) {
        m_view.ShowMessage(m_caption, INITIALIZE_DONE_TEXT, MessageIcon::Information);
    } else {
        m_view.ShowMessage(m_caption, INITIALIZE_FAILED_TEXT, MessageIcon::Stop);
    }
    return acknowledged;
}

void FlashTransferController::OnDownloadStarted() {
    m_view.EnableStart(false);
    m_view.EnableOpenItem(false);
    m_view.EnableInitializeItem(false);
}

void FlashTransferController::OnDownloadEnded(bool succeeded) {
    if (m_bRunLocked) {
        m_unitLock.Release();
        m_bRunLocked = false;
    }
    m_view.EnableOpenItem(true);
    if (succeeded) {
        return; // Start and Initialize stay disabled until the unit is next found
    }
    bool ready = m_session.DeviceReady();
    m_view.EnableStart(ready && m_image->imageLoaded);
    m_view.EnableInitializeItem(ready);
}

void FlashTransferController::OnUnitReady() {
    if (m_sequence.IsRunning()) {
        return; // the run's rules hold until it ends
    }
    m_view.EnableStart(m_image->imageLoaded);
    m_view.EnableInitializeItem(true);
}

void FlashTransferController::OnUnitRemoved() {
    m_sequence.OnUnitRemoved();
}
