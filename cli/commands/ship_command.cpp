#include "ship_command.h"

#include "connection_file.h"
#include "interrupt_flag.h"
#include "record_shipper.h"
#include "utf8_text.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <thread>

namespace knot::cli {
using namespace knot::station;

namespace {

// How often a follower looks whether Ctrl-C came.
constexpr auto INTERRUPT_LOOK = std::chrono::milliseconds(100);

void SayOnStandardError(const ShipperNews& news) {
    std::fprintf(stderr, "knot-fdt: %s\n", news.text.c_str());
}

std::string Records(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

} // namespace

CLI::App* ShipCommand::Register(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        Name(), "Send the records of a --report file that the line's database lacks into its "
                "table knot_flash_records (each record once, however often it is shipped)");
    command->add_option("--report", m_report, "the report file (JSON Lines) to ship")->required();
    command
        ->add_option("--database", m_database,
                     "a file holding the ODBC connection string or DSN=NAME (on Linux readable "
                     "by its owner only)")
        ->required();
    command->add_flag("--follow", m_bFollow,
                      "go on shipping the records appended to the report until Ctrl-C, trying "
                      "again while the database is unreachable");
    return command;
}

ExitCode ShipCommand::Run(const DriverPortFactory&) {
    const ConnectionString connection = ReadConnectionFile(m_database);
    if (!connection.refusal.empty()) {
        std::fprintf(stderr, "knot-fdt: %s\n", connection.refusal.c_str());
        return ExitCode::FileError;
    }
    ShipperSettings settings;
    settings.reportPath = m_report;
    settings.connection = connection.text;
    RecordShipper shipper(settings, SayOnStandardError);
    const std::string report = ShownText(m_report);
    if (!m_bFollow) {
        const ShipPass pass = shipper.ShipNow();
        if (!pass.reportRead) {
            std::fprintf(stderr, "knot-fdt: %s\n", pass.why.c_str());
            return ExitCode::FileError;
        }
        std::printf("%s: %s shipped, %s already in the database", report.c_str(),
                    Records(pass.inserted).c_str(), Records(pass.present).c_str());
        if (pass.skipped > 0) {
            std::printf(", %llu %s skipped (not records with a recordId)",
                        static_cast<unsigned long long>(pass.skipped),
                        pass.skipped == 1 ? "line" : "lines");
        }
        std::printf("%s\n", pass.reached ? "" : "; the others wait for the database");
        return pass.reached ? ExitCode::Success : ExitCode::DatabaseUnreachable;
    }
    WatchForInterrupt();
    shipper.Start();
    while (!Interrupted()) {
        std::this_thread::sleep_for(INTERRUPT_LOOK);
    }
    shipper.Stop();
    const std::uint64_t waiting = shipper.Backlog();
    std::printf("%s: stopped; %s wait for the database\n", report.c_str(),
                Records(waiting).c_str());
    return waiting == 0 ? ExitCode::Success : ExitCode::Interrupted;
}

} // namespace knot::cli
