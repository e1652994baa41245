#include "record_shipper.h"

#include "flash_records_table.h"
#include "odbc_session.h"
#include "report_tail.h"
#include "utf8_text.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace knot::station {
namespace {

constexpr std::size_t READ_LIMIT = 32u << 20; // of the report, per read
// Rows per statement: 13 parameters each stay below SQL Server's 2,100 per statement.
constexpr std::size_t ROWS_PER_STATEMENT = 100;

} // namespace

struct RecordShipper::Line {
    const ReportLine* line;
    std::optional<RecordRow> row;
};

struct RecordShipper::Connection {
    OdbcSession session;
    SqlDialect dialect = SqlDialect::Other;

    // Connects when not connected, and makes sure of the table.
    bool Ready(const std::string& connection, std::string& why) {
        if (session.Connected()) {
            return true;
        }
        if (!session.Connect(connection, why)) {
            return false;
        }
        dialect = DialectOf(session.DbmsName());
        std::string missing;
        if (session.Execute(ProbeTableSql(), {}, missing)) {
            return true;
        }
        const std::string create = CreateTableSql(dialect);
        if (create.empty()) {
            why = "the table knot_flash_records is missing, and " + ShownText(session.DbmsName()) +
                  " is not a database this tool creates it in (" + missing + ")";
        } else if (session.Execute(create, {}, why)) {
            return true;
        } else {
            why = "the table knot_flash_records is missing and could not be created: " + why;
        }
        session.Disconnect();
        return false;
    }

    // Inserts the rows the table lacks, in one transaction; counts those it had.
    bool Ship(const std::vector<const RecordRow*>& rows, const ShipperSeams& seams,
              std::uint64_t& inserted, std::uint64_t& present, std::string& why) {
        if (!session.Begin(why)) {
            return false;
        }
        std::set<std::string> there;
        for (std::size_t at = 0; at < rows.size(); at += ROWS_PER_STATEMENT) {
            const std::size_t count = std::min(ROWS_PER_STATEMENT, rows.size() - at);
            std::vector<SqlText> ids;
            for (std::size_t i = at; i < at + count; ++i) {
                ids.emplace_back(rows[i]->recordId);
            }
            std::vector<std::string> found;
            if (!session.Execute(SelectPresentSql(count), ids, why, &found)) {
                return false;
            }
            there.insert(found.begin(), found.end());
        }
        std::vector<const RecordRow*> missing;
        for (const RecordRow* row : rows) {
            // A report may hold a record twice (a copied line): it goes in once.
            if (there.insert(row->recordId).second) {
                missing.push_back(row);
            }
        }
        for (std::size_t at = 0; at < missing.size(); at += ROWS_PER_STATEMENT) {
            const std::size_t count = std::min(ROWS_PER_STATEMENT, missing.size() - at);
            std::vector<SqlText> values;
            for (std::size_t i = at; i < at + count; ++i) {
                values.insert(values.end(), missing[i]->values.begin(), missing[i]->values.end());
            }
            if (!session.Execute(InsertRowsSql(dialect, count), values, why)) {
                return false;
            }
            if (at == 0 && seams.insideBatch) {
                seams.insideBatch();
            }
        }
        if (!session.Commit(why)) {
            return false;
        }
        inserted += missing.size();
        present += rows.size() - missing.size();
        return true;
    }
};

RecordShipper::RecordShipper(ShipperSettings settings, std::function<void(const ShipperNews&)> tell,
                             ShipperSeams seams)
    : m_settings(std::move(settings)), m_tell(std::move(tell)), m_seams(std::move(seams)),
      m_db(std::make_unique<Connection>()) {
    m_settings.batchRecords = std::max<std::size_t>(m_settings.batchRecords, 1);
}

RecordShipper::~RecordShipper() {
    Stop();
}

void RecordShipper::Tell(ShipperNews::Kind kind, std::string text) {
    if (m_tell) {
        m_tell(ShipperNews{kind, std::move(text)});
    }
}

ShipPass RecordShipper::ShipNow() {
    std::lock_guard lock(m_passMutex);
    return Pass();
}

ShipPass RecordShipper::Pass() {
    ShipPass pass;
    m_notedSeen = m_noted.load();
    const std::string report = ShownText(m_settings.reportPath);
    const std::string positionPath = PositionPath(m_settings.reportPath);
    for (bool more = true; more;) {
        ReportTail tail;
        std::string why;
        if (!ReadReportTail(m_settings.reportPath, ReadPosition(positionPath), READ_LIMIT, tail,
                            why)) {
            pass.reached = false;
            pass.reportRead = false;
            pass.why = "cannot read the report " + report + ": " + why;
            return pass;
        }
        more = tail.bytes.size() == READ_LIMIT && !tail.lines.empty();
        std::vector<Line> lines;
        std::uint64_t records = 0;
        for (const ReportLine& line : tail.lines) {
            lines.push_back({&line, RowOfRecord(line.text)});
            records += lines.back().row ? 1 : 0;
            if (!lines.back().row && !line.text.empty()) {
                ++pass.skipped;
                if (!std::exchange(m_toldSkipped, true)) {
                    Tell(ShipperNews::Kind::LinesSkipped,
                         "report " + report + ", line " + std::to_string(line.after.line) +
                             ": not a record with a recordId; such lines are not shipped");
                }
            }
        }
        m_backlog = records;
        if (!ShipLines(lines, report, pass)) {
            return pass;
        }
    }
    Announce();
    return pass;
}

