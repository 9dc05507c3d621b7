#include <gtest/gtest.h>

#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "FASTAFile.h"

namespace {

// One "name|description|v1,v2,...," line per record.
std::string Dump(const SequenceQualityVector& list) {
  std::string s;
  for (const SequenceQuality& r : list.mQuals) {
    s += r.mName + "|" + r.mDescription + "|";
    for (int v : r.mQual) s += std::to_string(v) + ",";
    s += "\n";
  }
  return s;
}

SequenceQuality Make(const std::string& name, const std::string& desc, std::vector<int> values) {
  SequenceQuality q;
  q.mName = name;
  q.mDescription = desc;
  q.mQual = std::move(values);
  return q;
}

class QualityFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qual_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string Path(const std::string& name) const { return mDir + "/" + name; }

  // Reads `text` with each of the four list readers; returns their dumps.
  struct Results {
    std::string stream, file, x, zero, console;
  };
  Results ReadAll(const std::string& text) {
    Results r;
    WriteFile(Path("in.qual"), text);
    SequenceQualityVector list;
    CoutCapture out;
    std::istringstream in(text);
    mFasta.ReadQual(in, list);
    r.stream = Dump(list);
    r.console = out.Text();
    mFasta.ReadQual(Path("in.qual"), list);
    r.file = Dump(list);
    std::istringstream inx(text);
    EXPECT_TRUE(mFasta.ReadQualX(inx, list));
    r.x = Dump(list);
    EXPECT_TRUE(mFasta.ReadQual0(Path("in.qual"), list));
    r.zero = Dump(list);
    EXPECT_EQ(out.Text(), r.console) << "only the stream form of ReadQual speaks";
    return r;
  }

  FASTAFile mFasta;
  std::string mDir;
};

}  // namespace

TEST_F(QualityFile, WrittenFormatIsExact) {
  const std::string expected = ReadFile(TEST_DATA_DIR "/fasta_qual_expected.qual");
  std::vector<int> r1(26), r2(25), r5(60);
  for (int i = 0; i < 26; ++i) r1[i] = i + 1;
  for (int i = 0; i < 25; ++i) r2[i] = 40 - i;
  for (int i = 0; i < 60; ++i) r5[i] = (i * 37) % 61;
  SequenceQualityVector list;
  list.mQuals = {Make("r1", "x y", r1), Make("r2", "", r2), Make("r3", "none", {}),
                 Make("r4", "neg", {-3, 0, 99}), Make("r5", "long", r5)};
  std::ostringstream os;
  mFasta.WriteQual(os, list);
  EXPECT_EQ(os.str(), expected);
  mFasta.WriteQual(Path("out.qual"), list);
  EXPECT_EQ(ReadFile(Path("out.qual")), expected);

  std::ostringstream one;
  mFasta.WriteQual(one, list.mQuals[3]);
  EXPECT_EQ(one.str(), ">r4 neg\n-3 0 99 \n");
  WriteFile(Path("one.qual"), "previous contents, longer than the record\n");
  mFasta.WriteQual(Path("one.qual"), list.mQuals[1]);
  EXPECT_EQ(ReadFile(Path("one.qual")), expected.substr(expected.find(">r2"), expected.find(">r3") - expected.find(">r2")));

  const std::string bad = Path("no/such/dir.qual");
  CoutCapture out;
  mFasta.WriteQual(bad, list);
  mFasta.WriteQual(bad, list.mQuals[0]);
  EXPECT_EQ(out.Text(), bad + " file open failed\n" + bad + " file open failed\n");
}

