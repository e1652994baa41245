#include "knot_names.h"

#include "postgres_server.h"

#include "child_process.h"
#include "file_text.h"
#include "local_port.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <pwd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char BIN[] = "/usr/lib/postgresql/15/bin/";
constexpr char ODBC_DRIVER[] = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";
constexpr char USER[] = "knot";
constexpr char UNPRIVILEGED[] = "nobody";
constexpr auto START_DEADLINE = std::chrono::seconds(60);

// `argv` as the unprivileged user when the tests run as root (initdb and postgres refuse root).
std::vector<std::string> AsServerUser(std::vector<std::string> argv) {
    if (::geteuid() == 0) {
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                   "--clear-groups", "--"});
    }
    return argv;
}

} // namespace

std::string PostgresServer::Missing() {
    for (const std::string& path : {std::string(BIN) + "initdb", std::string(BIN) + "postgres",
                                    std::string(BIN) + "psql", std::string(ODBC_DRIVER)}) {
        if (!std::filesystem::exists(path)) {
            return path + " is missing: install Debian's postgresql and odbc-postgresql";
        }
    }
    return "";
}

PostgresServer::PostgresServer(const std::string& folder)
    : m_folder(folder), m_data(folder + "/pg"), m_port(FreeLocalPort()) {
    std::filesystem::create_directories(m_data);
    std::filesystem::permissions(m_data, std::filesystem::perms::owner_all);
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam(UNPRIVILEGED);
        if (user == nullptr || ::chown(m_data.c_str(), user->pw_uid, user->pw_gid) != 0) {
            return;
        }
    }
    ChildSetup setup;
    setup.argv = AsServerUser({std::string(BIN) + "initdb", "-D", m_data, "-U", USER, "-A", "trust",
                               "-E", "UTF8", "--locale=C", "--no-sync"});
    setup.out = m_folder + "/initdb.log";
    setup.errToOut = true;
    m_initialised = WaitChild(SpawnChild(setup), START_DEADLINE) == 0;
}

PostgresServer::~PostgresServer() {
    Kill();
}

bool PostgresServer::Start() {
    if (!m_initialised || Started()) {
        return Started();
    }
    ChildSetup setup;
    setup.argv = AsServerUser({std::string(BIN) + "postgres", "-D", m_data, "-k", m_data, "-p",
                               std::to_string(m_port), "-c", "listen_addresses=127.0.0.1", "-c",
                               "fsync=off"});
    setup.out = m_folder + "/postgres.log";
    setup.errToOut = true;
    setup.dieWithParent = true;
    m_pid = SpawnChild(setup);
    // The server marks its pid file "ready" once it takes connections.
    const auto until = std::chrono::steady_clock::now() + START_DEADLINE;
    while (m_pid > 0 && std::chrono::steady_clock::now() < until) {
        if (ReadFile(m_data + "/postmaster.pid").find("\nready") != std::string::npos) {
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1; // it ended
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
    return false;
}

void PostgresServer::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGQUIT);
        WaitChild(m_pid, std::chrono::seconds(30));
        m_pid = -1;
    }
}

std::string PostgresServer::ConnectionString(const std::string& database) const {
    return std::string("Driver=") + ODBC_DRIVER +
           ";Server=127.0.0.1;Port=" + std::to_string(m_port) + ";Database=" + database +
           ";Uid=" + USER + ";Pwd=unused;";
}

std::string PostgresServer::Query(const std::string& database, const std::string& sql) const {
    ChildSetup setup;
    setup.argv = {std::string(BIN) + "psql",
                  "-h",
                  m_data,
                  "-p",
                  std::to_string(m_port),
                  "-U",
                  USER,
                  "-d",
                  database,
                  "-Atqc",
                  sql};
    const std::string out = m_folder + "/psql.out";
    setup.out = out;
    setup.errToOut = true;
    const int status = WaitChild(SpawnChild(setup), std::chrono::seconds(60));
    std::string text = ReadFile(out);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return status == 0 ? text : "error: " + text;
}
