// A real PostgreSQL server for the tests of the line's database: initdb and postgres in a folder
// of the test's, run as an unprivileged user (nobody when the tests run as root), reached on
// 127.0.0.1 at a free port through psqlODBC; stopped, killed and started again at will.
#pragma once

#include "knot_names.h"

#include <string>
#include <sys/types.h>

class PostgresServer {
  public:
    // What is missing for a server here (Debian's postgresql and odbc-postgresql); empty when
    // nothing is.
    static std::string Missing();

    // Makes a cluster in `folder`/pg (the folder must exist); Started() tells whether it runs.
    explicit PostgresServer(const std::string& folder);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Starts the server on its port and waits until it takes connections.
    bool Start();
    // Ends it at once, as a crash would (immediate shutdown: no checkpoint, recovery at start).
    void Kill();
    bool Started() const { return m_pid > 0; }
    int Port() const { return m_port; }

    // The ODBC connection string of `database` through the PostgreSQL Unicode driver.
    std::string ConnectionString(const std::string& database) const;
    // psql's unaligned output of `sql` on `database`; "error: ..." when psql failed.
    std::string Query(const std::string& database, const std::string& sql) const;

  private:
    std::string m_folder;
    std::string m_data;
    int m_port = -1;
    pid_t m_pid = -1;
    bool m_initialised = false;
};
