// The settings-file functions of platform/: what the plug-in reads and writes
// through them, checked against the Windows behaviour they copy. Files as players leave
// them (read-only, a folder in the file's place, a byte-order mark, NUL bytes, 10 MB)
// are in bad_settings_test.cpp, through the plug-in.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "compat.h"
#include "settings/settings.h"
#include "sim/scratch_folder.h"

namespace {

const char* const kFile = SETTINGS_FILE;

void put(const std::string& bytes) { ASSERT_TRUE(writeFile(SETTINGS_FILE_NAME, bytes)); }

std::string contents() { return readFile(SETTINGS_FILE_NAME); }

std::string get(const char* section, const char* key, const char* fallback = "fb", DWORD size = 32) {
  char out[64];
  const DWORD n = GetPrivateProfileStringA(section, key, fallback, out, size, kFile);
  EXPECT_EQ(n, std::string(out).size()) << section << "/" << key;
  return out;
}

UINT getInt(const char* key, INT fallback = 77) { return GetPrivateProfileIntA("N", key, fallback, kFile); }

bool set(const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, kFile) == TRUE;
}

// Each test runs in a fresh folder of its own.
class Profile : public ::testing::Test {
 protected:
  size_t filesInFolder() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder_.path()), {}));
  }
  ScratchFolder folder_;
};

TEST_F(Profile, NamesIgnoreCaseAndBlanksAroundNamesAndValues) {
  put("  [ Controls ]  \r\n \t Menu Key\t=\t F4  keys \r\n");
  EXPECT_EQ(get("controls", "MENU KEY"), "F4  keys");
  EXPECT_EQ(get(" CONTROLS\t", "\tmenu key "), "F4  keys");
  EXPECT_EQ(get("Control", "Menu Key"), "fb");
}

TEST_F(Profile, OnePairOfMatchingQuotesIsStripped) {
  put("[A]\na=\"x y\"\nb='z'\nc=\"open\nd=\"\"\ne='mixed\"\nf=\"\nq=\"\"in\"\"\n");
  EXPECT_EQ(get("A", "a"), "x y");
  EXPECT_EQ(get("A", "b"), "z");
  EXPECT_EQ(get("A", "c"), "\"open");
  EXPECT_EQ(get("A", "d"), "");
  EXPECT_EQ(get("A", "e"), "'mixed\"");
  EXPECT_EQ(get("A", "f"), "\"");
  EXPECT_EQ(get("A", "q"), "\"in\"");
  // A quoted value that fits only without its closing quote loses one more character.
  EXPECT_EQ(get("A", "a", "fb", 4), "x ");
  EXPECT_EQ(get("A", "a", "fb", 5), "x y");
}

TEST_F(Profile, AbsentGivesFallbackButEmptyValueGivesEmptyText) {
  EXPECT_EQ(get("A", "k", "missing file"), "missing file");
  put("[A]\nk=\nnoequals\n;k2=comment\n[B]\nk2=2\n");
  EXPECT_EQ(get("A", "k"), "");
  EXPECT_EQ(get("A", "noequals"), "fb");
  EXPECT_EQ(get("A", "k2"), "fb");
  EXPECT_EQ(get("C", "k"), "fb");
  EXPECT_EQ(get("A", "k2", "spaces go   "), "spaces go");
  EXPECT_EQ(get("A", "k2", nullptr), "");
  EXPECT_EQ(get(nullptr, "k"), "fb");
  EXPECT_EQ(get("A", nullptr), "fb");
}

TEST_F(Profile, CopiesAreCutToTheBufferAndAlwaysTerminated) {
  put("[A]\nlong=0123456789012345678901234567890123456789\n");
  EXPECT_EQ(get("A", "long"), "0123456789012345678901234567890");
  EXPECT_EQ(get("A", "long", "fb", 1), "");
  EXPECT_EQ(get("A", "none", "abcdef", 4), "abc");
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(GetPrivateProfileStringA("A", "long", "", out, 0, kFile), 0u);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(GetPrivateProfileStringA("A", "long", "", nullptr, 4, kFile), 0u);
}

TEST_F(Profile, FirstSectionAndFirstKeyOfANameWin) {
  put("top=0\n[A]\nk=1\nK=2\n[x=5\n[a]\nk=3\nonly=4\n");
  EXPECT_EQ(get("A", "k"), "1");
  EXPECT_EQ(get("A", "only"), "fb");
  EXPECT_EQ(get("", "top"), "0");
  EXPECT_EQ(get("A", "[x"), "5");
}

TEST_F(Profile, LineEndsAndOddBytes) {
  for (const char* text : {"[A]\r\nk=v\r\n", "[A]\nk=v", "[A]\rk=v\r", "[A]\n\x1ak=v\x1a\n"}) {
    put(text);
    EXPECT_EQ(get("A", "k"), "v") << text;
  }
  put("[A]\nj=\xff\x01\n");
  EXPECT_EQ(get("A", "j"), "\xff\x01");
}

