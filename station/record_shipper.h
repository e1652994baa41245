// Store-and-forward of a report's records into the line's database, which never makes flashing
// wait: the report stays the source of truth, and the shipper sends what the database lacks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace knot::station {
struct ShipperSettings {
    std::string reportPath;
    std::string connection;                     // the connection string, from ReadConnectionFile
    std::size_t batchRecords = 500;             // records per transaction
    std::chrono::milliseconds firstRetry{1000}; // while the database is unreachable: doubling
    std::chrono::milliseconds lastRetry{30000}; // up to this
    std::chrono::milliseconds lookEvery{1000};  // the follower looks for lines other programs
                                                // appended this often
};

// What the shipper tells the front end, once per change.
struct ShipperNews {
    enum class Kind { Unreachable, Reachable, LinesSkipped, PositionNotSaved } kind;
    std::string text; // the operator's text
};

// Where a test stops the shipper as a crash or a lost server would.
struct ShipperSeams {
    std::function<void()> insideBatch; // after a batch's first rows went in, before its commit
    std::function<bool()> afterCommit; // false: end the pass before the position is saved
};

// What one pass over the report did.
struct ShipPass {
    bool reached = true;        // false: the database could not be reached or refused the rows
    std::uint64_t inserted = 0; // records the pass put into the table
    std::uint64_t present = 0;  // records it found there already (a replay)
    std::uint64_t skipped = 0;  // lines that are not records with a recordId
    bool reportRead = true;     // false: the report itself could not be read
    std::string why;            // when not reached
};

// Sends the records in batches, each one transaction, and keeps its position beside the report;
// the table's key on the record's id makes a replay after a crash insert nothing twice. The
// follower thread only reads the report, and Notify() never blocks.
class RecordShipper {
  public:
    RecordShipper(ShipperSettings settings, std::function<void(const ShipperNews&)> tell,
                  ShipperSeams seams = {});
    ~RecordShipper(); // stops the follower
    RecordShipper(const RecordShipper&) = delete;
    RecordShipper& operator=(const RecordShipper&) = delete;

    // Ships every complete record of the report now, on the caller's thread.
    ShipPass ShipNow();

    // The follower thread: ships as records are appended, and again and again while the
    // database is unreachable, until Stop().
    void Start();
    // A record was appended to the report: the follower wakes. Never waits for the database.
    void Notify();
    // Ends the follower once its current statement has ended.
    void Stop();

    // Records of the report that the database does not have yet: those the last pass found,
    // and one for each Notify() since it began (a record appended while it read may count
    // twice until the next pass).
    std::uint64_t Backlog() const;
    // Waits until the backlog is empty; false when `deadline` came first.
    bool WaitUntilShipped(std::chrono::steady_clock::time_point deadline);

  private:
    struct Connection;
    struct Line;
    ShipPass Pass();
    // Ships `lines` batch by batch, saving the position after each; false when it stopped.
    bool ShipLines(const std::vector<Line>& lines, const std::string& report, ShipPass& pass);
    void Follow();
    void Tell(ShipperNews::Kind kind, std::string text);
    // Wakes the waiters for the backlog; true when the shipper is being stopped.
    bool Announce();
    void WaitForWork(std::chrono::milliseconds longest);

    ShipperSettings m_settings;
    std::function<void(const ShipperNews&)> m_tell;
    ShipperSeams m_seams;
    std::unique_ptr<Connection> m_db;

    std::mutex m_passMutex; // one pass at a time
    std::atomic<std::uint64_t> m_backlog{0};
    std::atomic<std::uint64_t> m_noted{0};     // Notify() calls
    std::atomic<std::uint64_t> m_notedSeen{0}; // of them, those before the last pass began
    bool m_unreachable = false;                // under m_passMutex
    bool m_toldSkipped = false;
    bool m_toldPosition = false;

    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_stop = false;
    std::condition_variable m_shipped;
    std::thread m_follower;
};

} // namespace knot::station
