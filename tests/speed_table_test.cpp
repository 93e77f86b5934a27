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

// The range both READMEs' introductions give: the least and the most speed of the
// "Time x" lines and of the "Time /" lines, as the players' table shows them (Stop Time,
// the normal pace and the own rate left out).
TEST(SpeedTableCommand, TheRangeIsThatOfTheFasterAndTheSlowerLinesInThePlayersTable) {
  std::ostringstream table, range, errors;
  ASSERT_EQ(tableCommand("speeds", writeSpeedTable, table, errors), 0) << errors.str();
  ASSERT_EQ(tableCommand("speed-range", writeSpeedRange, range, errors), 0) << errors.str();
  struct Extremes {
    std::string least, most;
    double leastValue = 0, mostValue = 0;
    void add(const std::string& number) {
      const double value = std::stod(number);
      if (least.empty() || value < leastValue) least = number, leastValue = value;
      if (most.empty() || value > mostValue) most = number, mostValue = value;
    }
  } faster, slower;
  std::istringstream rows(table.str());
  std::string row;
  while (std::getline(rows, row)) {
    const std::string speed = row.substr(row.find_last_of(' ') + 1);
    if (row.rfind("Time x ", 0) == 0) {
      ASSERT_EQ(speed[0], 'x') << row;
      faster.add(speed.substr(1));
    } else if (row.rfind("Time / ", 0) == 0) {
      ASSERT_EQ(speed[0], '/') << row;
      slower.add(speed.substr(1));
    }
  }
  ASSERT_FALSE(faster.least.empty() || slower.least.empty()) << table.str();
  EXPECT_EQ(range.str(), "The menu's faster lines run the clock " + faster.least + " to " + faster.most +
                             " times as fast as the game's own pace, and its slower lines " + slower.least +
                             " to " + slower.most + " times as slow.\n");
}