TEST_F(Profile, IntegersParseLikeWindows) {
  put("[N]\na= 42\nb=-42\nc=+7\nd=0x1F\ne=0X1F\nf=0o17\ng=0b101\nh=010\ni=4294967297\n"
      "j=-0x10\nk=abc\nl=12abc\nm=\"33\"\nn=- 5\no=\nq=99999999999999999999999999\n"
      "r=000000000000000000000000000001\n");
  const std::pair<const char*, UINT> cases[] = {
      {"a", 42u}, {"b", 0u - 42u}, {"c", 7u}, {"d", 31u}, {"e", 0u}, {"f", 15u},
      {"g", 5u}, {"h", 10u}, {"i", 1u}, {"j", 0u - 16u}, {"k", 0u}, {"l", 12u},
      {"m", 33u}, {"n", 0u}, {"o", 77u}, {"q", 3825205247u}, {"r", 0u}, {"none", 77u}};
  for (const auto& [key, expected] : cases) EXPECT_EQ(getInt(key), expected) << key;
  EXPECT_EQ(getInt("none", -5), 0u - 5u);
}

TEST_F(Profile, ReplacingAValueKeepsEveryOtherByte) {
  const std::string before = "; comment\r\n\r\n[Settings]\r\n  Speed  =  1  \r\nOther=x\n[B]\nk=1";
  put(before);
  EXPECT_TRUE(set("settings", "SPEED", "25"));
  EXPECT_EQ(contents(), "; comment\r\n\r\n[Settings]\r\n  Speed  =  25\r\nOther=x\n[B]\nk=1");
  EXPECT_TRUE(set("B", "k", "2"));
  EXPECT_EQ(contents(), "; comment\r\n\r\n[Settings]\r\n  Speed  =  25\r\nOther=x\n[B]\nk=2");
}

TEST_F(Profile, NewKeysAndSectionsGoWhereWindowsPutsThem) {
  put("[A]\r\nk=1\r\n\r\n[B]\r\nx=1");
  EXPECT_TRUE(set("a", "j", "2"));
  EXPECT_TRUE(set("C", "c", "3"));
  EXPECT_TRUE(set("", "top", "0"));
  EXPECT_EQ(contents(), "top=0\r\n[A]\r\nk=1\r\nj=2\r\n\r\n[B]\r\nx=1\r\n[C]\r\nc=3\r\n");
  put("[A]\nk=1\nnoequals\n");
  EXPECT_TRUE(set("A", "noequals", "4"));
  EXPECT_TRUE(set("A", "new", "5"));
  EXPECT_EQ(contents(), "[A]\nk=1\nnoequals=4\nnew=5\n");
  // After the last '\n' lines end at '\r'; a new '\n' there would join them.
  put("[A]\nk=1\rj=2\r");
  EXPECT_TRUE(set("A", "n", "3"));
  EXPECT_EQ(contents(), "[A]\nk=1\rj=2\rn=3\r");
}

TEST_F(Profile, NewFileIsCreatedWithWindowsLineEnds) {
  EXPECT_TRUE(set("Settings", "Speed", "3"));
  EXPECT_EQ(contents(), "[Settings]\r\nSpeed=3\r\n");
  EXPECT_EQ(get("settings", "speed"), "3");
}

TEST_F(Profile, DeletingKeysAndSections) {
  put("[A]\nk=1\nk=2\nj=3\n[B]\nx=1\n[A]\nk=4\nlater=5\n");
  EXPECT_TRUE(set("A", "k", nullptr));
  EXPECT_EQ(contents(), "[A]\nk=2\nj=3\n[B]\nx=1\n[A]\nk=4\nlater=5\n");
  // Unlike reads, deleting a key reaches later sections of the same name.
  EXPECT_TRUE(set("A", "later", nullptr));
  EXPECT_EQ(contents(), "[A]\nk=2\nj=3\n[B]\nx=1\n[A]\nk=4\n");
  EXPECT_TRUE(set("a", nullptr, nullptr));
  EXPECT_EQ(contents(), "[B]\nx=1\n[A]\nk=4\n");
  EXPECT_TRUE(set("missing", "k", nullptr));
  EXPECT_EQ(contents(), "[B]\nx=1\n[A]\nk=4\n");
  std::filesystem::remove(SETTINGS_FILE_NAME);
  EXPECT_TRUE(set("A", "k", nullptr));
  EXPECT_FALSE(std::filesystem::exists(SETTINGS_FILE_NAME));
}

TEST_F(Profile, FailedWritesLeaveTheFileAsItWas) {
  const std::string before = "[A]\nk=1\n";
  put(before);
  chmod(SETTINGS_FILE_NAME, 0640);
  EXPECT_FALSE(set("A", "k", "2\n[Evil]"));
  EXPECT_FALSE(set("A", "k", "2\r\n"));
  EXPECT_FALSE(set("A", "a=b", "2"));
  EXPECT_FALSE(set("A", "[x]", "2"));
  EXPECT_FALSE(set(nullptr, "k", "2"));
  EXPECT_EQ(contents(), before);
  EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "2", ".\\missing\\horavane.ini"));
  EXPECT_EQ(filesInFolder(), 1u);

  EXPECT_TRUE(set("A", "k", "2"));
  struct stat st;
  ASSERT_EQ(stat(SETTINGS_FILE_NAME, &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(filesInFolder(), 1u);
}

}  // namespace
