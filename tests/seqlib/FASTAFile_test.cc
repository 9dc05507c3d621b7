#include "FASTAFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

namespace {

// One "name|description|characters" line per record.
std::string Dump(const SequenceVector& list) {
  std::string s;
  for (const Sequence& r : list.mSeqs) {
    s += r.mName + "|" + r.mDescription + "|" + std::string(r.mSeq.begin(), r.mSeq.end()) + "\n";
  }
  return s;
}

std::string Pattern(int n, int seed) {
  static const char kChars[] = "ACGTacgt-*N";
  std::string s;
  for (long long i = 0; i < n; ++i) s += kChars[(i * i + 3 * i + seed) % 11];
  return s;
}

Sequence Make(const std::string& name, const std::string& desc, const std::string& seq) {
  Sequence s;
  s.mName = name;
  s.mDescription = desc;
  s.mSeq.assign(seq.begin(), seq.end());
  return s;
}

SequenceVector ReadText(const std::string& text, bool* ok = nullptr) {
  FASTAFile f;
  SequenceVector list;
  std::istringstream in(text);
  const bool result = f.Read(in, list);
  if (ok) *ok = result;
  return list;
}

class FASTAFileFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/fasta_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(mDir); }
  std::string Path(const std::string& name) const { return mDir + "/" + name; }
  std::string mDir;
};

}  // namespace

TEST(FASTAFile, HeaderRuleInEveryReader) {
  const struct {
    const char* header;
    const char* name;
    const char* desc;
  } cases[] = {
      {">r1 x y", "r1", "x y"}, {">r1", "r1", ""},         {">r1 ", "r1", ""},
      {"> r1 x", "r1", "x"},    {">r1  x", "r1", " x"},    {">", "", ""},
      {">r1\tx \t", "r1", "x \t"}, {">  \t", "", ""},      {">r1\r", "r1", ""},
      {">r1 a\r", "r1", "a"},   {"> \t r1", "r1", ""},
  };
  FASTAFile f;
  for (const auto& c : cases) {
    const std::string text = std::string(c.header) + "\nAC\n";
    const std::string expected = std::string(c.name) + "|" + c.desc + "|AC\n";
    EXPECT_EQ(Dump(ReadText(text)), expected) << c.header;

    std::istringstream in(text);
    char buf[64] = "1";
    Sequence seq;
    EXPECT_TRUE(f.GetNextRead(in, buf, sizeof buf, seq));
    SequenceVector one;
    one.mSeqs.push_back(seq);
    EXPECT_EQ(Dump(one), expected) << c.header;
  }
}

