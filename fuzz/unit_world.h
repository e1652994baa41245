// What the unit fuzz target's input makes of the world: the model, the packet size, the unit's
// identity values, the image, the wait after the commit, and each answer of the unit.
#pragma once

#include "firmware_image.h"
#include "variant_profile.h"
#include "world_port.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <vector>

namespace knot::fuzz {
using namespace knot::core;

struct UnitWorld {
    const VariantProfile* profile = nullptr;
    std::size_t packetSize = 64;
    std::array<std::vector<std::uint8_t>, 3> identity; // the payload of each row's answer
    std::uint32_t commitWaitSteps = 0;
};

// Reads the model, the packet size, the identity values and the wait.
UnitWorld ReadUnitWorld(FuzzedDataProvider& input);
// Shapes a loaded image: a few CPU blocks that are not blank, and a short flash extent.
void ReadImage(FuzzedDataProvider& input, FirmwareImage& image);

// What the unit does with a packet carrying `code`, as the input says: accept, refuse, stay
// silent, vanish, answer late, or first answer with the wrong size or for other commands.
// `payload` goes with an accepting answer. `closeAfter` is raised when the operator is to close
// the window once the packet's step is over.
WorldReaction ReadReaction(FuzzedDataProvider& input, CommandCode code, std::size_t packetSize,
                           const std::vector<std::uint8_t>& payload, bool& closeAfter);

} // namespace knot::fuzz
