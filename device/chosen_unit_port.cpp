// Narrowing the device search to one interface.
#include "chosen_unit_port.h"

#include "interface_survey.h"

namespace knot::device {
PortHandle ChosenUnitPort::GetClassDevices() {
    PortHandle set = m_inner.GetClassDevices();
    if (set == INVALID_PORT_HANDLE) {
        return set;
    }
    long found = -1;
    WalkInterfaces(m_inner, set, true, [&](std::uint32_t index, const std::string& path) {
        if (path == m_path) {
            found = static_cast<long>(index);
        }
        return found < 0;
    });
    std::lock_guard lock(m_mutex);
    m_sets[set] = found;
    return set;
}

long ChosenUnitPort::InnerIndex(PortHandle set) const {
    std::lock_guard lock(m_mutex);
    auto it = m_sets.find(set);
    return it == m_sets.end() ? -1 : it->second;
}

bool ChosenUnitPort::EnumDeviceInterface(PortHandle set, std::uint32_t index) {
    long inner = InnerIndex(set);
    return index == 0 && inner >= 0 &&
           m_inner.EnumDeviceInterface(set, static_cast<std::uint32_t>(inner));
}

std::size_t ChosenUnitPort::GetInterfaceDetailSize(PortHandle set, std::uint32_t index) {
    long inner = InnerIndex(set);
    if (index != 0 || inner < 0) {
        return 0;
    }
    return m_inner.GetInterfaceDetailSize(set, static_cast<std::uint32_t>(inner));
}

bool ChosenUnitPort::GetInterfaceDetail(PortHandle set, std::uint32_t index, std::string& path) {
    long inner = InnerIndex(set);
    if (index != 0 || inner < 0) {
        return false;
    }
    return m_inner.GetInterfaceDetail(set, static_cast<std::uint32_t>(inner), path);
}

std::string ChosenUnitPort::GetInterfaceLocation(PortHandle set, std::uint32_t index) {
    long inner = InnerIndex(set);
    if (index != 0 || inner < 0) {
        return "";
    }
    return m_inner.GetInterfaceLocation(set, static_cast<std::uint32_t>(inner));
}

void ChosenUnitPort::DestroyDeviceInfoList(PortHandle set) {
    {
        std::lock_guard lock(m_mutex);
        m_sets.erase(set);
    }
    m_inner.DestroyDeviceInfoList(set);
}

} // namespace knot::device
