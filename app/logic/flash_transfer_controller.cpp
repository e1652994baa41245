// The window's logic: commands, the rules of Start, Open and Initialize, and message dispatch.
#include "flash_transfer_controller.h"

#include "command_texts.h"
#include "operator_texts.h"
#include "platform_beep.h"
#include "string_table.h"
#include "variant_profile.h"

namespace knot::logic {
using namespace knot::core;
using namespace knot::device;

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
    : FlashTransferController(profile, view, &view, port, log, std::move(services)) {}

FlashTransferController::FlashTransferController(const VariantProfile& profile, WindowHost& host,
                                                 DriverPort& port, TransferLog& log,
                                                 LogicServices services)
    : FlashTransferController(profile, host, nullptr, port, log, std::move(services)) {}

FlashTransferController::FlashTransferController(const VariantProfile& profile, WindowHost& host,
                                                 FlashTransferView* view, DriverPort& port,
                                                 TransferLog& log, LogicServices services)
    : m_profile(profile), m_host(host),
      m_renderer(view != nullptr ? std::make_unique<WindowEventRenderer>(*view) : nullptr),
      m_services(Completed(std::move(services))), m_caption(ProgramTitle(profile)), m_port(port),
      m_access(m_port, log), m_deviceLink(m_access, m_link), m_observedLink(m_deviceLink),
      m_protocol(m_observedLink, m_services.beep), m_image(std::make_unique<FirmwareImage>()),
      m_deviceInfo(profile, m_events, m_protocol),
      m_sequence(profile, host, m_events, *m_image, m_protocol, m_observedLink, m_deviceInfo,
                 m_services.sleep, *this),
      m_session(host, m_events, m_port, m_access, m_link, m_deviceInfo, m_services, *this) {
    if (m_renderer) {
        m_events.Add(*m_renderer);
    }
}

FlashTransferController::~FlashTransferController() {
    m_session.StopWorkers();
}

void FlashTransferController::InitializeLogic() {
    m_deviceInfo.ResetDeviceInfo();
    m_events.OnLogicEvent(AtStartUp());
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

int FlashTransferController::HandleQueued(PostedMessageQueue& queue, int limit) {
    return queue.Pump(
        [this](const PostedMessage& posted) { OnWindowMessage(posted.message, posted.wParam); },
        limit);
}

void FlashTransferController::OnStartDownload() {
    if (!MayStart(Facts())) {
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
    Show(failedText, MessageIcon::Stop);
    return CommandLock::Refused;
}

void FlashTransferController::OnFileChosen(const std::string& path) {
    if (!CanOpenFile()) {
        return; // the image must not change under a running download
    }
    m_lastLoad = m_image->loadSRecordFile(path, m_bDumpImages, m_profile);
    switch (m_lastLoad.kind) {
    case LoadResult::Loaded:
        Show(LOAD_DONE_TEXT, MessageIcon::Information);
        break;
    case LoadResult::Rejected:
        Show(LOAD_REJECTED_TEXT, MessageIcon::Stop);
        break;
    case LoadResult::FileError:
        m_events.OnLogicEvent(
            OperatorMessage{m_caption, FileErrorMessage(m_lastLoad), MessageIcon::Stop});
        break;
    }
    // After the box, which ran a nested loop: a download may have begun meanwhile.
    m_events.OnLogicEvent(AtLoad(m_lastLoad.kind == LoadResult::Loaded, Facts()));
}

CommandFacts FlashTransferController::Facts() const {
    return {m_sequence.IsRunning(), m_session.DeviceReady(), m_image->imageLoaded,
            m_profile.hasInitializeCommand};
}

void FlashTransferController::Show(const char* text, MessageIcon icon) {
    m_events.OnLogicEvent(OperatorMessage{m_caption, text, icon});
}

bool FlashTransferController::OnDataInitialize() {
    if (!CanInitialize()) {
        return false; // not between a download's packets, and not in a model without it
    }
    const CommandLock lock = LockForCommand(INITIALIZE_FAILED_TEXT);
    if (lock == CommandLock::Refused) {
        return false;
    }
    m_host.BeginWaitCursor();
    CommandCode code = m_protocol.SendCommandText(InitializeCommandText());
    bool acknowledged = code != 0 && m_protocol.WaitForAck(code);
    m_host.EndWaitCursor();
    if (lock == CommandLock::Taken) {
        m_unitLock.Release();
    }
    if (acknowledged) {
        Show(INITIALIZE_DONE_TEXT, MessageIcon::Information);
    } else {
        Show(INITIALIZE_FAILED_TEXT, MessageIcon::Stop);
    }
    return acknowledged;
}

void FlashTransferController::OnDownloadStarted() {
    m_events.OnLogicEvent(AtRunStart());
}

void FlashTransferController::OnDownloadEnded(bool succeeded) {
    if (m_bRunLocked) {
        m_unitLock.Release();
        m_bRunLocked = false;
    }
    m_events.OnLogicEvent(AtRunEnd(succeeded, Facts()));
}

void FlashTransferController::OnUnitReady() {
    m_events.OnLogicEvent(AtUnitReady(Facts()));
}

void FlashTransferController::OnUnitRemoved() {
    m_sequence.OnUnitRemoved();
}

} // namespace knot::logic
