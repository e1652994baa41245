// One connection to the line's database through ODBC (Windows' own odbc32.dll; unixODBC on
// Linux): connect, the DBMS's name, statements with text parameters, and transactions. What the
// driver says goes into messages with the connection string's secrets blanked out.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace knot::station {
// A statement's parameter: UTF-8 text (the SQL casts it where a column wants another type), or
// nothing for SQL NULL.
using SqlText = std::optional<std::string>;

class OdbcSession {
  public:
    OdbcSession();
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // Connects with `connection` (a connection string or "DSN=NAME"), committing each statement
    // on its own until Begin(). False with the driver's words in `why`.
    bool Connect(const std::string& connection, std::string& why);
    bool Connected() const;
    void Disconnect();
    // The DBMS's own name for itself: "PostgreSQL", "Microsoft SQL Server", ...
    const std::string& DbmsName() const;

    // Runs `sql` with its parameters bound in order; with `firstColumn`, the first column of
    // every row it returns (as UTF-8 text; NULL as empty).
    bool Execute(const std::string& sql, const std::vector<SqlText>& parameters, std::string& why,
                 std::vector<std::string>* firstColumn = nullptr);

    // A transaction: every statement from Begin() to Commit() or Rollback() is one.
    bool Begin(std::string& why);
    bool Commit(std::string& why);
    void Rollback();

  private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    std::string m_dbmsName;
    std::string m_connection; // kept only to blank it out of what the driver says
};

// `text` with the connection string, and the value of any password or secret in it, replaced
// by "***": drivers may repeat either in a message.
std::string WithoutSecrets(std::string text, const std::string& connection);

} // namespace knot::station
