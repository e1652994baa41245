// The packets the tool must send, built byte by byte from the layout the unit reads, apart from
// the code that builds them: the checker compares what went out with these.
#pragma once

#include "firmware_image.h"
#include "packet_protocol.h"
#include "variant_profile.h"

#include <cstdint>
#include <vector>

namespace knot::fuzz {
using namespace knot::core;
using namespace knot::device;

using Packet = std::vector<std::uint8_t>;

// A command packet: the header, the code in bytes 10-11, `parameter` in bytes 14-17.
Packet ExpectedCommand(CommandCode code, std::uint32_t parameter, std::size_t packetSize);
// Every packet of a download of `image`, in order: the prepare, the CPU blocks that are not
// blank, the flash blocks up to the extent, the commit.
std::vector<Packet> ExpectedRun(const VariantProfile& profile, const FirmwareImage& image,
                                std::size_t packetSize);

} // namespace knot::fuzz