TEST(FASTAFile, ListReaderLines) {
  bool ok = false;
  // Trailing blank: one removed; pads, digits, inner blanks kept; empty lines add nothing.
  EXPECT_EQ(Dump(ReadText(">a\nACGT \nAC  \n\nac-gt*\n\nA C9\t\n>b\n\n>c d\nT\tG\t\t\nN", &ok)),
            "a||ACGTAC ac-gt*A C9\nb||\nc|d|T\tG\tN\n");
  EXPECT_TRUE(ok);
  // Lines before the first header are dropped; a NUL ends a line.
  EXPECT_EQ(Dump(ReadText(std::string("AAA\n\n>a\nAC\0GT\nG\n", 16), &ok)), "a||ACG\n");
  EXPECT_EQ(Dump(ReadText("ACGT\nAC\n", &ok)), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Dump(ReadText("", &ok)), "");
  EXPECT_FALSE(ok);

  // Lines of any length come back whole.
  for (size_t n : {4899u, 4900u, 300001u}) {
    const std::string big = Pattern(static_cast<int>(n), 5);
    SequenceVector list = ReadText(">a\n" + big + "\n>b\nAC\n");
    ASSERT_EQ(list.mSeqs.size(), 2u);
    EXPECT_TRUE(std::string(list.mSeqs[0].mSeq.begin(), list.mSeqs[0].mSeq.end()) == big) << n;
    EXPECT_EQ(Dump(list).substr(n + 4), "b||AC\n");
  }

  // A record beyond the reader's holding buffer is stored in pieces.
  {
    const std::string big = Pattern(17 << 20, 1);
    std::string text = ">big\n";
    for (size_t i = 0; i < big.size(); i += 60) text += big.substr(i, 60) + "\n";
    SequenceVector list = ReadText(text + ">b\nAC\n");
    ASSERT_EQ(list.mSeqs.size(), 2u);
    EXPECT_TRUE(std::string(list.mSeqs[0].mSeq.begin(), list.mSeqs[0].mSeq.end()) == big);
  }

  // The stream is left as line-by-line reading leaves it.
  for (const char* text : {">a\nAC\n", ">a\nAC", ""}) {
    FASTAFile f;
    SequenceVector list;
    std::istringstream in(text);
    f.Read(in, list);
    EXPECT_TRUE(in.eof()) << text;
    EXPECT_EQ(in.fail(), std::string(text) != ">a\nAC") << text;
  }

  // 301 records cross the first growth step and keep file order.
  std::string text, expected;
  for (int i = 0; i < 301; ++i) {
    text += ">s" + std::to_string(i) + "\n" + Pattern(i % 7, i) + "\n";
    expected += "s" + std::to_string(i) + "||" + Pattern(i % 7, i) + "\n";
  }
  EXPECT_EQ(Dump(ReadText(text)), expected);

  // A stream that is already failed ends the reading at once.
  FASTAFile f;
  SequenceVector list = ReadText(">old\n");
  std::istringstream failed(">a\nAC\n");
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(f.Read(failed, list));
  EXPECT_TRUE(list.mSeqs.empty());
}

TEST(FASTAFile, AppendContinuesTheList) {
  FASTAFile f;
  SequenceVector list = ReadText(">a x\nAC\n");
  std::istringstream more("GG \n>b\nTT\n");
  EXPECT_TRUE(f.Append(more, list));
  EXPECT_EQ(Dump(list), "a|x|ACGG\nb||TT\n");

  std::istringstream none("");
  EXPECT_TRUE(f.Append(none, list));
  EXPECT_EQ(Dump(list), "a|x|ACGG\nb||TT\n");

  SequenceVector empty;
  std::istringstream orphan("ACGT\n");
  EXPECT_FALSE(f.Append(orphan, empty));
  EXPECT_TRUE(empty.mSeqs.empty());

  std::string text;
  for (int i = 0; i < 650; ++i) text += ">n" + std::to_string(i) + "\n" + std::string(100, 'A') + "\n";
  std::istringstream many(text);
  EXPECT_TRUE(f.Append(many, list));
  ASSERT_EQ(list.mSeqs.size(), 652u);
  EXPECT_EQ(list.mSeqs[651].mName, "n649");
  EXPECT_EQ(list.mSeqs[651].mSeq.size(), 100u);
}

TEST(FASTAFile, GetNextReadRecordAtATime) {
  FASTAFile f;
  const std::string text = ">r1 a b\nAC \nGT  \n>r2\n>r3\nTT\t \nG";
  for (const std::string& t : {text, Crlf(text)}) {
    std::istringstream in(t);
    std::vector<char> buf(32);
    buf[0] = '1';
    Sequence seq;
    std::string got;
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(f.GetNextRead(in, buf.data(), 32, seq));
      got += seq.mName + "|" + seq.mDescription + "|" + std::string(seq.mSeq.begin(), seq.mSeq.end()) + "\n";
    }
    EXPECT_EQ(got, "r1|a b|ACGT\nr2||\nr3||TTG\n");
    EXPECT_TRUE(in.eof());
    EXPECT_FALSE(f.GetNextRead(in, buf.data(), 32, seq));
  }

  Sequence seq;
  char buf[16] = "1";
  std::istringstream nul(std::string(">r\nAC\0G\n", 8));
  EXPECT_FALSE(f.GetNextRead(nul, buf, sizeof buf, seq));
  std::istringstream longLine(">r\n" + std::string(40, 'A') + "\nAC\n");
  buf[0] = '1';
  EXPECT_FALSE(f.GetNextRead(longLine, buf, sizeof buf, seq));
  EXPECT_FALSE(f.GetNextRead(longLine, buf, sizeof buf, seq));
  std::istringstream empty("");
  buf[0] = '1';
  EXPECT_FALSE(f.GetNextRead(empty, buf, sizeof buf, seq));
}

