// The cost of one data block and its acknowledgment at the driver port, through the loopback
// port and through the simulator's sockets; a full image is 8192 CPU + up to 16384 flash blocks.
#include "knot_names.h"

#include "loopback_driver_port.h"
#include "sim_driver_port.h"
#include "sim_server.h"
#include "unit_packet.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

UnitPacket BlockPacket(std::uint32_t number) {
    UnitPacket packet(UNIT_PACKET_SIZE_LONG, 0);
    const std::uint8_t header[] = {0x01, 0x00, 0x70, 0x00, 0x30};
    std::copy(std::begin(header), std::end(header), packet.begin());
    packet[PACKET_KIND_OFFSET] = DATA_BLOCK_KIND;
    packet[PACKET_CODE_HIGH_OFFSET] = 0x3F;
    packet[PACKET_CODE_LOW_OFFSET] = 0x13;
    for (int i = 0; i < 4; ++i)
        packet[PACKET_PARAMETER_OFFSET + i] = static_cast<std::uint8_t>(number >> (24 - 8 * i));
    return packet;
}

// Sends blocks 1, 2, ... and reads each acknowledgment from the first interface of `port`.
void RunBlocks(benchmark::State& state, DriverPort& port) {
    const PortHandle set = port.GetClassDevices();
    std::string path;
    port.GetInterfaceDetail(set, 0, path);
    port.DestroyDeviceInfoList(set);
    const PortHandle file = port.CreateFile(path);
    if (file == INVALID_PORT_HANDLE) {
        state.SkipWithError("no unit");
        return;
    }
    std::uint32_t number = 0;
    std::uint8_t answer[256];
    for (auto _ : state) {
        number = number % 8192 + 1;
        const UnitPacket packet = BlockPacket(number);
        std::size_t returned = 0;
        const bool ok = port.DeviceIoControl(file, IOCTL_UNIT_SEND, packet.data(), packet.size(),
                                             nullptr, 0, returned) &&
                        port.DeviceIoControl(file, IOCTL_UNIT_RECEIVE, nullptr, 0, answer,
                                             sizeof answer, returned);
        if (!ok) {
            state.SkipWithError("the unit did not answer");
            break;
        }
        benchmark::DoNotOptimize(answer);
    }
    port.CloseHandle(file);
    state.SetItemsProcessed(state.iterations());
}

void BM_LoopbackBlock(benchmark::State& state) {
    LoopbackDriverPort port;
    port.Plug();
    RunBlocks(state, port);
}
BENCHMARK(BM_LoopbackBlock);

void BM_SimServerBlock(benchmark::State& state) {
    char root[] = "/tmp/knot-sim-bench-XXXXXX";
    if (::mkdtemp(root) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    int stop[2];
    if (::pipe2(stop, O_CLOEXEC) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    ServeOptions options;
    options.directory = std::string(root) + "/rendezvous";
    std::string error;
    {
        SimServer server(options);
        if (server.Start(error)) {
            std::thread serving([&] { server.Run(stop[0]); });
            SimDriverPort port(options.directory);
            bool ok = false;
            std::string reply;
            SimControlRequest(options.directory, {"plug"}, ok, reply, 5000);
            RunBlocks(state, port);
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write(stop[1], &byte, 1);
            serving.join();
        } else {
            state.SkipWithError(error.c_str());
        }
    }
    ::close(stop[0]);
    ::close(stop[1]);
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_SimServerBlock)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
