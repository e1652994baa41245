#include "unit_host.h"

#include "unit_packet.h"

#include <algorithm>
#include <filesystem>

namespace knot::sim {
namespace {

// Answers that nobody receives pile up no further than this; the oldest are dropped.
constexpr std::size_t MAX_QUEUED_ANSWERS = 4096;

} // namespace

UnitHost::UnitHost(UnitHostListener& listener, ServeOptions options)
    : m_listener(listener), m_options(std::move(options)) {}

UnitHost::~UnitHost() {
    if (m_capture != nullptr)
        std::fclose(m_capture);
}

bool UnitHost::CheckSaveMemoryFolder(std::string& error) const {
    std::error_code failure;
    if (!m_options.saveMemoryDir.empty() &&
        !std::filesystem::is_directory(m_options.saveMemoryDir, failure)) {
        error = "--save-memory: " + m_options.saveMemoryDir + " is not a folder";
        return false;
    }
    return true;
}

bool UnitHost::OpenCaptureFile(std::string& error) {
    if (m_options.captureFile.empty())
        return true;
    // Binary: the lines end in a line feed alone on every platform.
    m_capture = std::fopen(m_options.captureFile.c_str(), "ab");
    if (m_capture == nullptr) {
        error = "cannot open the capture file " + m_options.captureFile;
        return false;
    }
    return true;
}

std::int32_t UnitHost::Plug(UnitConfig config, std::string& error) {
    if (config.number == NEXT_FREE_NUMBER) {
        config.number = 0;
        while (Find(config.number) != nullptr)
            ++config.number;
    } else if (Find(config.number) != nullptr) {
        error = "unit " + std::to_string(config.number) + " is already plugged";
        return -1;
    }
    if (!m_listener.OnPlug(config, error))
        return -1;
    m_units.push_back(std::make_unique<HostedUnit>(config));
    return config.number;
}

bool UnitHost::Unplug(std::int32_t number) {
    const auto it = std::find_if(m_units.begin(), m_units.end(), [&](const auto& unit) {
        return unit->unit.Config().number == number;
    });
    if (it == m_units.end())
        return false;
    const std::unique_ptr<HostedUnit> unit = std::move(*it);
    m_units.erase(it);
    const UnitConfig& config = unit->unit.Config();
    // Units that report no number share one event name; it stays while one of them is left.
    const bool shared =
        config.hasEvent && std::any_of(m_units.begin(), m_units.end(), [&](const auto& other) {
            return other->unit.Config().hasEvent &&
                   UnitEventName(other->unit.Config()) == UnitEventName(config);
        });
    m_listener.OnUnplug(config, shared);
    std::vector<std::uint64_t> failed;
    for (auto held = m_receives.begin(); held != m_receives.end();) {
        if (held->unit == number) {
            failed.push_back(held->ticket);
            held = m_receives.erase(held);
        } else {
            ++held;
        }
    }
    for (std::uint64_t ticket : failed)
        m_listener.CompleteReceive(ticket, nullptr);
    return true;
}

void UnitHost::UnplugAll() {
    while (!m_units.empty())
        Unplug(m_units.front()->unit.Config().number);
}

UnitHost::HostedUnit* UnitHost::Find(std::int32_t number) const {
    for (const auto& unit : m_units) {
        if (unit->unit.Config().number == number)
            return unit.get();
    }
    return nullptr;
}

const VirtualUnit* UnitHost::FindUnit(std::int32_t number) const {
    const HostedUnit* unit = Find(number);
    return unit != nullptr ? &unit->unit : nullptr;
}

std::vector<std::int32_t> UnitHost::PluggedUnits() const {
    std::vector<std::int32_t> numbers;
    for (const auto& unit : m_units)
        numbers.push_back(unit->unit.Config().number);
    return numbers;
}

bool UnitHost::Send(std::int32_t number, std::span<const std::uint8_t> packet) {
    HostedUnit* unit = Find(number);
    if (unit == nullptr)
        return false;
    Capture(number, 'R', packet);
    UnitReaction reaction = unit->unit.Receive(packet);
    const auto readyAt = Clock::now() + std::chrono::microseconds(m_options.latencyUs);
    for (UnitPacket& answer : reaction.answers) {
        Capture(number, 'S', answer);
        unit->answers.push_back({std::move(answer), readyAt});
        if (unit->answers.size() > MAX_QUEUED_ANSWERS)
            unit->answers.pop_front();
    }
    if (reaction.committed && !m_options.saveMemoryDir.empty())
        unit->unit.SaveMemory(m_options.saveMemoryDir);
    if (reaction.unplugAfterMs >= 0)
        unit->unplugAt = Clock::now() + std::chrono::milliseconds(reaction.unplugAfterMs);
    return reaction.unplugNow;
}

const UnitPacket* UnitHost::ReadyAnswer(std::int32_t number) const {
    const HostedUnit* unit = Find(number);
    if (unit == nullptr || unit->answers.empty() || unit->answers.front().readyAt > Clock::now())
        return nullptr;
    return &unit->answers.front().packet;
}

void UnitHost::DropAnswer(std::int32_t number) {
    HostedUnit* unit = Find(number);
    if (unit != nullptr && !unit->answers.empty())
        unit->answers.pop_front();
}

std::optional<std::vector<std::uint8_t>> UnitHost::ReadFact(std::int32_t number,
                                                            std::uint32_t code) const {
    const HostedUnit* unit = Find(number);
    if (unit == nullptr)
        return std::nullopt;
    const UnitConfig& config = unit->unit.Config();
    if (code == IOCTL_UNIT_GET_DESCRIPTOR && config.hasDescriptor) {
        const auto descriptor = UnitDescriptor(config);
        return std::vector<std::uint8_t>(descriptor.begin(), descriptor.end());
    }
    if (code == IOCTL_UNIT_GET_DEVICE_NUMBER && config.hasNumber) {
        std::vector<std::uint8_t> bytes; // little-endian
        const auto value = static_cast<std::uint32_t>(config.number);
        for (std::size_t i = 0; i < sizeof value; ++i)
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        return bytes;
    }
    return std::nullopt;
}

void UnitHost::HoldReceive(std::uint64_t ticket, std::int32_t number,
                           std::optional<Clock::time_point> deadline) {
    DropReceive(ticket);
    m_receives.push_back({ticket, number, deadline});
}

void UnitHost::DropReceive(std::uint64_t ticket) {
    std::erase_if(m_receives, [&](const HeldReceive& held) { return held.ticket == ticket; });
}

void UnitHost::DeliverAnswers() {
    const auto now = Clock::now();
    for (auto it = m_receives.begin(); it != m_receives.end();) {
        const HeldReceive held = *it;
        HostedUnit* unit = Find(held.unit);
        if (unit != nullptr && !unit->answers.empty() && unit->answers.front().readyAt <= now) {
            it = m_receives.erase(it);
            // A receive its caller gave up on takes nothing; the answer waits for the next.
            if (m_listener.CompleteReceive(held.ticket, &unit->answers.front().packet))
                unit->answers.pop_front();
        } else if (unit == nullptr || (held.deadline && *held.deadline <= now)) {
            it = m_receives.erase(it);
            m_listener.CompleteReceive(held.ticket, nullptr); // no answer came: the read fails
        } else {
            ++it;
        }
    }
}

void UnitHost::RunTimers() {
    const auto now = Clock::now();
    std::vector<std::int32_t> due;
    for (const auto& unit : m_units) {
        if (unit->unplugAt && *unit->unplugAt <= now)
            due.push_back(unit->unit.Config().number);
    }
    for (std::int32_t number : due)
        Unplug(number);
}

std::optional<UnitHost::Clock::time_point> UnitHost::NextDeadline() const {
    std::optional<Clock::time_point> next;
    const auto consider = [&](Clock::time_point at) { next = next ? std::min(*next, at) : at; };
    for (const auto& unit : m_units) {
        if (unit->unplugAt)
            consider(*unit->unplugAt);
    }
    for (const HeldReceive& held : m_receives) {
        if (held.deadline)
            consider(*held.deadline);
        const HostedUnit* unit = Find(held.unit);
        if (unit != nullptr && !unit->answers.empty())
            consider(unit->answers.front().readyAt);
    }
    return next;
}

std::optional<UnitHost::Clock::duration> UnitHost::NextWait(Clock::duration most) const {
    const std::optional<Clock::time_point> next = NextDeadline();
    if (!next)
        return std::nullopt;
    return std::clamp<Clock::duration>(*next - Clock::now(), Clock::duration::zero(), most);
}

std::string UnitHost::HandleControl(const std::vector<std::string>& words, bool& ok) {
    ok = false;
    const std::string& command = words.front();
    if (command == "plug")
        return PlugRequest({words.begin() + 1, words.end()}, ok);
    if (command == "unplug")
        return UnplugRequest(words, ok);
    if (command == "list" || m_listener.IsOwnRequest(command)) {
        if (words.size() != 1)
            return command + " takes no options";
        ok = true;
        if (command != "list")
            return m_listener.AnswerOwnRequest(command);
        std::string text;
        for (const auto& unit : m_units)
            text += DescribeUnit(unit->unit.Config()) + "\n";
        return text;
    }
    return "unknown request \"" + command + "\"";
}

std::string UnitHost::PlugRequest(const std::vector<std::string>& options, bool& ok) {
    UnitConfig config;
    std::string error;
    if (!ParsePlugOptions(options, config, error))
        return error;
    const std::int32_t number = Plug(std::move(config), error);
    if (number < 0)
        return error;
    ok = true;
    return std::to_string(number) + "\n";
}

std::string UnitHost::UnplugRequest(const std::vector<std::string>& words, bool& ok) {
    std::uint64_t number = 0;
    if (words.size() != 2 || !ParseNumber(words[1], INT32_MAX, number))
        return "unplug takes one device number";
    if (!Unplug(static_cast<std::int32_t>(number)))
        return "no unit " + words[1] + " is plugged";
    ok = true;
    return "";
}

void UnitHost::Capture(std::int32_t number, char direction, std::span<const std::uint8_t> packet) {
    if (m_capture == nullptr && !m_keepCaptureLines)
        return;
    std::string line = FormatCaptureLine(number, direction, packet);
    if (m_capture != nullptr) {
        std::fprintf(m_capture, "%s\n", line.c_str());
        std::fflush(m_capture);
    }
    if (m_keepCaptureLines)
        m_captureLines.push_back(std::move(line));
}

} // namespace knot::sim