TEST_F(QualityFile, ValueLinesPerReader) {
  const struct {
    std::string line;  // one value line under the header ">r"
    const char *stream, *file, *rest;
  } cases[] = {
      {"10 20", "10,20,", "10,20,", "10,20,"},
      {"10 20 ", "10,20,", "10,20,", "10,20,"},
      {"10 20  ", "10,20,0,", "10,20,0,", "10,20,"},
      {"10 20\t ", "10,20,0,", "10,20,0,", "10,20,"},
      {" 7 -2", "7,-2,", "7,-2,", "7,-2,"},
      {"12abc x -", "12,0,0,", "12,0,0,", "12,0,0,"},
      {"", "", "0,", ""},
      {" \t", "", "0,", ""},
      {"10 20\r", "10,20,", "10,20,", "10,20,"},
      {"10 20 \r", "10,20,", "10,20,", "10,20,"},
      {"\r", "", "0,", ""},
  };
  for (const auto& c : cases) {
    const std::string text = ">r\n" + c.line + "\n5\n";
    // The CR LF twin only where the line holds no CR of its own.
    const bool hasCr = c.line.find('\r') != std::string::npos;
    for (const std::string& t : {text, hasCr ? text : Crlf(text)}) {
      const Results r = ReadAll(t);
      EXPECT_EQ(r.stream, std::string("r||") + c.stream + "5,\n") << c.line;
      EXPECT_EQ(r.file, std::string("r||") + c.file + "5,\n") << c.line;
      EXPECT_EQ(r.x, std::string("r||") + c.rest + "5,\n") << c.line;
      EXPECT_EQ(r.zero, std::string("|r|") + c.rest + "5,\n") << c.line;
      const bool blank = std::string(c.stream).empty();
      EXPECT_EQ(r.console, blank ? "Hey why is there white space here?\n" : "") << c.line;
    }
  }
}

TEST_F(QualityFile, HeadersAndRecordBoundaries) {
  Results r = ReadAll("> a b\n1 2\n>r1 \n>r2\t\tz\n3");
  EXPECT_EQ(r.stream, "a|b|1,2,\nr1||\nr2|\tz|3,\n");
  EXPECT_EQ(r.file, r.stream);
  EXPECT_EQ(r.x, r.stream);
  EXPECT_EQ(r.zero, "| a b|1,2,\n|r1 |\n|r2\t\tz|3,\n");

  // Values before the first header belong to no record.
  r = ReadAll("1 2\n\n>a\n3\n");
  EXPECT_EQ(r.stream, "a||3,\n");
  EXPECT_EQ(r.file, "a||3,\n");
  EXPECT_EQ(r.x, "a||3,\n");
  EXPECT_EQ(r.zero, "|a|3,\n");

  // Lines of any length come back whole from the list readers; 301 records.
  for (int count : {2000, 110000}) {
    std::string line, values;
    for (int i = 0; i < count; ++i) {
      line += std::to_string(i % 100) + " ";
      values += std::to_string(i % 100) + ",";
    }
    r = ReadAll(">a\n" + line + "\n>b\n1\n");
    EXPECT_GT(line.size(), count == 2000 ? 4899u : 300000u);
    EXPECT_EQ(r.stream, "a||" + values + "\nb||1,\n");
    EXPECT_EQ(r.file, r.stream);
  }
  std::string text, expected;
  for (int i = 0; i < 301; ++i) {
    text += ">q" + std::to_string(i) + "\n" + std::to_string(i) + "\n";
    expected += "q" + std::to_string(i) + "||" + std::to_string(i) + ",\n";
  }
  r = ReadAll(text);
  EXPECT_EQ(r.stream, expected);
  EXPECT_EQ(r.file, expected);
  EXPECT_EQ(r.x, expected);
}

