// The unit fuzz target's world, read from the input.
#include "unit_world.h"

#include "packet_protocol.h"

namespace knot::fuzz {
using namespace knot::device;

namespace {

constexpr std::uint8_t REFUSING_STATUSES[] = {0x00, 0x80, 0xC0};

AnswerItem Item(AnswerItem::Kind kind) {
    AnswerItem item;
    item.kind = kind;
    return item;
}

AnswerItem RealAnswer(CommandCode code, std::uint8_t status,
                      const std::vector<std::uint8_t>& payload) {
    AnswerItem item{AnswerItem::Answer, code, status, 0, true, {}};
    if ((status & STATUS_MASK) == STATUS_ACCEPTED) {
        item.payload = payload;
    }
    return item;
}

// One answer that does not count: a failed read, the wrong size, or another command's answer.
AnswerItem Junk(FuzzedDataProvider& input, CommandCode code, std::size_t packetSize) {
    switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return Item(AnswerItem::Fail);
    case 1: {
        std::size_t size = input.ConsumeBool() ? (packetSize == 64 ? 62 : 64)
                                               : input.ConsumeIntegralInRange<std::size_t>(1, 256);
        if (size == packetSize) {
            size = packetSize + 1;
        }
        return {AnswerItem::Answer, code, STATUS_ACCEPTED, size, false, {}};
    }
    default: {
        auto other = static_cast<CommandCode>(
            (code ^ input.ConsumeIntegralInRange<CommandCode>(1, COMMAND_CODE_MASK)) &
            COMMAND_CODE_MASK);
        const std::uint8_t status = input.ConsumeBool() ? STATUS_ACCEPTED : 0xC0;
        return {AnswerItem::Answer, other, status, 0, false, {}};
    }
    }
}

} // namespace

UnitWorld ReadUnitWorld(FuzzedDataProvider& input) {
    UnitWorld world;
    world.profile = input.ConsumeBool() ? &VariantPProfile() : &VariantQProfile();
    world.packetSize = input.ConsumeBool() ? 62 : 64;
    for (std::size_t row = 0; row < world.identity.size(); ++row) {
        world.identity[row] = input.ConsumeBytes<std::uint8_t>(row == 2 ? 2 : 8);
    }
    world.commitWaitSteps = input.ConsumeIntegralInRange<std::uint32_t>(0, 12);
    return world;
}

void ReadImage(FuzzedDataProvider& input, FirmwareImage& image) {
    image.Reset();
    const int cpuBlocks = input.ConsumeIntegralInRange(0, 4);
    for (int n = 0; n < cpuBlocks; ++n) {
        // The first and the last blocks are the edges worth most.
        const std::size_t index =
            input.ConsumeBool() ? (input.ConsumeBool() ? 0 : CPU_BLOCK_COUNT - 1)
                                : input.ConsumeIntegralInRange<std::size_t>(0, CPU_BLOCK_COUNT - 1);
        std::uint8_t* block = image.CpuRegion.data() + index * DATA_BLOCK_SIZE;
        std::fill(block, block + DATA_BLOCK_SIZE, input.ConsumeIntegral<std::uint8_t>());
        block[input.ConsumeIntegralInRange<std::size_t>(0, DATA_BLOCK_SIZE - 1)] =
            input.ConsumeIntegral<std::uint8_t>();
    }
    if (input.ConsumeBool()) {
        image.flashDataStored = true;
        image.flashExtent = input.ConsumeIntegralInRange<std::uint32_t>(0, 6) * DATA_BLOCK_SIZE;
        const auto seed = input.ConsumeIntegral<std::uint8_t>();
        for (std::size_t i = 0; i <= image.flashExtent + DATA_BLOCK_SIZE - 1; ++i) {
            image.FlashRegion[i] = static_cast<std::uint8_t>(seed + i * 7);
        }
    }
    image.imageLoaded = true;
}

WorldReaction ReadReaction(FuzzedDataProvider& input, CommandCode code, std::size_t packetSize,
                           const std::vector<std::uint8_t>& payload, bool& closeAfter) {
    WorldReaction reaction;
    const auto choice = input.ConsumeIntegral<std::uint8_t>() % 16; // an empty input accepts
    if (choice < 8) {
        reaction.items.push_back(RealAnswer(code, STATUS_ACCEPTED, payload));
        return reaction;
    }
    switch (choice) {
    case 8:
        reaction.items.push_back(
            RealAnswer(code, input.PickValueInArray(REFUSING_STATUSES), payload));
        break;
    case 9: // silent
        break;
    case 10:
        reaction.vanishBeforeSend = true;
        break;
    case 11:
        reaction.items.push_back(Item(AnswerItem::Vanish));
        break;
    case 12: // answers, then vanishes before the next step
        reaction.items.push_back(RealAnswer(code, STATUS_ACCEPTED, payload));
        reaction.items.push_back(Item(AnswerItem::Vanish));
        break;
    case 13: {
        // A run of answers that do not count, sometimes longer than any wait accepts.
        const int count = input.ConsumeBool() ? input.ConsumeIntegralInRange(1, 6)
                                              : input.ConsumeIntegralInRange(60, 70);
        for (int n = 0; n < count; ++n) {
            reaction.items.push_back(Junk(input, code, packetSize));
        }
        reaction.items.push_back(RealAnswer(
            code, input.ConsumeBool() ? STATUS_ACCEPTED : REFUSING_STATUSES[0], payload));
        break;
    }
    case 14: { // late: failed reads first
        const int fails = input.ConsumeIntegralInRange(1, 4);
        reaction.items.assign(static_cast<std::size_t>(fails), Item(AnswerItem::Fail));
        reaction.items.push_back(RealAnswer(code, STATUS_ACCEPTED, payload));
        break;
    }
    default:
        reaction.items.push_back(RealAnswer(code, STATUS_ACCEPTED, payload));
        closeAfter = true;
        break;
    }
    return reaction;
}

} // namespace knot::fuzz
