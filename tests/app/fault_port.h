// A DriverPort in front of another that can make the driver refuse chosen packets, and counts the
// packets it was offered, so that a test can say "nothing more was sent".
#pragma once

#include "knot_names.h"

#include "forwarding_driver_port.h"
#include "packet_protocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>

class FaultPort : public ForwardingDriverPort {
  public:
    explicit FaultPort(DriverPort& inner) : ForwardingDriverPort(inner) {}

    // Sends of packets with this command code fail at the driver.
    void FailSendsOf(CommandCode code) {
        std::lock_guard lock(m_mutex);
        m_failing.insert(code);
    }
    int SendsOffered() const { return m_sends; }
    int SendsOfferedOf(CommandCode code) const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_sentCodes.count(code));
    }

    // Waits until the setup service has been asked for `count` sets in all.
    bool WaitForEnumerations(int count,
                             std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, deadline, [&] { return m_enumerations >= count; });
    }
    int Enumerations() const {
        std::lock_guard lock(m_mutex);
        return m_enumerations;
    }
    // From now on a wait for the disconnect event begins only once some event has been set, so
    // that a test can have both the stop event and the driver's event signalled at once.
    // Waits until `count` waits for the disconnect event have begun in all.
    bool WaitForEventWaits(int count,
                           std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, deadline, [&] { return m_eventWaits >= count; });
    }
    int EventWaits() const {
        std::lock_guard lock(m_mutex);
        return m_eventWaits;
    }
    void HoldWaitsUntilAnEventIsSet() {
        std::lock_guard lock(m_mutex);
        m_holdWaits = true;
    }
    // A driver that does not hear the stop event: waits block until released, then report the
    // unplug.
    void BlockWaitsUntilReleased() {
        std::lock_guard lock(m_mutex);
        m_blockWaits = true;
    }
    void ReleaseWaits() {
        std::lock_guard lock(m_mutex);
        m_blockWaits = false;
        m_changed.notify_all();
    }
    // The next `count` descriptor reads fail, as a unit still settling after plug-in may.
    void FailDescriptorReads(int count) { m_descriptorFailures = count; }
    // Runs `change` once, at the start of the next request for a set of interfaces, so that the
    // world changes between two looks of a worker and never during one.
    void BeforeNextEnumeration(std::function<void()> change) {
        std::lock_guard lock(m_mutex);
        m_beforeEnumeration = std::move(change);
    }

    PortHandle GetClassDevices() override {
        std::function<void()> change;
        {
            std::lock_guard lock(m_mutex);
            ++m_enumerations;
            m_changed.notify_all();
            change.swap(m_beforeEnumeration);
        }
        if (change) {
            change();
        }
        return ForwardingDriverPort::GetClassDevices();
    }
    bool DeviceIoControl(PortHandle handle, std::uint32_t code, const void* in, std::size_t inSize,
                         void* out, std::size_t outSize, std::size_t& returned) override {
        if (code == IOCTL_UNIT_GET_DESCRIPTOR && m_descriptorFailures > 0) {
            --m_descriptorFailures;
            returned = 0;
            return false;
        }
        if (code == IOCTL_UNIT_SEND && inSize > PACKET_CODE_LOW_OFFSET) {
            ++m_sends;
            CommandCode sent = PacketCommandCode(static_cast<const std::uint8_t*>(in));
            std::lock_guard lock(m_mutex);
            m_sentCodes.insert(sent);
            if (m_failing.count(sent)) {
                returned = 0;
                return false;
            }
        }
        return ForwardingDriverPort::DeviceIoControl(handle, code, in, inSize, out, outSize,
                                                     returned);
    }
    bool SetEvent(PortHandle event) override {
        bool result = ForwardingDriverPort::SetEvent(event);
        std::lock_guard lock(m_mutex);
        m_eventSet = true;
        m_changed.notify_all();
        return result;
    }
    WaitOutcome WaitForStopOrEvent(PortHandle stopEvent, PortHandle namedEvent,
                                   int timeoutMs) override {
        {
            std::unique_lock lock(m_mutex);
            ++m_eventWaits;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return !m_holdWaits || m_eventSet; });
            if (m_blockWaits) {
                m_changed.wait(lock, [&] { return !m_blockWaits; });
                return WaitOutcome::Disconnected;
            }
        }
        return ForwardingDriverPort::WaitForStopOrEvent(stopEvent, namedEvent, timeoutMs);
    }

  private:
    mutable std::mutex m_mutex;
    std::set<CommandCode> m_failing;
    std::multiset<CommandCode> m_sentCodes;
    std::atomic<int> m_sends{0};
    std::condition_variable m_changed;
    int m_enumerations = 0;
    int m_eventWaits = 0;
    bool m_holdWaits = false;
    bool m_eventSet = false;
    bool m_blockWaits = false;
    std::atomic<int> m_descriptorFailures{0};
    std::function<void()> m_beforeEnumeration;
};
