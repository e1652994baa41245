// One host of virtual units under each of the simulator's transports (the Linux sockets, the
// Windows relay to the test driver, the in-process loopback port): the units in plug order, the
// answers each has queued and its unplug timer, the capture, saving memory and the control
// requests. A transport keeps only what reaches its callers and tells the host what they send.
#pragma once

#include "serve_options.h"
#include "virtual_unit.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace knot::sim {
// What a plug or an unplug means to a transport, and what it does with a held receive.
class UnitHostListener {
  public:
    virtual ~UnitHostListener() = default;

    // Makes a unit that is being plugged reachable; false (with `error`) fails the plug.
    virtual bool OnPlug(const UnitConfig& config, std::string& error) = 0;
    // The unit has left the host: its open handles fail and its disconnect event is signalled.
    // `eventShared`: another plugged unit has the same event name, which stays.
    virtual void OnUnplug(const UnitConfig& config, bool eventShared) = 0;
    // Completes held receive `ticket` with `answer`, or fails it when `answer` is null. False when
    // its caller no longer waits: the answer then stays for the next receive.
    virtual bool CompleteReceive(std::uint64_t /*ticket*/, const UnitPacket* /*answer*/) {
        return false;
    }
    // Control requests of the transport's own, which take no options, and what they answer.
    virtual bool IsOwnRequest(const std::string& /*command*/) const { return false; }
    virtual std::string AnswerOwnRequest(const std::string& /*command*/) { return ""; }
};

class UnitHost {
  public:
    using Clock = std::chrono::steady_clock;

    // `listener` must outlive the host. Of `options` the host uses the capture file, the memory
    // folder and the latency.
    UnitHost(UnitHostListener& listener, ServeOptions options);
    ~UnitHost(); // closes the capture file; the transport unplugs the units before
    UnitHost(const UnitHost&) = delete;
    UnitHost& operator=(const UnitHost&) = delete;

    // "--save-memory: DIR is not a folder" when the memory folder is given but is none.
    bool CheckSaveMemoryFolder(std::string& error) const;
    // Opens the capture file, when one is given, for appending.
    bool OpenCaptureFile(std::string& error);
    // Keeps every capture line in memory too (CaptureLines).
    void KeepCaptureLines() { m_keepCaptureLines = true; }
    const std::vector<std::string>& CaptureLines() const { return m_captureLines; }
    void SetSaveMemoryFolder(std::string folder) { m_options.saveMemoryDir = std::move(folder); }

    // Plugs a unit: config.number, or the next free number from 0 when that is NEXT_FREE_NUMBER.
    // Returns the number, or -1 with `error` when the number is taken or the transport refuses.
    std::int32_t Plug(UnitConfig config, std::string& error);
    // Removes the unit, tells the transport, and fails the receives held for it.
    bool Unplug(std::int32_t number);
    void UnplugAll();
    const VirtualUnit* FindUnit(std::int32_t number) const;
    std::vector<std::int32_t> PluggedUnits() const; // in plug order

    // A packet the unit's caller sent: captured, received by the unit, its answers queued (ready
    // after the latency), its memory saved on a commit, its unplug timer set. True when the unit
    // vanishes now: the transport confirms the send first, then unplugs it.
    bool Send(std::int32_t number, std::span<const std::uint8_t> packet);
    // The answer a receive takes now (null while none is ready), and taking it.
    const UnitPacket* ReadyAnswer(std::int32_t number) const;
    void DropAnswer(std::int32_t number);
    // The bytes of IOCTL_UNIT_GET_DESCRIPTOR or IOCTL_UNIT_GET_DEVICE_NUMBER; nothing when the
    // unit does not give them or the code is another.
    std::optional<std::vector<std::uint8_t>> ReadFact(std::int32_t number,
                                                      std::uint32_t code) const;

    // Holds a receive until its unit has an answer ready, or until `deadline` (then it fails).
    // Receives are served in the order they came; a ticket held again moves to the end.
    void HoldReceive(std::uint64_t ticket, std::int32_t number,
                     std::optional<Clock::time_point> deadline);
    void DropReceive(std::uint64_t ticket);
    // Completes every held receive that has an answer ready or whose deadline has passed.
    void DeliverAnswers();

    // Unplugs the units whose timer has run out.
    void RunTimers();
    // When the host has something to do next (a timer, a deadline, an answer becoming ready for a
    // held receive), and how long from now that is, at most `most`; nothing: never. A transport
    // waits that long with a timer of its own finest resolution, so that an answer is ready
    // no later than the latency asks.
    std::optional<Clock::time_point> NextDeadline() const;
    std::optional<Clock::duration> NextWait(Clock::duration most) const;

    // Serves a control request: "plug OPTIONS", "unplug N", "list", or one of the transport's.
    std::string HandleControl(const std::vector<std::string>& words, bool& ok);

  private:
    struct PendingAnswer {
        UnitPacket packet;
        Clock::time_point readyAt;
    };
    struct HostedUnit {
        explicit HostedUnit(UnitConfig config) : unit(std::move(config)) {}
        VirtualUnit unit;
        std::deque<PendingAnswer> answers;
        std::optional<Clock::time_point> unplugAt;
    };
    struct HeldReceive {
        std::uint64_t ticket;
        std::int32_t unit;
        std::optional<Clock::time_point> deadline;
    };

    HostedUnit* Find(std::int32_t number) const;
    std::string PlugRequest(const std::vector<std::string>& options, bool& ok);
    std::string UnplugRequest(const std::vector<std::string>& words, bool& ok);
    void Capture(std::int32_t number, char direction, std::span<const std::uint8_t> packet);

    UnitHostListener& m_listener;
    ServeOptions m_options;
    std::FILE* m_capture = nullptr;
    bool m_keepCaptureLines = false;
    std::vector<std::string> m_captureLines;
    std::vector<std::unique_ptr<HostedUnit>> m_units; // in plug order
    std::deque<HeldReceive> m_receives;               // in the order they came
};

} // namespace knot::sim