bool RecordShipper::Announce() {
    bool stopping = false;
    {
        // Taken after the backlog moved, so that a waiter cannot miss the news.
        std::lock_guard lock(m_wakeMutex);
        stopping = m_stop;
    }
    m_shipped.notify_all();
    return stopping;
}

bool RecordShipper::ShipLines(const std::vector<Line>& lines, const std::string& report,
                              ShipPass& pass) {
    const std::string positionPath = PositionPath(m_settings.reportPath);
    std::string why;
    for (std::size_t begin = 0; begin < lines.size();) {
        std::vector<const RecordRow*> rows;
        std::size_t end = begin;
        for (; end < lines.size() && rows.size() < m_settings.batchRecords; ++end) {
            if (lines[end].row) {
                rows.push_back(&*lines[end].row);
            }
        }
        const bool wasConnected = m_db->session.Connected();
        bool shipped =
            rows.empty() || (m_db->Ready(m_settings.connection, why) &&
                             m_db->Ship(rows, m_seams, pass.inserted, pass.present, why));
        if (!shipped) {
            m_db->session.Rollback();
            m_db->session.Disconnect();
            // A connection kept from an earlier pass may have been dropped while idle.
            shipped = wasConnected && m_db->Ready(m_settings.connection, why) &&
                      m_db->Ship(rows, m_seams, pass.inserted, pass.present, why);
        }
        if (!shipped) {
            m_db->session.Rollback();
            m_db->session.Disconnect();
            pass.reached = false;
            pass.why = why;
            if (!std::exchange(m_unreachable, true)) {
                Tell(ShipperNews::Kind::Unreachable,
                     "database unreachable: " + why + " (the records wait in " + report + ")");
            }
            return false;
        }
        if (!rows.empty() && std::exchange(m_unreachable, false)) {
            Tell(ShipperNews::Kind::Reachable,
                 "database reachable again: the records that waited in " + report +
                     " are being shipped");
        }
        if (!rows.empty() && m_seams.afterCommit && !m_seams.afterCommit()) {
            return false;
        }
        if (!SavePosition(positionPath, lines[end - 1].line->after, why) &&
            !std::exchange(m_toldPosition, true)) {
            Tell(ShipperNews::Kind::PositionNotSaved,
                 "cannot save how far the records were shipped in " + ShownText(positionPath) +
                     ": " + why + " (they may be sent again; the database keeps each once)");
        }
        m_backlog = m_backlog - rows.size();
        if (Announce()) {
            return false;
        }
        begin = end;
    }
    return true;
}

void RecordShipper::Start() {
    std::lock_guard lock(m_wakeMutex);
    if (!m_follower.joinable()) {
        m_stop = false;
        m_follower = std::thread([this] { Follow(); });
    }
}

void RecordShipper::Notify() {
    ++m_noted;
    {
        std::lock_guard lock(m_wakeMutex);
        m_woken = true;
    }
    m_wake.notify_one();
}

void RecordShipper::Stop() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_shipped.notify_all();
    if (m_follower.joinable()) {
        m_follower.join();
    }
}

std::uint64_t RecordShipper::Backlog() const {
    const std::uint64_t noted = m_noted.load();
    const std::uint64_t seen = m_notedSeen.load();
    return m_backlog.load() + (noted > seen ? noted - seen : 0);
}

bool RecordShipper::WaitUntilShipped(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_wakeMutex);
    return m_shipped.wait_until(lock, deadline, [this] { return m_stop || Backlog() == 0; }) &&
           Backlog() == 0;
}

void RecordShipper::WaitForWork(std::chrono::milliseconds longest) {
    std::unique_lock lock(m_wakeMutex);
    m_wake.wait_for(lock, longest, [this] { return m_woken || m_stop; });
    m_woken = false;
}

void RecordShipper::Follow() {
    std::chrono::milliseconds retry = m_settings.firstRetry;
    for (;;) {
        {
            std::lock_guard lock(m_wakeMutex);
            if (m_stop) {
                return;
            }
            m_woken = false;
        }
        ShipPass pass = ShipNow();
        if (pass.reached) {
            retry = m_settings.firstRetry;
            WaitForWork(m_settings.lookEvery);
            continue;
        }
        // Records appended meanwhile do not hasten the next try: the database is the matter.
        std::unique_lock lock(m_wakeMutex);
        m_wake.wait_for(lock, retry, [this] { return m_stop; });
        retry = std::min(retry * 2, m_settings.lastRetry);
    }
}

} // namespace knot::station
