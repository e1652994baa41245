#include "fault_spec.h"

#include <charconv>

namespace knot::sim {
namespace {

struct KindName {
    std::string_view name;
    FaultKind kind;
};
constexpr KindName KIND_NAMES[] = {
    {"refuse", FaultKind::Refuse},       {"silent", FaultKind::Silent},
    {"unplug", FaultKind::Unplug},       {"stale", FaultKind::Stale},
    {"wrongsize", FaultKind::WrongSize},
};

struct TriggerName {
    std::string_view name;
    FaultTrigger trigger;
    bool takesNumber;
};
constexpr TriggerName TRIGGER_NAMES[] = {
    {"prepare", FaultTrigger::Prepare, false},
    {"commit", FaultTrigger::Commit, false},
    {"initialize", FaultTrigger::Initialize, false},
    {"query", FaultTrigger::Query, true},
    {"cpu", FaultTrigger::CpuBlock, true},
    {"flash", FaultTrigger::FlashBlock, true},
    {"wait", FaultTrigger::Wait, true},
};

// A plain decimal number: digits only, no sign, no overflow.
std::optional<std::uint32_t> ParseDecimal(std::string_view text) {
    std::uint32_t value = 0;
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<FaultSpec> ParseFaultSpec(std::string_view text) {
    const auto equals = text.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view kindText = text.substr(0, equals);
    const std::string_view what = text.substr(equals + 1);

    FaultSpec fault;
    bool known = false;
    for (const KindName& k : KIND_NAMES) {
        if (k.name == kindText) {
            fault.kind = k.kind;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;

    if (fault.kind == FaultKind::Stale || fault.kind == FaultKind::WrongSize) {
        const auto count = ParseDecimal(what);
        if (!count || *count == 0)
            return std::nullopt;
        fault.value = *count;
        return fault;
    }

    const auto colon = what.find(':');
    const std::string_view triggerText = what.substr(0, colon);
    for (const TriggerName& t : TRIGGER_NAMES) {
        if (t.name != triggerText)
            continue;
        if (t.trigger == FaultTrigger::Wait && fault.kind != FaultKind::Unplug)
            return std::nullopt;
        if (t.takesNumber != (colon != std::string_view::npos))
            return std::nullopt;
        fault.trigger = t.trigger;
        if (t.takesNumber) {
            const auto number = ParseDecimal(what.substr(colon + 1));
            // Identity queries are counted from 1, so a 0th query never comes.
            if (!number || (t.trigger == FaultTrigger::Query && *number == 0))
                return std::nullopt;
            fault.value = *number;
        }
        return fault;
    }
    return std::nullopt;
}

std::string FormatFaultSpec(const FaultSpec& fault) {
    std::string text;
    for (const KindName& k : KIND_NAMES) {
        if (k.kind == fault.kind) {
            text.assign(k.name);
            text += '=';
        }
    }
    if (fault.kind == FaultKind::Stale || fault.kind == FaultKind::WrongSize)
        return text + std::to_string(fault.value);
    for (const TriggerName& t : TRIGGER_NAMES) {
        if (t.trigger == fault.trigger) {
            text += t.name;
            if (t.takesNumber) {
                text += ':';
                text += std::to_string(fault.value);
            }
        }
    }
    return text;
}

} // namespace knot::sim
