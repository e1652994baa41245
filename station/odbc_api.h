// The ODBC functions the station calls. On Windows they are odbc32.dll's, linked as any of
// Windows' own; on Linux unixODBC's driver manager (libodbc.so.2, with its libltdl) is loaded the
// first time a database is used, so that a program that never reaches one does not map it at
// each start.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace knot::station {

#define KNOT_ODBC_FUNCTIONS(X)                                                                     \
    X(SQLAllocHandle)                                                                              \
    X(SQLBindParameter)                                                                            \
    X(SQLDisconnect)                                                                               \
    X(SQLDriverConnect)                                                                            \
    X(SQLEndTran)                                                                                  \
    X(SQLExecDirect)                                                                               \
    X(SQLFetch)                                                                                    \
    X(SQLFreeHandle)                                                                               \
    X(SQLGetData)                                                                                  \
    X(SQLGetDiagRec)                                                                               \
    X(SQLGetInfo)                                                                                  \
    X(SQLSetConnectAttr)                                                                           \
    X(SQLSetEnvAttr)                                                                               \
    X(SQLSetStmtAttr)

// Each function by its own name, typed by the headers the program was built with.
struct OdbcApi {
#define KNOT_ODBC_POINTER(name) decltype(&::name) name = nullptr;
    KNOT_ODBC_FUNCTIONS(KNOT_ODBC_POINTER)
#undef KNOT_ODBC_POINTER
};

// The functions, loaded once and kept; nullptr, with why in `why`, when the driver manager or
// one of its functions is missing.
const OdbcApi* LoadOdbc(std::string& why);

} // namespace knot::station
