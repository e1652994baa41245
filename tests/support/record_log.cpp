#include "knot_names.h"

#include "record_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace knot_test {

nlohmann::json ParseRecord(const std::string& text) {
    nlohmann::json record = nlohmann::json::parse(text); // throws, failing the test, on bad JSON
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                       : std::string("outside-a-test");
    for (char& c : name) {
        c = c == '/' ? '-' : c;
    }
    std::filesystem::create_directories(KNOT_RECORDS_DIR);
    std::ofstream(std::filesystem::path(KNOT_RECORDS_DIR) / (name + ".jsonl"), std::ios::app)
        << record.dump() << "\n";
    return record;
}

} // namespace knot_test
