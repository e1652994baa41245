// The meeting point of the simulated driver port and the knot-unit-sim process: the rendezvous
// folder, the names of the sockets in it, and the messages that pass through them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace knot::device {
// The folder comes from this variable, read only by the simulated port and the simulator.
// Without it the folder is the user's own: "knot-unit-sim" in $XDG_RUNTIME_DIR, or else
// "/tmp/knot-unit-sim-<user id>".
inline constexpr const char* SIM_DIR_VARIABLE = "KNOT_SIM_DIR";
inline constexpr const char* SIM_RUNTIME_DIR_VARIABLE = "XDG_RUNTIME_DIR";
inline constexpr const char* SIM_DIR_NAME = "knot-unit-sim";
inline constexpr const char* SIM_SHARED_TEMP_DIR = "/tmp";
inline constexpr const char* SIM_CONTROL_SOCKET = "control.sock";

// How long a receive waits for an answer, as a failed driver read would, unless a test shortens it.
inline constexpr int SIM_RECEIVE_TIMEOUT_MS = 500;
// How much longer the port waits for the server's reply than the server itself waits.
inline constexpr int SIM_REPLY_MARGIN_MS = 2000;
// The largest message either side sends.
inline constexpr std::size_t SIM_MAX_MESSAGE = 65536;

// Control requests are words separated by NUL: "plug <options>", "unplug N", "list", "enumerate".
// The reply starts with SIM_REPLY_OK or SIM_REPLY_ERROR, then text. "enumerate" answers one
// line per unit in plug order: the unit's socket name, a tab, its device path, and for a unit
// plugged with a slot a tab and the slot (a line without it reads as before).
inline constexpr char SIM_REPLY_OK = '0';
inline constexpr char SIM_REPLY_ERROR = '1';

// A unit request: the I/O control code and the receive time-out (each 4 bytes, little-endian),
// then the input bytes. The reply: one byte, 1 for success, then the output bytes.
inline constexpr std::size_t SIM_UNIT_REQUEST_HEADER = 8;

std::string SimDirectory();
// Why the rendezvous folder cannot be trusted, or "" when it can: it must be a folder of the
// user who runs us, and no other user may write to it, since whoever can place a socket there
// receives every packet, the firmware image included, and can answer as a unit. A folder that
// does not exist yet is no problem here: there is nothing in it to connect to.
std::string SimDirectoryProblem(const std::string& directory);
// Creates the rendezvous folder (mode 0700) unless it exists, then checks it as above; "" on
// success, else what is wrong.
std::string SimMakePrivateDirectory(const std::string& directory);
std::string SimUnitSocketName(std::int32_t number);
// The socket that stands for the driver's named event: "event-<name without Global\>.sock".
std::string SimEventSocketName(const std::string& eventName);
std::string SimJoinPath(const std::string& directory, const std::string& name);

void SimPutWord(std::vector<std::uint8_t>& message, std::uint32_t value);
std::uint32_t SimGetWord(const std::uint8_t* bytes);

// Linux sockets of kind SOCK_SEQPACKET. Each returns -1 or false on any failure.
int SimConnect(const std::string& path);
int SimListen(const std::string& path);
bool SimSendMessage(int fd, const void* bytes, std::size_t size);
// Waits up to `timeoutMs` (< 0: without end) for one message; false on time-out, end or error.
bool SimReceiveMessage(int fd, std::vector<std::uint8_t>& message, int timeoutMs);
// One request on a fresh connection to the control socket of `directory`.
bool SimControlRequest(const std::string& directory, const std::vector<std::string>& words,
                       bool& ok, std::string& reply, int timeoutMs);

} // namespace knot::device
