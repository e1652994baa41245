#include "odbc_session.h"

#include "utf8_text.h"

#include "odbc_api.h"

#include <algorithm>
#include <cctype>

namespace knot::station {
namespace {

constexpr SQLULEN LOGIN_TIMEOUT_SECONDS = 10;
constexpr SQLULEN QUERY_TIMEOUT_SECONDS = 60;
constexpr std::size_t WIDE_VARCHAR_LIMIT = 4000; // longer text goes as a long column (SQL Server)
constexpr const char* SECRET_KEYS[] = {"pwd", "password", "sslpassword", "accesstoken", "token"};

// The driver manager's functions. A session calls them only while it holds handles, and only a
// Connect that loaded them makes any.
const OdbcApi& Odbc() {
    std::string unused;
    return *LoadOdbc(unused);
}

bool Good(SQLRETURN status) {
    return SQL_SUCCEEDED(status) || status == SQL_NO_DATA;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Every diagnostic record of `handle`, "SQLSTATE: text" each, joined.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string all;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = "";
        SQLCHAR text[1024] = "";
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(Odbc().SQLGetDiagRec(type, handle, record, state, &native, text,
                                                sizeof text, &length))) {
            break;
        }
        // One line each: a driver's own line ends and indents become single spaces.
        std::string line;
        for (const char* at = reinterpret_cast<char*>(text); *at != '\0'; ++at) {
            const bool space = *at == '\n' || *at == '\r' || *at == '\t';
            if (!space) {
                line += *at;
            } else if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        all +=
            (all.empty() ? "" : "; ") + std::string(reinterpret_cast<char*>(state)) + ": " + line;
    }
    return all.empty() ? "the ODBC driver gave no reason" : ShownText(all);
}

// What a failed connection attempt says, with a missing driver or data source named as such.
std::string ConnectFailure(SQLHDBC connection) {
    const std::string said = Diagnostics(SQL_HANDLE_DBC, connection);
    // IM002: no such data source or driver; IM003: the driver cannot be loaded; unixODBC says
    // "Can't open lib" (01000) for a driver it finds no library of.
    if (said.find("IM002: ") != std::string::npos || said.find("IM003: ") != std::string::npos ||
        said.find("Can't open lib") != std::string::npos) {
        return "the ODBC driver or data source that the database file names is not installed "
               "here (" +
               said + ")";
    }
    return said;
}

struct StatementFree {
    void operator()(void* statement) const { Odbc().SQLFreeHandle(SQL_HANDLE_STMT, statement); }
};

} // namespace

struct OdbcSession::Handles {
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    bool connected = false;
};

OdbcSession::OdbcSession() : m_handles(std::make_unique<Handles>()) {}

OdbcSession::~OdbcSession() {
    Disconnect();
}

bool OdbcSession::Connected() const {
    return m_handles->connected;
}

const std::string& OdbcSession::DbmsName() const {
    return m_dbmsName;
}

void OdbcSession::Disconnect() {
    Handles& h = *m_handles;
    if (h.connected) {
        Odbc().SQLEndTran(SQL_HANDLE_DBC, h.connection, SQL_ROLLBACK);
        Odbc().SQLDisconnect(h.connection);
    }
    if (h.connection != SQL_NULL_HDBC) {
        Odbc().SQLFreeHandle(SQL_HANDLE_DBC, h.connection);
    }
    if (h.environment != SQL_NULL_HENV) {
        Odbc().SQLFreeHandle(SQL_HANDLE_ENV, h.environment);
    }
    h = Handles();
}

bool OdbcSession::Connect(const std::string& connection, std::string& why) {
    Disconnect();
    m_connection = connection;
    if (LoadOdbc(why) == nullptr) {
        return false;
    }
    Handles& h = *m_handles;
    if (!SQL_SUCCEEDED(Odbc().SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.environment)) ||
        !SQL_SUCCEEDED(Odbc().SQLSetEnvAttr(h.environment, SQL_ATTR_ODBC_VERSION,
                                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)) ||
        !SQL_SUCCEEDED(Odbc().SQLAllocHandle(SQL_HANDLE_DBC, h.environment, &h.connection))) {
        why = "the ODBC driver manager could not be set up";
        Disconnect();
        return false;
    }
    Odbc().SQLSetConnectAttr(h.connection, SQL_ATTR_LOGIN_TIMEOUT,
                             reinterpret_cast<SQLPOINTER>(LOGIN_TIMEOUT_SECONDS), 0);
    std::string text = connection;
    SQLCHAR completed[1024];
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(Odbc().SQLDriverConnect(
            h.connection, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, completed,
            sizeof completed, &length, SQL_DRIVER_NOPROMPT))) {
        why = WithoutSecrets(ConnectFailure(h.connection), connection);
        Disconnect();
        return false;
    }
    h.connected = true;
    SQLCHAR name[256] = "";
    SQLSMALLINT nameLength = 0;
    Odbc().SQLGetInfo(h.connection, SQL_DBMS_NAME, name, sizeof name, &nameLength);
    m_dbmsName = reinterpret_cast<char*>(name);
    return true;
}

