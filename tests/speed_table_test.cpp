// The speed tables as commands: the table on success, and on failure a message that
// says which command failed and why.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "menu/menu.h"
#include "tools/speed_table.h"

namespace {

bool failingWriter(std::ostream& out, std::string& error) {
  out << "| half a table";
  error = "menu line 4 \"Time x 30 (1s = 15m)\": expected an example like \"(1s = 15m)\" after the '('";
  return false;
}

}  // namespace

TEST(SpeedTableCommand, AFailureNamesTheCommandAndTheFault) {
  std::ostringstream out, errors;
  EXPECT_EQ(tableCommand("pace-table", failingWriter, out, errors), 1);
  EXPECT_EQ(errors.str(),
            "horavane-sim: pace-table: menu line 4 \"Time x 30 (1s = 15m)\": expected an example like "
            "\"(1s = 15m)\" after the '('\n");
}

TEST(SpeedTableCommand, BothTablesOfThePlugInsOwnLinesAreWrittenWithARowPerRateLine) {
  for (auto write : {writeSpeedTable, writePaceTableMarkdown}) {
    std::ostringstream out, errors;
    ASSERT_EQ(tableCommand("speeds", write, out, errors), 0) << errors.str();
    EXPECT_EQ(errors.str(), "");
    for (int32_t line = FIRST_RATE_LINE; line <= LAST_RATE_LINE; ++line)
      EXPECT_NE(out.str().find(MENU_LINES[line].caption), std::string::npos) << MENU_LINES[line].caption;
  }
}
