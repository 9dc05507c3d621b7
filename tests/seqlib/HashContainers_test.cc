#include "HashContainers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BasicStringHashF, SignedCharactersAndWrapAround) {
  const BasicStringHashF hash;
  struct Case {
    std::string text;
    uint32_t expected;
  } cases[] = {
      {"", 0u},
      {"a", 97u},
      {"ab", 583u},
      {std::string("a\0b", 3), 2523u},
      {"\xE9", 4294967273u},  // 2^32 - 23
      {"\x80", 4294967168u},  // 2^32 - 128
      {"\x7F", 127u},
      // 5^14 * 122 exceeds 32 bits: the sum wraps.
      {std::string(15, 'z'), 3073196846u},
  };
  for (const auto& c : cases) EXPECT_EQ(hash(c.text), c.expected) << c.text.size();
  EXPECT_NE(hash("ab"), hash("ba"));
}

TEST(String2IntMap, ContainsAndSubscript) {
  String2IntMap map;
  for (const char* key : {"", "read1", "READ1"}) EXPECT_FALSE(map.Contains(key));

  const int read = map["read1"];
  EXPECT_EQ(read, 0);
  EXPECT_TRUE(map.Contains("read1"));
  EXPECT_FALSE(map.Contains("READ1"));
  EXPECT_FALSE(map.Contains("read"));

  map["READ1"] = 42;
  map[""] = -3;
  EXPECT_EQ(map["READ1"], 42);
  EXPECT_EQ(map["read1"], 0);
  EXPECT_TRUE(map.Contains(""));
  EXPECT_EQ(map[""], -3);
  EXPECT_EQ(map.size(), 3u);

  std::string key = "read1";
  EXPECT_TRUE(map.Contains(key));
  EXPECT_EQ(key, "read1");

  for (int i = 0; i < 1000; ++i) map["r" + std::to_string(i)] = i;
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(map["r" + std::to_string(i)], i);
  EXPECT_EQ(map.size(), 1003u);
}

TEST(IntSet, HoldsDistinctInts) {
  IntSet set;
  EXPECT_TRUE(set.empty());
  set.insert(3);
  set.insert(-3);
  set.insert(3);
  EXPECT_EQ(set.size(), 2u);
  EXPECT_EQ(set.count(-3), 1u);
  EXPECT_EQ(set.count(4), 0u);
}

}  // namespace