TEST_F(FASTAFileFiles, BaseFilteringReader) {
  FASTAFile f;
  const std::string text = "GG\n> r1 x\nac-gt*\n\nA C n\r\n>\nxX5\n";
  WriteFile(Path("a.fa"), text);
  SequenceVector list;
  EXPECT_TRUE(f.Read0(Path("a.fa"), list));
  EXPECT_EQ(Dump(list), "| r1 x|acgtACn\n||xX\n");

  Sequence seq;
  EXPECT_TRUE(f.Read0(Path("a.fa"), seq));
  EXPECT_EQ(seq.mDescription, " r1 x");

  // A line beyond the shared line buffer is read whole, and what follows it.
  const std::string longLine(300000, 'G');
  WriteFile(Path("long.fa"), ">a\nAC\n>b\n" + longLine + "\n>c\nT\n");
  EXPECT_TRUE(f.Read0(Path("long.fa"), list));
  EXPECT_TRUE(Dump(list) == "|a|AC\n|b|" + longLine + "\n|c|T\n");

  WriteFile(Path("none.fa"), "ACGT\n");
  EXPECT_TRUE(f.Read0(Path("none.fa"), list));
  EXPECT_TRUE(list.mSeqs.empty());
}

TEST_F(FASTAFileFiles, OpenFailures) {
  FASTAFile f;
  const std::string missing = Path("missing.fa");
  SequenceVector list = ReadText(">keep\nA\n");
  Sequence seq = Make("keep", "", "A");
  {
    CoutCapture out;
    EXPECT_FALSE(f.Read(missing, list));
    EXPECT_FALSE(f.Read(missing, seq));
    EXPECT_EQ(out.Text(), missing + " file open failed (Read Multiple FASTA)\n");
  }
  EXPECT_EQ(Dump(list), "keep||A\n");
  EXPECT_EQ(seq.mName, "keep");
  {
    CoutCapture out;
    EXPECT_FALSE(f.Read0(missing, list));
    EXPECT_FALSE(f.Read0(missing, seq));
    EXPECT_EQ(out.Text(), missing + " file open failed (Read Multiple FASTA)\n" + missing +
                              " file open failed (Read Multiple FASTA)\n");
  }
  EXPECT_TRUE(list.mSeqs.empty());
  EXPECT_EQ(seq.mName, "keep");
  {
    const std::string bad = Path("no/such/dir.fa");
    CoutCapture out;
    f.Write(bad, list);
    f.Write(bad, seq);
    EXPECT_EQ(out.Text(), bad + " file open failed\n" + bad + " file open failed\n");
  }
  if (std::filesystem::exists("/dev/full")) {
    CoutCapture out;
    f.Write("/dev/full", ReadText(">a\nACGT\n"));
    f.Write("/dev/full", seq);
    EXPECT_EQ(out.Text(), "/dev/full file write failed\n/dev/full file write failed\n");
  }
  // A file without any header: nothing to copy into the record.
  WriteFile(Path("orphan.fa"), "ACGT\n");
  EXPECT_FALSE(f.Read(Path("orphan.fa"), seq));
  EXPECT_EQ(seq.mName, "keep");
}

