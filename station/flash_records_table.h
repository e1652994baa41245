// The line database's table of run records, knot_flash_records: its definition for each DBMS,
// the row a report line gives (the columns a query needs most beside the whole record), and the
// statements that find which records are there already and insert the others.
#pragma once

#include "odbc_session.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace knot::station {
enum class SqlDialect { PostgreSql, SqlServer, Other };

// The dialect of a DBMS by the name ODBC gives for it (SQL_DBMS_NAME).
SqlDialect DialectOf(const std::string& dbmsName);

// One record's row: its id, and every column's value in the table's order.
struct RecordRow {
    std::string recordId;
    std::vector<SqlText> values;
};

// The row of a report line; nothing when the line is not a JSON object with a recordId of 1 to
// 64 letters, digits, '-', '_', '.' or ':'.
std::optional<RecordRow> RowOfRecord(std::string_view line);

// Finds whether the table is there (fails when it is not).
std::string ProbeTableSql();
// Creates the table and its index when missing; empty for a DBMS whose SQL is not known here.
std::string CreateTableSql(SqlDialect dialect);
// The ids among `count` parameters that the table holds.
std::string SelectPresentSql(std::size_t count);
// Inserts `rows` rows of parameters; on PostgreSQL a row whose id is there already is left out.
std::string InsertRowsSql(SqlDialect dialect, std::size_t rows);

} // namespace knot::station
