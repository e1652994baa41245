// A DriverPort that passes every call through and remembers which device path each open handle
// came from, so that the session knows the path of the unit it opened.
#pragma once

#include "forwarding_driver_port.h"

#include <map>
#include <mutex>
#include <string>

namespace knot::device {
class PathRecordingPort : public ForwardingDriverPort {
  public:
    // `inner` must outlive this object.
    explicit PathRecordingPort(DriverPort& inner) : ForwardingDriverPort(inner) {}

    // The path `handle` was opened from, or "" when it is not an open handle of ours.
    std::string PathOf(PortHandle handle) const;

    PortHandle CreateFile(const std::string& path) override;
    void CloseHandle(PortHandle handle) override;

  private:
    mutable std::mutex m_mutex;
    std::map<PortHandle, std::string> m_paths;
};

} // namespace knot::device