TEST_F(QualityFile, ResultsOnEmptyMissingAndFailedInput) {
  SequenceQualityVector list;
  std::istringstream empty("");
  EXPECT_FALSE(mFasta.ReadQual(empty, list));
  EXPECT_TRUE(list.mQuals.empty());
  WriteFile(Path("empty.qual"), "");
  EXPECT_FALSE(mFasta.ReadQual(Path("empty.qual"), list));
  EXPECT_TRUE(list.mQuals.empty());
  std::istringstream emptyx("");
  EXPECT_TRUE(mFasta.ReadQualX(emptyx, list));
  EXPECT_TRUE(list.mQuals.empty());
  EXPECT_TRUE(mFasta.ReadQual0(Path("empty.qual"), list));
  EXPECT_TRUE(list.mQuals.empty());

  const std::string missing = Path("missing.qual");
  SequenceQuality one = Make("keep", "k", {30});
  {
    CoutCapture out;
    EXPECT_FALSE(mFasta.ReadQual(missing, list));
    EXPECT_EQ(list.mQuals.size(), 300u);
    EXPECT_EQ(Dump(list).substr(0, 3), "||\n");
    EXPECT_FALSE(mFasta.ReadQual0(missing, list));
    EXPECT_TRUE(list.mQuals.empty());
    EXPECT_EQ(out.Text(), missing + " file open failed (Read Multiple FASTA)\n" + missing + " file open failed\n");
  }
  {
    CoutCapture out;
    WriteFile(Path("orphan.qual"), "1 2 3\n");
    EXPECT_FALSE(mFasta.ReadQual(Path("orphan.qual"), one));
    EXPECT_EQ(one.mName, "keep");
    EXPECT_EQ(one.mQual, std::vector<int>{30});
    EXPECT_FALSE(mFasta.ReadQual(missing, one));
    EXPECT_EQ(one.mName, "");
    EXPECT_TRUE(one.mQual.empty());
    WriteFile(Path("two.qual"), ">a x\n1\n>b\n2\n");
    EXPECT_TRUE(mFasta.ReadQual(Path("two.qual"), one));
    EXPECT_EQ(one.mName + "|" + one.mDescription, "a|x");
    EXPECT_EQ(one.mQual, std::vector<int>{1});
  }

  if (std::filesystem::exists("/dev/full")) {
    CoutCapture out;
    mFasta.WriteQual("/dev/full", one);
    SequenceQualityVector both;
    both.mQuals = {one, one};
    mFasta.WriteQual("/dev/full", both);
    EXPECT_EQ(out.Text(), "/dev/full file write failed\n/dev/full file write failed\n");
  }

  // A stream that fails before its end stops every reader.
  std::istringstream failed(">a\n1\n");
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(mFasta.ReadQual(failed, list));
  EXPECT_TRUE(list.mQuals.empty());

  // A line beyond the shared line buffer is read whole, and what follows it.
  std::string sevens;
  for (int i = 0; i < 150000; ++i) sevens += "7 ";
  std::istringstream longx(">a\n1\n>b\n" + sevens + "\n>c\n");
  EXPECT_TRUE(mFasta.ReadQualX(longx, list));
  ASSERT_EQ(list.mQuals.size(), 3u);
  EXPECT_EQ(list.mQuals[1].mQual, std::vector<int>(150000, 7));
  WriteFile(Path("long.qual"), ">a\n1\n>b\n" + sevens + "\n>c\n");
  EXPECT_TRUE(mFasta.ReadQual0(Path("long.qual"), list));
  ASSERT_EQ(list.mQuals.size(), 3u);
  EXPECT_EQ(list.mQuals[1].mQual, std::vector<int>(150000, 7));
}

TEST_F(QualityFile, RoundTripOfGeneratedLists) {
  std::mt19937 rng(11);
  SequenceQualityVector list;
  for (int i = 0; i < 120; ++i) {
    std::vector<int> values(i % 10 == 0 ? rng() % 3000 : rng() % 80);
    for (int& v : values) v = static_cast<int>(rng() % 120) - 20;
    list.mQuals.push_back(Make("q" + std::to_string(i), i % 2 ? "d " + std::to_string(i) + "  e" : "", values));
  }
  for (int width : {25, 1, 7}) {
    mFasta.mQualsPerLine = width;
    mFasta.WriteQual(Path("rt.qual"), list);
    SequenceQualityVector back;
    EXPECT_TRUE(mFasta.ReadQual(Path("rt.qual"), back));
    EXPECT_EQ(Dump(back), Dump(list)) << width;
    std::istringstream crlf(Crlf(ReadFile(Path("rt.qual"))));
    EXPECT_TRUE(mFasta.ReadQual(crlf, back));
    EXPECT_EQ(Dump(back), Dump(list)) << width;
    std::istringstream x(ReadFile(Path("rt.qual")));
    EXPECT_TRUE(mFasta.ReadQualX(x, back));
    EXPECT_EQ(Dump(back), Dump(list)) << width;
  }
}
