// knot-unit-sim's own commands (plug, unplug, list, a second serve, a clean stop) and its
// rendezvous folder: where a user's server and programs meet by default, and the folders the
// port, the server and the commands refuse to trust.
#include "knot_names.h"

#include "case_printer.h"
#include "sim_server_process.h"

#include "device_access.h"
#include "disconnect_event.h"
#include "sim_driver_port.h"
#include "virtual_unit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

TEST(SimProcessTest, ControlCommandsAndCleanShutdown) {
    SimServerProcess server({"--latency-us", "1000"});
    ASSERT_TRUE(server.Ready());
    EXPECT_EQ(server.Plug({}), 0);
    EXPECT_EQ(server.Plug({"--number", "7", "--packet-size", "62", "--no-number"}), 7);
    EXPECT_EQ(server.Plug({}), 1);
    EXPECT_EQ(server.Plug({"--number", "7"}), -1);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--packet-size", "63"},
                                               {"--checksum", "12345"},
                                               {"--fault", "stale=0"},
                                               {"--fault", "refuse=wait:5"},
                                               {"--vendor"},
                                               {"--program-name", "NINECHARS"},
                                               {"--slot", ""},
                                               {"--slot", "tab\there"},
                                               {"--bogus"}}) {
        EXPECT_EQ(server.Plug(bad), -1) << bad[0];
    }
    EXPECT_FALSE(server.Unplug(9));
    EXPECT_TRUE(server.Unplug(0));

    const CommandResult list = server.Run({"list"});
    EXPECT_EQ(list.exitCode, 0);
    std::istringstream lines(list.output);
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, third));
    EXPECT_EQ(first.rfind("7 ", 0), 0u) << first;
    EXPECT_NE(first.find("#00002#"), std::string::npos) << first;
    EXPECT_EQ(second.rfind("1 ", 0), 0u) << second;

    // A second server on the same folder is refused; the first one is untouched by it.
    EXPECT_EQ(RunSimCommand({"serve"}, server.Directory()).exitCode, 1);
    EXPECT_EQ(server.Run({"list"}).output, list.output);

    EXPECT_TRUE(server.Stop());
    EXPECT_FALSE(std::filesystem::exists(server.Directory()));
}

// Sets an environment variable for one scope and puts the old value back afterwards.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        m_had = std::getenv(name) != nullptr;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(SimRendezvousTest, DefaultFolderIsTheUsersOwnAndServeMakesItPrivate) {
    {
        ScopedVariable dir(SIM_DIR_VARIABLE, nullptr);
        ScopedVariable runtime(SIM_RUNTIME_DIR_VARIABLE, nullptr);
        EXPECT_EQ(SimDirectory(), "/tmp/knot-unit-sim-" + std::to_string(::geteuid()));
        ScopedVariable relative(SIM_RUNTIME_DIR_VARIABLE, "run/user");
        EXPECT_EQ(SimDirectory(), "/tmp/knot-unit-sim-" + std::to_string(::geteuid()));
        ScopedVariable absolute(SIM_RUNTIME_DIR_VARIABLE, "/run/user/1234");
        EXPECT_EQ(SimDirectory(), "/run/user/1234/knot-unit-sim");
        ScopedVariable chosen(SIM_DIR_VARIABLE, "/somewhere/else");
        EXPECT_EQ(SimDirectory(), "/somewhere/else");
    }
    // Even a wide umask leaves the folder that serve creates to its user alone.
    const mode_t oldMask = ::umask(0);
    SimServerProcess server;
    ::umask(oldMask);
    ASSERT_TRUE(server.Ready());
    struct stat status {};
    ASSERT_EQ(::stat(server.Directory().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(status.st_uid, ::geteuid());
}

struct RendezvousCase {
    const char* name;
    mode_t mode;     // the folder's mode after the server started in it
    bool otherOwner; // the folder is given to another user
    const char* problem;
};

class UntrustedRendezvousTest : public ::testing::TestWithParam<RendezvousCase> {};

// A folder that another user owns or can write is refused even while a real server serves in
// it: whoever could place sockets there would receive the packets and answer as a unit.
TEST_P(UntrustedRendezvousTest, PortServerAndCommandsRefuseIt) {
    const RendezvousCase& c = GetParam();
    constexpr uid_t OTHER_USER = 65534;
    if (c.otherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user";
    SimServerProcess server;
    ASSERT_TRUE(server.Ready());
    ASSERT_EQ(server.Plug(), 0);
    const std::string& folder = server.Directory();
    SimDriverPort port(folder, SHORT_RECEIVE_TIMEOUT_MS);
    ASSERT_EQ(CountDeviceInterfaces(port), 1);
    EXPECT_EQ(port.DirectoryRefusal(), "");

    ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
    if (c.otherOwner) {
        ASSERT_EQ(::chown(folder.c_str(), OTHER_USER, OTHER_USER), 0);
    }
    EXPECT_EQ(CountDeviceInterfaces(port), 0);
    EXPECT_EQ(port.CreateFile(UnitDevicePath(UnitConfig{})), INVALID_PORT_HANDLE);
    EXPECT_EQ(port.OpenNamedEvent(DisconnectEventName(0)), INVALID_PORT_HANDLE);
    const std::string refusal = port.DirectoryRefusal();
    EXPECT_NE(refusal.find("refusing the rendezvous folder " + folder + ": "), std::string::npos)
        << refusal;
    EXPECT_NE(refusal.find(c.problem), std::string::npos) << refusal;

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"serve"}, std::vector<std::string>{"list"}}) {
        const CommandResult result = RunSimCommand(command, folder, true);
        EXPECT_EQ(result.exitCode, 1) << command[0];
        EXPECT_NE(result.output.find(refusal), std::string::npos) << result.output;
    }
    // Back to the server's own folder, so that it can clean up after itself.
    EXPECT_EQ(::chown(folder.c_str(), ::geteuid(), ::getegid()), 0);
    EXPECT_EQ(::chmod(folder.c_str(), 0700), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UntrustedRendezvousTest,
    ::testing::Values(RendezvousCase{"OthersCanWrite", 01777, false, "other users can write to it"},
                      RendezvousCase{"GroupCanWrite", 0770, false, "other users can write to it"},
                      RendezvousCase{"AnotherUsersFolder", 0700, true, "belongs to user id 65534"}),
    [](const auto& info) { return info.param.name; });

} // namespace
