// Everything the main window does that is not widget work: it owns the image, the unit link, the
// identity rows, the download sequence and the session, and applies the Start / Open / Initialize
// rules. The window (or knot-fdt, or a test) forwards its commands and posted messages here.
#pragma once

#include "flash_transfer_view.h"
#include "logic_services.h"

#include <cstdint>
#include <memory>
#include <string>

struct VariantProfile;
class DriverPort;
class FirmwareImage;
class DeviceInfoPanel;
class DownloadSequence;
class UnitSession;

class FlashTransferController {
  public:
    // `profile`, `view` and `port` must outlive the controller.
    FlashTransferController(const VariantProfile& profile, FlashTransferView& view,
                            DriverPort& port, LogicServices services = {});
    // Stops the workers if the window did not (every close path should call OnClose first).
    ~FlashTransferController();
    FlashTransferController(const FlashTransferController&) = delete;
    FlashTransferController& operator=(const FlashTransferController&) = delete;

    // The "/FILE" switch: every successful load also writes the two dump files.
    void SetDumpImages(bool dump);

    // The logic part of the window's initialisation, after its controls exist and Start has been
    // disabled: ResetDeviceInfo, Initialize item off, ResetSessionHandles, BeginArrivalDetection.
    void InitializeLogic();
    // The close action's first step (StopWorkers). Call it on every way of ending the window.
    void OnClose();

    // One posted message, on the window's thread.
    void OnWindowMessage(WindowMessage message, std::uintptr_t wParam);

    // Commands. Each is refused (does nothing) while a download runs.
    void OnStartDownload();
    // File > Open after the chooser returned a path: load, message box, Start rule.
    void OnFileChosen(const std::string& path);
    // Data > Initialize: the initialize command, its wait and the closing message.
    void OnDataInitialize();

    // Whether each command may be given now (the window may ask before opening its chooser).
    bool CanStartDownload() const;
    bool CanOpenFile() const;
    bool CanInitialize() const;
    bool IsDownloadRunning() const;

    const VariantProfile& Profile() const { return m_profile; }
    const FirmwareImage& Image() const;
    DeviceInfoPanel& DeviceInfo() { return *m_deviceInfo; }
    DownloadSequence& Sequence() { return *m_sequence; }
    UnitSession& Session() { return *m_session; }

  private:
    const VariantProfile& m_profile;
    FlashTransferView& m_view;
    LogicServices m_services;
    std::unique_ptr<FirmwareImage> m_image;
    std::unique_ptr<DeviceInfoPanel> m_deviceInfo;
    std::unique_ptr<UnitSession> m_session;
    std::unique_ptr<DownloadSequence> m_sequence;
    bool m_bDumpImages = false;
};
