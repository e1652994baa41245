// The shipper against a real PostgreSQL through psqlODBC and unixODBC: whatever fails (the
// server down at the start, killed inside a batch, the shipper stopped between its commit and
// its position), every record of the report is in the table exactly once, and the writer's
// Notify() never waits for the database.
#include "knot_names.h"

#include "file_text.h"
#include "line_records.h"
#include "postgres_server.h"
#include "record_id.h"
#include "record_shipper.h"
#include "scratch_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>

namespace {
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// What the shipper told, for a test to wait on.
class Told {
  public:
    std::function<void(const ShipperNews&)> Listener() {
        return [this](const ShipperNews& news) {
            std::lock_guard lock(m_mutex);
            m_news.push_back(news.text);
            m_changed.notify_all();
        };
    }
    bool WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 60s, [&] { return m_news.size() >= count; });
    }
    std::vector<std::string> News() {
        std::lock_guard lock(m_mutex);
        return m_news;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_news;
};

class RecordShipperTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (PostgresServer::Missing().empty()) {
            s_folder = std::make_unique<ScratchFolder>();
            s_server = std::make_unique<PostgresServer>(s_folder->path().string());
        }
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_folder.reset();
    }
    void SetUp() override {
        if (!s_server) {
            GTEST_SKIP() << PostgresServer::Missing();
        }
        ASSERT_TRUE(s_server->Start()) << ReadFile(s_folder->File("postgres.log"));
        m_database = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : m_database) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        ASSERT_EQ(s_server->Query("postgres", "CREATE DATABASE " + m_database), "");
        m_settings.reportPath = m_folder.File("shift.jsonl");
        m_settings.connection = s_server->ConnectionString(m_database);
        m_settings.batchRecords = 100;
        m_settings.firstRetry = m_settings.lastRetry = 20ms;
    }

    // Appends `count` records to the report, as the lanes do.
    void Append(int count, RecordShipper* notify = nullptr) {
        std::ofstream out(m_settings.reportPath, std::ios::binary | std::ios::app);
        for (int i = 0; i < count; ++i, ++m_written) {
            out << ShiftRecordLine(NewRecordId(), m_written) << '\n' << std::flush;
            if (notify != nullptr) {
                const auto start = std::chrono::steady_clock::now();
                notify->Notify();
                EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
            }
        }
    }
    // Rows in the table, and distinct ids among them.
    std::string Shipped() const {
        return s_server->Query(m_database, "SELECT count(*), count(DISTINCT record_id) FROM "
                                           "knot_flash_records");
    }
    std::string AllOnce() const {
        return std::to_string(m_written) + "|" + std::to_string(m_written);
    }

    static inline std::unique_ptr<ScratchFolder> s_folder;
    static inline std::unique_ptr<PostgresServer> s_server;
    ScratchFolder m_folder;
    std::string m_database;
    ShipperSettings m_settings;
    int m_written = 0;
};

TEST_F(RecordShipperTest, DatabaseDownAtTheStartThenUp) {
    s_server->Kill();
    Told told;
    RecordShipper shipper(m_settings, told.Listener());
    shipper.Start();
    Append(150, &shipper);
    ASSERT_TRUE(told.WaitFor(1));
    EXPECT_GE(shipper.Backlog(), 150u);
    Append(50, &shipper);
    ASSERT_TRUE(s_server->Start());
    ASSERT_TRUE(shipper.WaitUntilShipped(std::chrono::steady_clock::now() + 60s));
    EXPECT_EQ(Shipped(), AllOnce());
    const std::vector<std::string> news = told.News();
    ASSERT_EQ(news.size(), 2u);
    EXPECT_THAT(news[0], HasSubstr("database unreachable: 08001: "));
    EXPECT_THAT(news[0], HasSubstr("(the records wait in " + m_settings.reportPath + ")"));
    EXPECT_THAT(news[0], ::testing::Not(HasSubstr("Pwd=unused")));
    EXPECT_EQ(news[1], "database reachable again: the records that waited in " +
                           m_settings.reportPath + " are being shipped");
}

TEST_F(RecordShipperTest, ServerKilledInsideABatch) {
    Append(1000);
    Told told;
    bool killed = false;
    ShipperSeams seams;
    seams.insideBatch = [&] {
        if (!std::exchange(killed, true)) {
            s_server->Kill();
        }
    };
    RecordShipper shipper(m_settings, told.Listener(), seams);
    shipper.Start();
    ASSERT_TRUE(told.WaitFor(1));
    ASSERT_TRUE(s_server->Start());
    ASSERT_TRUE(shipper.WaitUntilShipped(std::chrono::steady_clock::now() + 60s));
    EXPECT_EQ(Shipped(), AllOnce());
}

TEST_F(RecordShipperTest, StoppedAfterItsCommitBeforeItsPosition) {
    Append(250);
    ShipperSeams crash;
    crash.afterCommit = [] { return false; };
    EXPECT_EQ(RecordShipper(m_settings, {}, crash).ShipNow().inserted, 100u);
    const ShipPass replay = RecordShipper(m_settings, {}).ShipNow();
    EXPECT_EQ(replay.present, 100u);
    EXPECT_EQ(replay.inserted, 150u);
    EXPECT_EQ(Shipped(), AllOnce());
}

TEST_F(RecordShipperTest, BacklogOfTenThousand) {
    Append(10000);
    std::ofstream(m_settings.reportPath, std::ios::app) << "not JSON\n{\"result\":\"written\"}\n";
    Told told;
    m_settings.batchRecords = 500;
    RecordShipper shipper(m_settings, told.Listener());
    const ShipPass pass = shipper.ShipNow();
    EXPECT_TRUE(pass.reached) << pass.why;
    EXPECT_EQ(pass.inserted, 10000u);
    EXPECT_EQ(pass.skipped, 2u);
    EXPECT_THAT(told.News(), ElementsAre(HasSubstr("line 10001: not a record with a recordId")));
    EXPECT_EQ(Shipped(), AllOnce());
    EXPECT_EQ(shipper.ShipNow().inserted + shipper.Backlog(), 0u);
    // The columns a query needs, beside the whole record.
    EXPECT_EQ(s_server->Query(m_database, "SELECT result, failure_stage, failure_cause, count(*), "
                                          "min(seconds), min(run_time), min(host), min(slot) FROM "
                                          "knot_flash_records GROUP BY 1, 2, 3 ORDER BY 1"),
              "failed|flash|refused|1299|4|2026-12-08 09:00:02|bench-7|1-1.0\n"
              "interrupted|cpu|interrupted|909|4|2026-12-08 09:00:04|bench-7|1-1.0\n"
              "written|||7792|64|2026-12-08 09:00:00|bench-7|1-1.0");
    EXPECT_EQ(s_server->Query(m_database, "SELECT DISTINCT record->>'message' FROM "
                                          "knot_flash_records"),
              "Café — ok");
}

} // namespace
