// A connection string naming an ODBC driver the machine lacks: the shipper says so in words an
// operator can act on, without the string's password, and the record waits in the report.
#include "knot_names.h"

#include "file_text.h"
#include "record_shipper.h"
#include "scratch_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(MissingDriverTest, IsSaidClearly) {
    ScratchFolder folder;
    ShipperSettings settings;
    settings.reportPath = folder.File("shift.jsonl");
    settings.connection = "Driver={KNOT No Such Driver};Server=127.0.0.1;Pwd=s3cret-word;";
    WriteBytes(settings.reportPath, "{\"recordId\":\"a1\",\"result\":\"written\"}\n");
    std::vector<std::string> told;
    RecordShipper shipper(settings, [&](const ShipperNews& news) { told.push_back(news.text); });
    const ShipPass pass = shipper.ShipNow();
    EXPECT_FALSE(pass.reached);
    EXPECT_THAT(told, ElementsAre(AllOf(HasSubstr("database unreachable: the ODBC driver or data "
                                                  "source that the database file names is not "
                                                  "installed here ("),
                                        Not(HasSubstr("s3cret")))));
    EXPECT_EQ(shipper.Backlog(), 1u);
}

} // namespace
