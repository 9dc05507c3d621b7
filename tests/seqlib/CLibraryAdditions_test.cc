#include "CLibraryAdditions.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

namespace {

using Reads = std::vector<std::pair<std::string, bool>>;

// Every GetLine result on `input` up to and including the first false.
Reads ReadAll(const std::string& input) {
  std::istringstream in(input);
  Reads got;
  std::string line = "stale";
  for (int i = 0; i < 10; ++i) {
    const bool ok = GetLine(in, line);
    got.emplace_back(line, ok);
    if (!ok) break;
  }
  return got;
}

TEST(GetLine, LineEndsAndCarriageReturns) {
  const struct {
    std::string input;
    Reads expected;
  } cases[] = {
      {"ab\r\ncd", {{"ab", true}, {"cd", true}, {"", false}}},
      {"ab\ncd\n", {{"ab", true}, {"cd", true}, {"", false}}},
      {"", {{"", false}}},
      {"\n\n", {{"", true}, {"", true}, {"", false}}},
      {"a\rb\n", {{"a\rb", true}, {"", false}}},        // inner CR is data
      {"a\r\r\n", {{"a\r", true}, {"", false}}},         // only the last CR is line end
      {"x\r", {{"x", true}, {"", false}}},               // CR at the very end of input
      {"\r\n", {{"", true}, {"", false}}},
      {std::string("ab\0cd\nef\n", 9), {{"ab", true}, {"ef", true}, {"", false}}},
      {std::string("ab\r\0\r\n", 6), {{"ab\r", true}, {"", false}}},  // cut at the NUL
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadAll(c.input), c.expected) << testing::PrintToString(c.input);
  }
}

TEST(GetLine, BufferLimit) {
  // Compared with EXPECT_TRUE: a failure must not print 300000 characters.
  const std::string fits(kReadBufSize - 1, 'x');
  EXPECT_TRUE(ReadAll(fits + "\nnext\n") == (Reads{{fits, true}, {"next", true}, {"", false}}));
  EXPECT_TRUE(ReadAll(fits) == (Reads{{fits, true}, {"", false}}));
  const std::string crlf(kReadBufSize - 2, 'y');
  EXPECT_TRUE(ReadAll(crlf + "\r\n") == (Reads{{crlf, true}, {"", false}}));

  // One character more: the first 299999 come back, the stream stays failed.
  std::istringstream in(fits + "zz\nnext\n");
  std::string line;
  EXPECT_FALSE(GetLine(in, line));
  EXPECT_TRUE(line == fits);
  EXPECT_TRUE(in.fail());
  EXPECT_FALSE(in.eof());
  EXPECT_FALSE(GetLine(in, line));
  EXPECT_EQ(line, "");
}

TEST(NumberText, Conversions) {
  EXPECT_EQ(itoa(-42), "-42");
  EXPECT_EQ(itostring(INT_MIN), "-2147483648");
  EXPECT_EQ(ftoa(2.5f), "2.500000");
  EXPECT_EQ(ftostring(-0.125f), "-0.125000");
  EXPECT_EQ(ftoa(2.5f, "%.1f"), "2.5");
  EXPECT_EQ(ftoa(2.5f, "[%8.3e] 100%%"), "[2.500e+00] 100%");
  EXPECT_EQ(ftoa(2.5f, "%lf"), "2.500000");
  // Formats that do not take exactly one double give nothing.
  for (const char* bad : {"%d", "%s", "%f %f", "%*f", "no conversion", "%"}) {
    EXPECT_EQ(ftoa(1.0f, bad), "") << bad;
  }
  // A result beyond 64 KiB is cut, not overflowed.
  EXPECT_TRUE(ftoa(1.0f, "%070000.1f") == std::string(65535, '0'));
}