bool OdbcSession::Execute(const std::string& sql, const std::vector<SqlText>& parameters,
                          std::string& why, std::vector<std::string>* firstColumn) {
    SQLHSTMT raw = SQL_NULL_HSTMT;
    if (!Connected() ||
        !SQL_SUCCEEDED(Odbc().SQLAllocHandle(SQL_HANDLE_STMT, m_handles->connection, &raw))) {
        why = Connected()
                  ? WithoutSecrets(Diagnostics(SQL_HANDLE_DBC, m_handles->connection), m_connection)
                  : "not connected";
        return false;
    }
    std::unique_ptr<void, StatementFree> statement(raw);
    Odbc().SQLSetStmtAttr(raw, SQL_ATTR_QUERY_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(QUERY_TIMEOUT_SECONDS), 0);
    // The bound values must live until the statement has run.
    std::vector<std::u16string> values(parameters.size());
    std::vector<SQLLEN> lengths(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i]) {
            values[i] = Utf16FromUtf8(*parameters[i]);
        }
        const SQLLEN bytes = static_cast<SQLLEN>(values[i].size() * sizeof(char16_t));
        lengths[i] = parameters[i] ? bytes : SQL_NULL_DATA;
        const SQLSMALLINT type =
            values[i].size() > WIDE_VARCHAR_LIMIT ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        if (!SQL_SUCCEEDED(Odbc().SQLBindParameter(
                raw, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, type,
                std::max<SQLULEN>(values[i].size(), 1), 0,
                reinterpret_cast<SQLPOINTER>(values[i].data()), bytes, &lengths[i]))) {
            why = WithoutSecrets(Diagnostics(SQL_HANDLE_STMT, raw), m_connection);
            return false;
        }
    }
    std::string text = sql;
    if (!Good(Odbc().SQLExecDirect(raw, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS))) {
        why = WithoutSecrets(Diagnostics(SQL_HANDLE_STMT, raw), m_connection);
        return false;
    }
    SQLRETURN fetched = SQL_SUCCESS;
    while (firstColumn != nullptr && SQL_SUCCEEDED(fetched = Odbc().SQLFetch(raw))) {
        SQLCHAR cell[512] = "";
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(Odbc().SQLGetData(raw, 1, SQL_C_CHAR, cell, sizeof cell, &length))) {
            break;
        }
        firstColumn->emplace_back(length == SQL_NULL_DATA ? "" : reinterpret_cast<char*>(cell));
    }
    if (!Good(fetched)) {
        why = WithoutSecrets(Diagnostics(SQL_HANDLE_STMT, raw), m_connection);
        return false;
    }
    return true;
}

bool OdbcSession::Begin(std::string& why) {
    if (!Connected() || !SQL_SUCCEEDED(Odbc().SQLSetConnectAttr(
                            m_handles->connection, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        why = Connected()
                  ? WithoutSecrets(Diagnostics(SQL_HANDLE_DBC, m_handles->connection), m_connection)
                  : "not connected";
        return false;
    }
    return true;
}

bool OdbcSession::Commit(std::string& why) {
    if (!Connected() ||
        !SQL_SUCCEEDED(Odbc().SQLEndTran(SQL_HANDLE_DBC, m_handles->connection, SQL_COMMIT))) {
        why = Connected()
                  ? WithoutSecrets(Diagnostics(SQL_HANDLE_DBC, m_handles->connection), m_connection)
                  : "not connected";
        return false;
    }
    Odbc().SQLSetConnectAttr(m_handles->connection, SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return true;
}

void OdbcSession::Rollback() {
    if (Connected()) {
        Odbc().SQLEndTran(SQL_HANDLE_DBC, m_handles->connection, SQL_ROLLBACK);
        Odbc().SQLSetConnectAttr(m_handles->connection, SQL_ATTR_AUTOCOMMIT,
                                 reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    }
}

std::string WithoutSecrets(std::string text, const std::string& connection) {
    std::vector<std::string> secrets{connection};
    // key=value;key={value with ;};...
    for (std::size_t at = 0; at < connection.size();) {
        const std::size_t equals = connection.find('=', at);
        if (equals == std::string::npos) {
            break;
        }
        std::string key = connection.substr(at, equals - at);
        key.erase(0, key.find_first_not_of(" \t"));
        key.erase(key.find_last_not_of(" \t") + 1);
        std::size_t end = connection.find(
            equals + 1 < connection.size() && connection[equals + 1] == '{' ? '}' : ';',
            equals + 1);
        end = end == std::string::npos ? connection.size() : end;
        std::string value = connection.substr(equals + 1, end - equals - 1);
        if (!value.empty() && value.front() == '{') {
            value.erase(0, 1);
        }
        if (std::find(std::begin(SECRET_KEYS), std::end(SECRET_KEYS), Lower(key)) !=
                std::end(SECRET_KEYS) &&
            !value.empty()) {
            secrets.push_back(value);
        }
        at = connection.find(';', end);
        at = at == std::string::npos ? connection.size() : at + 1;
    }
    for (const std::string& secret : secrets) {
        for (std::size_t found;
             !secret.empty() && (found = text.find(secret)) != std::string::npos;) {
            text.replace(found, secret.size(), "***");
        }
    }
    return text;
}

} // namespace knot::station
