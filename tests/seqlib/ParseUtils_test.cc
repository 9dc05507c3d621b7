#include "ParseUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "CLibraryAdditions.h"

namespace {

using Strings = std::vector<std::string>;
using Ints = std::vector<int>;

TEST(NumberScan, Integers) {
  const struct {
    std::string text;
    int start, value, next;
  } cases[] = {
      {"abc -12 x", 0, -12, 7}, {"12", 0, 12, 2},   {"12", 2, 0, -1},    {"5-3", 1, -3, 3},
      {"- 5", 0, 5, 3},         {"+7", 0, 7, 2},    {"x", 0, 0, -1},     {"", 0, 0, -1},
      {"12", -1, 0, -1},        {"12", -5, 0, -1},  {"12", 9, 0, -1},    {"a007b", 0, 7, 4},
      {"-2147483648", 0, INT_MIN, 11},  // negation of the wrapped value stays defined
      {"x99999999999999999999", 0, -1, 21},
  };
  for (const auto& c : cases) {
    int next = 99;
    EXPECT_EQ(GetNextInteger(c.text, c.start, next), c.value) << c.text << " @" << c.start;
    EXPECT_EQ(next, c.next) << c.text << " @" << c.start;
  }
  int next = 0;
  EXPECT_EQ(GetNextLong("a-9223372036854775807", 0, next), -LONG_MAX);
  EXPECT_EQ(next, 21);
  EXPECT_EQ(GetNextLong("99999999999999999999 1", 0, next), LONG_MAX);
  EXPECT_EQ(next, 20);
}

TEST(NumberScan, Doubles) {
  const struct {
    std::string text;
    int begin, end;
    double value;
    int next;
  } cases[] = {
      {"x=-12.5;", 3, 6, -12.5, 7}, {"-5", 1, 1, -5, 2},      {"1.5e-3", 0, 5, 0.0015, 6},
      {"12.", 0, 1, 12, 2},         {"12.x", 0, 1, 12, 2},    {"3e x 45", 0, 6, 3, 7},
      {".5", 1, 1, 5, 2},           {"12.e5", 0, 1, 12, 2},   {"2E+10", 0, 4, 2e10, 5},
      {"1e", 0, 0, 1, 1},           {"7.25e", 0, 3, 7.25, 4}, {"no", -1, -1, 0, -1},
  };
  for (const auto& c : cases) {
    int begin = 99, end = 99, next = 99;
    EXPECT_EQ(FindNextDouble(c.text, 0, begin, end), c.begin < 0 ? -1 : 0) << c.text;
    EXPECT_EQ(begin, c.begin) << c.text;
    EXPECT_EQ(end, c.end) << c.text;
    EXPECT_DOUBLE_EQ(GetNextDouble(c.text, 0, next), c.value) << c.text;
    EXPECT_EQ(next, c.next) << c.text;
  }
  // Longer than any small conversion buffer.
  const std::string digits = "-" + std::string(300, '1') + ".5";
  int next = 0;
  EXPECT_DOUBLE_EQ(GetNextDouble(digits, 0, next), std::strtod(digits.c_str(), nullptr));
  EXPECT_EQ(next, 303);
}

TEST(NumberScan, CursorWalks) {
  std::string text = "5-3";
  int cursor = 0;
  EXPECT_EQ(NextInt(text, cursor), 5);
  EXPECT_EQ(NextInt(text, cursor), -3);
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(NextInt(text, cursor), 0);
  EXPECT_EQ(cursor, -1);
  EXPECT_EQ(NextInt(text, cursor), 0);  // an exhausted cursor stays exhausted
  EXPECT_EQ(cursor, -1);

  text = "1.5 x -2 7";
  cursor = 0;
  EXPECT_FLOAT_EQ(NextFloat(text, cursor), 1.5f);
  EXPECT_DOUBLE_EQ(NextDouble(text, cursor), -2.0);
  EXPECT_EQ(NextLong(text, cursor), 7L);
  EXPECT_EQ(cursor, 10);

  Ints ints = {9};
  EXPECT_EQ(GetAllIntegers("a1b22c-3", ints), 4);
  EXPECT_EQ(ints, (Ints{9, 1, 22, -3}));
  EXPECT_EQ(GetAllIntegers("none", ints), 4);
  std::vector<double> doubles;
  EXPECT_EQ(GetAllDoubles("1.5e1,-0.25 x", doubles), 2);
  EXPECT_EQ(doubles, (std::vector<double>{15.0, -0.25}));
}

TEST(TokenScan, WhiteSpaceTokens) {
  const struct {
    std::string text;
    int start;
    std::vector<std::pair<std::string, int>> walk;  // token and cursor after each call
  } cases[] = {
      {"ab  cd", 0, {{"ab", 3}, {"cd", -1}}},
      {" \t\n", 0, {{"", -1}}},
      {"", 0, {{"", -1}}},
      {"ab\r", 0, {{"ab\r", -1}}},
      {"ab \r\n", 0, {{"ab", 3}, {"\r", 5}, {"", -1}}},
      {"x y ", 0, {{"x", 2}, {"y", 4}, {"", -1}}},
      {"ab", -2, {{"", -1}}},
      {"ab", 2, {{"", -1}}},
  };
  for (const auto& c : cases) {
    int cursor = c.start;
    std::vector<std::pair<std::string, int>> got;
    do {
      std::string token = SplitNext(c.text, cursor);
      got.emplace_back(token, cursor);
    } while (cursor >= 0 && got.size() < 10);
    EXPECT_EQ(got, c.walk) << testing::PrintToString(c.text);
  }
}

TEST(TokenScan, FieldsAndSplit) {
  const struct {
    int n;
    const char* field;
    int result;
  } cuts[] = {{1, "a", 1}, {2, "b", 1}, {3, "", 1},  {4, "c", 1},
              {5, "", 0},  {0, "a,b,,c", 1}, {-1, "", 0}};
  for (const auto& c : cuts) {
    std::string field = "stale";
    EXPECT_EQ(CutString("a,b,,c", field, c.n, ','), c.result) << c.n;
    EXPECT_EQ(field, c.field) << c.n;
  }
  std::string field;
  EXPECT_EQ(Cut("abc", field, 2, ','), 0);

  const struct {
    std::string text, delimiter;
    Strings pieces;
  } splits[] = {
      {"a,b", ",", {"a", "b"}},     {"a,b,", ",", {"a", "b", ""}}, {"a,,b", ",", {"a", ",b"}},
      {"abc", ",", {}},             {",a", ",", {"", "a"}},        {"a::b::c", "::", {"a", "b", "c"}},
      {"abc", "", {"", "abc"}},
  };
  for (const auto& c : splits) {
    Strings pieces = {"stale"};
    Split(c.text, pieces, c.delimiter);
    EXPECT_EQ(pieces, c.pieces) << c.text << " / " << c.delimiter;
  }
}

TEST(TokenScan, IntsFromLine) {
  const struct {
    std::string line;
    Ints buffer, string;
  } cases[] = {
      {"", {0}, {}},
      {"  \t", {0}, {}},
      {"10 20", {10, 20}, {10, 20}},
      {"10 20 ", {10, 20}, {10, 20}},
      {"10 20  ", {10, 20, 0}, {10, 20}},
      {"7 -2", {7, -2}, {7, -2}},
      {"x 3y \r4", {0, 3, 4}, {0, 3, 4}},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(c.line.begin(), c.line.end());
    buffer.push_back('\0');
    Ints fromBuffer = {1}, fromString = {1};
    GetIntsFromLine(buffer.data(), fromBuffer);
    GetIntsFromLine(c.line, fromString);
    Ints expectBuffer = {1}, expectString = {1};
    expectBuffer.insert(expectBuffer.end(), c.buffer.begin(), c.buffer.end());
    expectString.insert(expectString.end(), c.string.begin(), c.string.end());
    EXPECT_EQ(fromBuffer, expectBuffer) << testing::PrintToString(c.line);
    EXPECT_EQ(fromString, expectString) << testing::PrintToString(c.line);
  }
  char line[] = "1 2";
  Ints values;
  GetIntsFromLine(line, values);
  EXPECT_EQ(std::string(line, 3), std::string("1\0" "2", 3));  // separators become NULs
}

TEST(TokenScan, Keywords) {
  const struct {
    Strings keys;
    std::string text;
    int from, which, begin, end;
  } cases[] = {
      {{"b", "ab"}, "xab", 0, 1, 1, 2},
      {{"ab", "abc"}, "abc", 0, 0, 0, 1},
      {{"q", "z"}, "abc", 0, 0, -1, -1},
      {{"c", "a"}, "abca", 1, 0, 2, 2},
      {{"a"}, "abc", -1, 0, -1, -1},
      {{"x", ""}, "abc", 3, 1, 3, 2},  // the empty key matches at the end itself
      {{""}, "abc", 4, 0, -1, -1},
      {{}, "abc", 0, 0, -1, -1},
  };
  for (const auto& c : cases) {
    int begin = 99, end = 99;
    EXPECT_EQ(FindNextOf(c.keys, c.text, c.from, begin, end), c.which) << c.text << c.from;
    EXPECT_EQ(begin, c.begin) << c.text << c.from;
    EXPECT_EQ(end, c.end) << c.text << c.from;
  }
  int next = 0;
  std::string word = "kept";
  EXPECT_TRUE(GetNextKeyword({"Score", "Query"}, "Query: Score", 0, next, word));
  EXPECT_EQ(word, "Query");
  EXPECT_EQ(next, 5);
  EXPECT_TRUE(GetNextKeyword({"Score", "Query"}, "Query: Score", next, next, word));
  EXPECT_EQ(word, "Score");
  EXPECT_EQ(next, 12);
  EXPECT_FALSE(GetNextKeyword({"Score", "Query"}, "Query: Score", next, next, word));
  EXPECT_EQ(word, "Score");
  EXPECT_EQ(next, -1);

  const struct {
    const char* marker;
    const char* text;
    const char* remainder;
  } rests[] = {{"=>", "a=>b=>c", "b=>c"}, {"#", "a=>b", ""}, {"=", "a=", ""},
               {"", "abc", ""},           {nullptr, "abc", ""}};
  for (const auto& c : rests) {
    std::string remainder = "stale";
    GetRemainderAfter(c.marker, c.text, remainder);
    EXPECT_EQ(remainder, c.remainder) << c.text;
  }
}

TEST(TextTests, ClassesAndContainment) {
  const struct {
    const char* text;
    int from, to;
    bool expected;
  } digits[] = {{"(123)", 1, 3, true}, {"123", 0, 2, false}, {"(12a)", 1, 3, false},
                {"(123)", 1, 4, false}, {"(123)", 9, 3, false}, {"(123)", -1, 3, false},
                {"", 0, -1, false}};
  for (const auto& c : digits) {
    EXPECT_EQ(ContainsOnlyDigits(c.text, c.from, c.to), c.expected)
        << c.text << " " << c.from << ".." << c.to;
  }
  EXPECT_TRUE(ContainsOnlyWS(""));
  EXPECT_TRUE(ContainsOnlyWS(" \t\n"));
  EXPECT_FALSE(ContainsOnlyWS(" \r "));

  EXPECT_TRUE(StartsWith("Query", "Qu") && StartsWith("Query", "") && Contains("abc", ""));
  EXPECT_FALSE(StartsWith("Qu", "Query") || StartsWith("xQuery", std::string("Qu")));
  EXPECT_FALSE(Contains("abc", "abcd"));

  std::string bases;
  for (int c = 0; c < 256; ++c) {
    if (IsBase(static_cast<char>(c))) bases += static_cast<char>(c);
  }
  EXPECT_EQ(bases, "ACGNTXacgntx");
}

TEST(TextTests, EditingInPlace) {
  const struct {
    void (*edit)(std::string&);
    std::string text, expected;
  } cases[] = {
      {StripWhiteSpace, "a c\tg\n", "acg"},       {StripWhiteSpace, " a\r b ", "a\rb"},
      {StripLeadingSpaces, " \t\n", ""},          {StripLeadingSpaces, "\n a b ", "a b "},
      {StripTrailingSpace, " a b \t\n", " a b"},  {StripTrailingSpace, "a\r", "a\r"},
      {ToLowerCase, "AcGT-*\xC9", "acgt-*\xC9"},  {ToUpperCase, "acgn x1", "ACGN X1"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    c.edit(text);
    EXPECT_EQ(text, c.expected) << testing::PrintToString(c.text);
  }
  std::ostringstream out;
  ShowHidden("a \t\nb", out);
  EXPECT_EQ(out.str(), "0:a\n1:SPACE\n2:TAB\n3:NEWLINE\n4:b\n");
}

TEST(LineSearch, StreamEnds) {
  std::string line;
  std::istringstream last("one\ntwo Score");
  EXPECT_TRUE(GetNextLineContaining(last, "Score", line));
  EXPECT_EQ(line, "two Score");

  std::istringstream none("one\ntwo\n");
  EXPECT_FALSE(GetNextLineContaining(none, std::string("Score"), line));
  EXPECT_EQ(line, "");

  std::istringstream crlf("a\r\nb Score\r\nc\r\n");
  EXPECT_TRUE(GetNextLineContaining(crlf, "Score", line));
  EXPECT_EQ(line, "b Score");

  // A line too long for the buffer leaves the stream failed but not at its
  // end; the search still ends.
  std::istringstream failed(std::string(kReadBufSize + 10, 'x') + "\nScore\n");
  EXPECT_FALSE(GetNextLineContaining(failed, "Score", line));
  EXPECT_TRUE(line == std::string(kReadBufSize - 1, 'x'));

  std::istringstream two("a\nb Query\nc Score\n");
  EXPECT_TRUE(GetNextLineContaining(two, "Score", "Query", line));
  EXPECT_EQ(line, "b Query");
  EXPECT_TRUE(GetNextLineContaining(two, "Score", "Query", line));
  EXPECT_EQ(line, "c Score");
  EXPECT_FALSE(GetNextLineContaining(two, "Score", "Query", line));

  std::istringstream keyed("a\nx Query Score\n");
  int which = 7;
  EXPECT_TRUE(GetNextLineContaining(keyed, {"Score", "Query"}, line, which));
  EXPECT_EQ(line, "x Query Score");
  EXPECT_EQ(which, 1);
  EXPECT_FALSE(GetNextLineContaining(keyed, {"Score", "Query"}, line, which));
  EXPECT_EQ(which, 0);
}

}  // namespace
