// Remembering the device path behind each open handle.
#include "path_recording_port.h"

namespace knot::device {
std::string PathRecordingPort::PathOf(PortHandle handle) const {
    std::lock_guard lock(m_mutex);
    auto found = m_paths.find(handle);
    return found == m_paths.end() ? std::string() : found->second;
}

PortHandle PathRecordingPort::CreateFile(const std::string& path) {
    PortHandle handle = ForwardingDriverPort::CreateFile(path);
    if (handle != INVALID_PORT_HANDLE) {
        std::lock_guard lock(m_mutex);
        m_paths[handle] = path;
    }
    return handle;
}

void PathRecordingPort::CloseHandle(PortHandle handle) {
    {
        std::lock_guard lock(m_mutex);
        m_paths.erase(handle);
    }
    ForwardingDriverPort::CloseHandle(handle);
}

} // namespace knot::device