TEST(NumberText, Atoi) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"  -7x", -7}, {"x7", 0}, {"", 0}, {"+12", 12}, {"\t\r\v\f 3", 3}, {"- 3", 0},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      // Beyond int: the strtol value narrowed to int, as the C library gives it.
      {"2147483648", INT_MIN}, {"99999999999999999999", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(atoi(std::string(c.text)), c.value) << c.text;

  const std::string over = "-99999999999999999999", max = "9223372036854775807";
  EXPECT_EQ(ParseCLong(over.data(), over.data() + over.size()), LONG_MIN);
  EXPECT_EQ(ParseCLong(over.data() + 1, over.data() + over.size()), LONG_MAX);
  EXPECT_EQ(ParseCLong(max.data(), max.data() + max.size()), LONG_MAX);
  EXPECT_EQ(ParseCLong(max.data(), max.data() + 3), 922);  // stops at `last`
}

TEST(NumberText, SizedSprintf) {
  std::string out = "previous";
  sprintf(16, out, "%d-%d", 3, 4);
  EXPECT_EQ(out, "3-4");
  sprintf(4, out, "%d", 123456);
  EXPECT_EQ(out, "123");
  sprintf(1000, out, "%0500d", 7);
  EXPECT_EQ(out, std::string(499, '0') + "7");
  sprintf(300, out, "%0500d", 7);
  EXPECT_EQ(out, std::string(299, '0'));
  for (int size : {1, 0, -5}) {
    out = "x";
    sprintf(size, out, "%d", 1);
    EXPECT_EQ(out, "") << size;
  }
}

}  // namespace

// The block line reader with GetLine's limit, file form and stream form,
// against GetLine on random texts of NULs, CRs, CR LFs, blanks, overlong
// lines and no final line end.
TEST(LineReader, AnswersAsGetLine) {
  struct Step {
    bool ok;
    std::string line;
    bool ended;
    bool bad;
    bool operator==(const Step& o) const {
      return ok == o.ok && line == o.line && ended == o.ended && bad == o.bad;
    }
  };
  using Steps = std::vector<Step>;
  const std::string path = testing::TempDir() + "/line_reader_input";
  std::mt19937 rng(7);
  const char kChars[] = {'a', 'b', ' ', '\n', '\n', '\r', '\0'};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int pieces = static_cast<int>(rng() % 12);
    for (int p = 0; p < pieces; ++p) {
      // Now and then a run near the line limit.
      if (round % 50 == 0 && p == 1) {
        text.append(kReadBufSize - 3 + rng() % 5, 'x');
      } else {
        for (int i = static_cast<int>(rng() % 6); i > 0; --i) text += kChars[rng() % sizeof kChars];
      }
    }
    Steps want;
    {
      std::istringstream in(text);
      std::string line;
      for (bool ok = true; ok;) {
        ok = GetLine(in, line);
        want.push_back({ok, line, in.eof() || in.fail(), in.bad()});
      }
    }
    WriteFile(path, text);
    for (const bool fromFile : {true, false}) {
      std::istringstream in(text);
      const size_t limit = kReadBufSize - 1;
      std::unique_ptr<LineReader> reader = fromFile ? std::make_unique<LineReader>(path, limit)
                                                    : std::make_unique<LineReader>(in, limit);
      Steps got;
      for (bool ok = true; ok;) {
        char* line = nullptr;
        size_t n = 0;
        ok = reader->Next(line, n);
        EXPECT_EQ(line[n], '\0');
        const bool ended = fromFile ? reader->Ended() : in.eof() || in.fail();
        EXPECT_EQ(ended, reader->Ended());
        got.push_back({ok, std::string(line, n), ended, fromFile ? reader->Error() != 0 : in.bad()});
      }
      EXPECT_TRUE(got == want) << (fromFile ? "file " : "stream ") << round << ": "
                               << testing::PrintToString(text.substr(0, 200));
    }
  }
  std::remove(path.c_str());
}

TEST(LineReader, OpenFailures) {
  for (const std::string& path : {std::string("/no/such/file"), testing::TempDir()}) {
    LineReader reader(path);
    EXPECT_FALSE(reader.Opened());
    EXPECT_EQ(reader.Error(), path == "/no/such/file" ? ENOENT : EISDIR);
    EXPECT_FALSE(reader.Skip());
    EXPECT_TRUE(reader.Ended());
  }
}
