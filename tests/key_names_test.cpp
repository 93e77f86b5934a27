// Key names: exact lookups, and the table as a whole.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "input/keys.h"

TEST(KeyNames, NamesGiveTheirVirtualKeyCodes) {
  EXPECT_EQ(keyCodeFromName("VK_F5"), 116u);
  EXPECT_EQ(keyCodeFromName("VK_NUMPAD5"), 101u);
  EXPECT_EQ(keyCodeFromName("5"), 53u) << "the main keyboard's 5, not the keypad's";
  EXPECT_EQ(keyCodeFromName("VK_HANGUL"), 21u);
  EXPECT_EQ(keyCodeFromName("VK_HANGUEL"), 21u);
  EXPECT_EQ(keyCodeFromName("VK_KANJI"), 25u);
  EXPECT_EQ(keyCodeFromName("C"), 67u);
  EXPECT_EQ(keyCodeFromName("Z"), 90u);
  EXPECT_EQ(keyCodeFromName("VK_RMENU"), 165u);
  EXPECT_EQ(keyCodeFromName("VK_F16"), 127u);
}

TEST(KeyNames, AnythingElseIsNoKey) {
  for (const char* name : {"NO_KEY", "", "c", "vk_f5", "VK_F5 ", " VK_F5", "F5", "NUMPAD5",
                           "VK_F17", "VK_F24", "VK_OEM_1", "VK_", "AA", "VK_F5\t"})
    EXPECT_EQ(keyCodeFromName(name), 0u) << '"' << name << '"';
  EXPECT_EQ(keyCodeFromName(nullptr), 0u);
}

TEST(KeyNames, TableHoldsExactlyTheDocumentedCodes) {
  ASSERT_EQ(KEY_NAME_COUNT, 124u);
  std::set<uint32_t> codes;
  std::set<std::string> names;
  for (uint32_t i = 0; i < KEY_NAME_COUNT; ++i) {
    names.insert(KEY_NAMES[i].name);
    if (KEY_NAMES[i].code != 0) codes.insert(KEY_NAMES[i].code);
    EXPECT_EQ(keyCodeFromName(KEY_NAMES[i].name), KEY_NAMES[i].code) << KEY_NAMES[i].name;
    if (i > 0) {
      EXPECT_LE(KEY_NAMES[i - 1].code, KEY_NAMES[i].code) << "ascending order";
    }
  }
  EXPECT_EQ(names.size(), 124u) << "every name once";
  EXPECT_EQ(codes.size(), 120u);
  for (uint32_t missing : {7u, 10u, 11u, 14u, 15u, 22u, 26u, 58u, 64u, 94u, 128u, 143u, 146u, 159u, 166u})
    EXPECT_EQ(codes.count(missing), 0u) << missing;
  EXPECT_EQ(*codes.rbegin(), 165u) << "every code has a record in the key table";
  for (char c = 'A'; c <= 'Z'; ++c) EXPECT_EQ(keyCodeFromName(std::string(1, c).c_str()), uint32_t(c));
  for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(keyCodeFromName(std::string(1, c).c_str()), uint32_t(c));
}
