// The test driver's side of the Windows simulator: the kernel-driver service and its file,
// installed for as long as the server runs, and the root devices that stand for plugged units.
#pragma once

#include "unit_config.h"

#include "win32_api.h"

#include <string>

namespace knot::sim {
using namespace knot::device;

// "WHAT failed (error N)" with the thread's last error.
std::string Win32ErrorText(const std::string& what);

class UnitDriverService {
  public:
    UnitDriverService() = default;
    ~UnitDriverService() { Remove(); }
    UnitDriverService(const UnitDriverService&) = delete;
    UnitDriverService& operator=(const UnitDriverService&) = delete;

    // Removes what a server that died left (RemoveLeftovers), copies the driver found beside
    // this program into the system's driver folder, creates its service and starts it.
    bool Install(std::string& error);
    // Stops and deletes the service and removes the driver's file.
    void Remove();
    // Removes the root devices of the driver's service, stops and deletes the service and removes
    // the driver's file, whoever installed them; true when a device or the service was there.
    static bool RemoveLeftovers();
    // Opens the driver's relay device (overlapped) once it is there; INVALID_HANDLE_VALUE, with
    // `error`, when it did not appear in time.
    static HANDLE OpenRelayDevice(std::string& error);

    // Creates the unit's root device, names it for the driver ("N" or "N EVENT": the number and
    // the disconnect event's name), gives it the unit's slot as its location information, as a
    // USB hub's driver gives its port, and has the service enumerate it.
    bool AddUnitDevice(const UnitConfig& config, std::string& error);
    // Removes the unit's root device; the driver then fails its pending requests and signals
    // its event.
    bool RemoveUnitDevice(const UnitConfig& config);
    // Waits until the unit's interface is present (or gone); false when it did not in time.
    static bool WaitForUnitInterface(const UnitConfig& config, bool present);

  private:
    bool Reenumerate();

    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
    std::string m_file;
};

} // namespace knot::sim
