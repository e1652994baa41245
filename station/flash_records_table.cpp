#include "flash_records_table.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace knot::station {
namespace {

constexpr std::size_t ID_LIMIT = 64;
constexpr std::size_t NAME_LIMIT = 16; // model, result, stage and cause columns
constexpr std::size_t HASH_DIGITS = 64;

// The columns in the table's order, with the cast each dialect gives the text bound to it.
struct Column {
    const char* name;
    const char* postgresCast; // "" for none
    const char* sqlServerCast;
};
constexpr std::array<Column, 13> COLUMNS = {{
    {"record_id", "", ""},
    {"run_time", "TIMESTAMP", "DATETIME2(0)"},
    {"host", "", ""},
    {"slot", "", ""},
    {"device_number", "INTEGER", "INT"},
    {"device_path", "", ""},
    {"model", "", ""},
    {"image_sha256", "", ""},
    {"result", "", ""},
    {"failure_stage", "", ""},
    {"failure_cause", "", ""},
    {"seconds", "DOUBLE PRECISION", "FLOAT"},
    {"record", "JSON", ""},
}};

bool IdCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

SqlText Text(const nlohmann::json& record, const char* field, std::size_t limit = 0) {
    const auto found = record.find(field);
    if (found == record.end() || !found->is_string()) {
        return std::nullopt;
    }
    std::string text = found->get<std::string>();
    return limit != 0 && text.size() > limit ? std::nullopt : SqlText(text);
}

SqlText Number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

// "2026-12-08T09:28:41Z" as "2026-12-08 09:28:41", which every DBMS reads as a timestamp.
SqlText RunTime(const nlohmann::json& record) {
    SqlText time = Text(record, "time");
    if (!time || time->size() != 20 || (*time)[10] != 'T' || time->back() != 'Z') {
        return std::nullopt;
    }
    (*time)[10] = ' ';
    time->pop_back();
    return time;
}

// The run's seconds: the record's own total when it has one, else the sum of its stages.
SqlText Seconds(const nlohmann::json& record) {
    const auto total = record.find("seconds");
    if (total != record.end() && total->is_number()) {
        return Number(total->get<double>());
    }
    const auto stages = record.find("stageSeconds");
    if (stages == record.end() || !stages->is_object()) {
        return std::nullopt;
    }
    double sum = 0;
    for (const auto& [stage, seconds] : stages->items()) {
        sum += seconds.is_number() ? seconds.get<double>() : 0.0;
    }
    return std::isfinite(sum) ? Number(sum) : std::nullopt;
}

SqlText Failure(const nlohmann::json& record, const char* field) {
    const auto failure = record.find("failure");
    return failure != record.end() && failure->is_object() ? Text(*failure, field, NAME_LIMIT)
                                                           : std::nullopt;
}

} // namespace

SqlDialect DialectOf(const std::string& dbmsName) {
    if (dbmsName == "PostgreSQL") {
        return SqlDialect::PostgreSql;
    }
    return dbmsName == "Microsoft SQL Server" ? SqlDialect::SqlServer : SqlDialect::Other;
}

std::optional<RecordRow> RowOfRecord(std::string_view line) {
    const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
    const auto id = record.is_object() ? record.find("recordId") : record.end();
    if (!record.is_object() || id == record.end() || !id->is_string()) {
        return std::nullopt;
    }
    RecordRow row;
    row.recordId = id->get<std::string>();
    if (row.recordId.empty() || row.recordId.size() > ID_LIMIT ||
        !std::all_of(row.recordId.begin(), row.recordId.end(), IdCharacter)) {
        return std::nullopt;
    }
    const auto number = record.find("deviceNumber");
    SqlText sha256 = Text(record, "sha256");
    row.values = {
        row.recordId,
        RunTime(record),
        Text(record, "host"),
        Text(record, "slot"),
        number != record.end() && number->is_number_integer()
            ? SqlText(std::to_string(number->get<long long>()))
            : std::nullopt,
        Text(record, "devicePath"),
        Text(record, "model", NAME_LIMIT),
        sha256 && sha256->size() == HASH_DIGITS ? sha256 : std::nullopt,
        Text(record, "result", NAME_LIMIT),
        Failure(record, "stage"),
        Failure(record, "cause"),
        Seconds(record),
        std::string(line),
    };
    return row;
}

std::string ProbeTableSql() {
    return "SELECT record_id FROM knot_flash_records WHERE 1 = 0";
}

std::string CreateTableSql(SqlDialect dialect) {
    switch (dialect) {
    case SqlDialect::PostgreSql:
        return "CREATE TABLE IF NOT EXISTS knot_flash_records ("
               "record_id VARCHAR(64) PRIMARY KEY, run_time TIMESTAMP, host TEXT, slot TEXT, "
               "device_number INTEGER, device_path TEXT, model VARCHAR(16), "
               "image_sha256 CHAR(64), result VARCHAR(16), failure_stage VARCHAR(16), "
               "failure_cause VARCHAR(16), seconds DOUBLE PRECISION, record JSON NOT NULL); "
               "CREATE INDEX IF NOT EXISTS knot_flash_records_run_time "
               "ON knot_flash_records (run_time)";
    case SqlDialect::SqlServer:
        return "IF OBJECT_ID(N'knot_flash_records', N'U') IS NULL BEGIN "
               "CREATE TABLE knot_flash_records ("
               "record_id VARCHAR(64) NOT NULL PRIMARY KEY, run_time DATETIME2(0) NULL, "
               "host NVARCHAR(MAX) NULL, slot NVARCHAR(MAX) NULL, device_number INT NULL, "
               "device_path NVARCHAR(MAX) NULL, model VARCHAR(16) NULL, "
               "image_sha256 CHAR(64) NULL, result VARCHAR(16) NULL, "
               "failure_stage VARCHAR(16) NULL, failure_cause VARCHAR(16) NULL, "
               "seconds FLOAT NULL, record NVARCHAR(MAX) NOT NULL); "
               "CREATE INDEX knot_flash_records_run_time ON knot_flash_records (run_time); END";
    case SqlDialect::Other:
        break;
    }
    return "";
}

std::string SelectPresentSql(std::size_t count) {
    std::string sql = "SELECT record_id FROM knot_flash_records WHERE record_id IN (";
    for (std::size_t i = 0; i < count; ++i) {
        sql += i == 0 ? "?" : ", ?";
    }
    return sql + ")";
}

std::string InsertRowsSql(SqlDialect dialect, std::size_t rows) {
    std::string sql = "INSERT INTO knot_flash_records (";
    std::string row = "(";
    for (std::size_t i = 0; i < COLUMNS.size(); ++i) {
        const Column& column = COLUMNS[i];
        const char* cast = dialect == SqlDialect::PostgreSql  ? column.postgresCast
                           : dialect == SqlDialect::SqlServer ? column.sqlServerCast
                                                              : "";
        sql += std::string(i == 0 ? "" : ", ") + column.name;
        row += std::string(i == 0 ? "" : ", ") +
               (*cast != '\0' ? std::string("CAST(? AS ") + cast + ")" : std::string("?"));
    }
    sql += ") VALUES ";
    for (std::size_t i = 0; i < rows; ++i) {
        sql += (i == 0 ? "" : ", ") + row + ")";
    }
    if (dialect == SqlDialect::PostgreSql) {
        sql += " ON CONFLICT (record_id) DO NOTHING";
    }
    return sql;
}

} // namespace knot::station