TEST_F(FASTAFileFiles, WrittenFormatIsExact) {
  const std::string expected = ReadFile(TEST_DATA_DIR "/fasta_write_expected.fa");
  SequenceVector list;
  list.mSeqs = {Make("r1", "x", Pattern(120, 0)), Make("r2", "", Pattern(100, 1)),
                Make("r3", "two  words\t", ""), Make("r4", "d", Pattern(51, 2)),
                Make("", "lonely", Pattern(50, 3))};
  FASTAFile f;
  std::ostringstream os;
  f.Write(os, list);
  EXPECT_EQ(os.str(), expected);
  f.Write(Path("out.fa"), list);
  EXPECT_EQ(ReadFile(Path("out.fa")), expected);

  std::ostringstream one;
  f.Write(one, list.mSeqs[3]);
  EXPECT_EQ(one.str(), ">r4 d\n" + Pattern(51, 2).substr(0, 50) + "\n" + Pattern(51, 2).substr(50) + "\n");
  WriteFile(Path("one.fa"), "old contents that are longer than the record\n");
  f.Write(Path("one.fa"), list.mSeqs[2]);
  EXPECT_EQ(ReadFile(Path("one.fa")), ">r3 two  words\t\n");

  // Reading the written file back: the record without a name is split afresh.
  Sequence first;
  EXPECT_TRUE(f.Read(Path("out.fa"), first));
  EXPECT_EQ(first.mName, "r1");
  SequenceVector back;
  EXPECT_TRUE(f.Read(Path("out.fa"), back));
  EXPECT_EQ(Dump(back).substr(Dump(back).rfind("lonely")), "lonely||" + Pattern(50, 3) + "\n");
}

TEST_F(FASTAFileFiles, RoundTripOfGeneratedLists) {
  std::mt19937 rng(7);
  const std::string bases = "ACGTNacgtnXx-*";
  const std::string words = "abcXYZ019_.|";
  auto pick = [&](const std::string& from, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += from[rng() % from.size()];
    return s;
  };
  FASTAFile f;
  for (int width : {50, 1, 7, 60}) {
    f.mBasesPerLine = width;
    SequenceVector list;
    for (int i = 0; i < 400; ++i) {
      const int len = (i % 50 == 0) ? static_cast<int>(rng() % 20000) : static_cast<int>(rng() % 300);
      std::string desc = pick(words, rng() % 4) + (i % 3 ? " " + pick(words, rng() % 6) + "  x" : "");
      list.mSeqs.push_back(Make(pick(words, 1 + rng() % 10), desc, pick(bases, len)));
    }
    f.Write(Path("rt.fa"), list);
    SequenceVector back;
    EXPECT_TRUE(f.Read(Path("rt.fa"), back));
    EXPECT_EQ(Dump(back), Dump(list)) << width;

    // CR LF twin of the same file.
    std::istringstream crlf(Crlf(ReadFile(Path("rt.fa"))));
    EXPECT_TRUE(f.Read(crlf, back));
    EXPECT_EQ(Dump(back), Dump(list)) << width;

    WriteFile(Path("rt_crlf.fa"), Crlf(ReadFile(Path("rt.fa"))));
    SequenceVector filtered;
    EXPECT_TRUE(f.Read0(Path("rt_crlf.fa"), filtered));
    ASSERT_EQ(filtered.mSeqs.size(), list.mSeqs.size());
    for (size_t i = 0; i < list.mSeqs.size(); ++i) {
      const Sequence& r = list.mSeqs[i];
      std::string kept;
      for (char c : r.mSeq) {
        if (std::string("ACGTNXacgtnx").find(c) != std::string::npos) kept += c;
      }
      EXPECT_EQ(std::string(filtered.mSeqs[i].mSeq.begin(), filtered.mSeqs[i].mSeq.end()), kept);
      EXPECT_EQ(filtered.mSeqs[i].mDescription, r.mName + " " + r.mDescription);
    }
  }
}
