#include "Pileograph.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

std::string Text(const std::vector<char>& v) { return std::string(v.begin(), v.end()); }
std::string Text(const Sequence& s) { return Text(s.mSeq); }

Sequence Seq(const std::string& name, const std::string& chars) {
  Sequence s;
  s.mName = name;
  s.mSeq.assign(chars.begin(), chars.end());
  return s;
}

CMHit Hit(const std::string& name, int start, const std::string& source, const std::string& read,
          int score = 100) {
  CMHit h;
  h.mVName = name;
  h.mScore = score;
  h.mQueryAligned = Seq(name, read);
  h.mSourceAligned = Seq("contig", source);
  h.mSourceStart = start;
  h.mSourceEnd = start;
  return h;
}

void Load(Pileograph& pg, const std::string& contig, const std::vector<CMHit>& hits) {
  pg.mSource = Seq("contig", contig);
  pg.mCM.mHits = hits;
}

// Contig ACGTACGTACG with three hits; the union contig is ACG--TACGTA-CG.
void ThreeReads(Pileograph& pg) {
  Load(pg, "ACGTACGTACG",
        {Hit("r0", 1, "CG-TACG", "CGATACG"), Hit("r1", 2, "G--TACGT", "GCCTACGT"),
         Hit("r2", 5, "CGTA-CG", "CGTAACG")});
}

// Runs the three merge steps without the console messages and side file.
void Merge(Pileograph& pg) {
  pg.ConstructSourceWithUnionOfReadPads();
  pg.InitWithQueries();
  pg.MergeReadPads();
}

std::vector<std::string> MergedTexts(const Pileograph& pg) {
  std::vector<std::string> out;
  for (const Sequence& s : pg.mMergedReads.mSeqs) out.push_back(Text(s));
  return out;
}

// Union contig AC-GTACGT; readA holds AC-GTA from column 0, readB GTACGT from column 3.
void PrintExample(Pileograph& pg) {
  pg.mUnionSource = Seq("UnionSource", "AC-GTACGT");
  pg.mMergedReads.mSeqs = {Seq("readA", "AC-GTA"), Seq("readB", "GTACGT")};
  pg.mOffsets = {1, 4};
}

std::string Print(Pileograph& pg, int start, int end, int width) {
  std::ostringstream os;
  pg.PrintAlignment(os, start, end, width);
  return os.str();
}

// One pileup line: name field 20, number field 10, two blanks, the characters.
std::string L(const std::string& name, int number, const std::string& chars) {
  std::string line = name;
  if (line.size() < 20) line.append(20 - line.size(), ' ');
  const std::string num = std::to_string(number);
  if (num.size() < 10) line.append(10 - num.size(), ' ');
  return line + num + "  " + chars + "\n";
}

}  // namespace

TEST(PileographTest, QueriesOnAFreshObject) {
  Pileograph pg;
  EXPECT_EQ(pg.GetNumReads(), 0);
  EXPECT_EQ(pg.GetSourceSize(), 0);
  EXPECT_EQ(pg.GetNumReadsInWindow(0, 10), 0);
  EXPECT_STREQ(pg.GetWindowReadName(0, 10, 0), "NOT FOUND");
  EXPECT_EQ(pg.GetAlignedCharacters(0, 10, 3), "");
  // An empty union contig still gets one block: '%' in its first column.
  EXPECT_EQ(Print(pg, 0, -1, 5), L("", 0, "%....") + "\n");
}

TEST(PileographTest, UnionContigOfThreeReads) {
  Pileograph pg;
  ThreeReads(pg);

  std::vector<padInfo> pads;
  pg.GetSortedPadLocs(pg.mCM, pads);
  ASSERT_EQ(pads.size(), 4u);
  const int expected[4][2] = {{2, 0}, {2, 1}, {2, 1}, {8, 2}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pads[i].mPadLoc, expected[i][0]) << i;
    EXPECT_EQ(pads[i].mReadIdx, expected[i][1]) << i;
  }
  int idx = 0;
  EXPECT_EQ(pg.GetMaxPadIdx(idx, pads), 2);
  EXPECT_EQ(idx, 3);
  EXPECT_EQ(pg.GetMaxPadIdx(idx, pads), 1);
  EXPECT_EQ(idx, 4);

  CaptureStderr();
  pg.ConstructSourceWithUnionOfReadPads();
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Text(pg.mUnionSource), "ACG--TACGTA-CG");
  EXPECT_EQ(pg.mUnionSource.mName, "UnionSource");
  EXPECT_TRUE(pg.mUnionSource.mDescription.empty());
}

TEST(PileographTest, PadListHelpers) {
  Pileograph pg;
  // Runs of one read are counted as they stand, even unsorted.
  std::vector<padInfo> unsorted = {{5, 0}, {5, 1}, {5, 0}};
  int idx = 0;
  EXPECT_EQ(pg.GetMaxPadIdx(idx, unsorted), 1);
  EXPECT_EQ(idx, 3);
  // A cursor outside the list counts nothing and stays.
  for (int bad : {3, 7, -1}) {
    idx = bad;
    EXPECT_EQ(pg.GetMaxPadIdx(idx, unsorted), 0);
    EXPECT_EQ(idx, bad);
  }

  // Old entries are sorted together with the new ones; '*' counts as a contig
  // position here and shifts the later pad of its hit.
  CMParse cm;
  cm.mHits = {Hit("a", 4, "A*C-G", "AACTG"), Hit("b", 0, "A-C", "AGC")};
  std::vector<padInfo> pads = {{9, 7}, {0, 3}};
  pg.GetSortedPadLocs(cm, pads);
  const int expected[4][2] = {{0, 1}, {0, 3}, {6, 0}, {9, 7}};
  ASSERT_EQ(pads.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pads[i].mPadLoc, expected[i][0]) << i;
    EXPECT_EQ(pads[i].mReadIdx, expected[i][1]) << i;
  }
}

TEST(PileographTest, UnionContigCases) {
  struct Case {
    const char* what;
    std::string contig;
    std::vector<CMHit> hits;
    std::string unionContig;
  };
  const std::vector<Case> cases = {
      {"no hit", "ACGT", {}, "ACGT"},
      {"no pad", "ACGT", {Hit("a", 1, "CG", "CG")}, "ACGT"},
      {"one pad in each of two reads", "ACGT",
       {Hit("a", 0, "A-C", "AGC"), Hit("b", 0, "A-C", "ATC")}, "A-CGT"},
      {"two pads and one pad", "ACGT",
       {Hit("a", 0, "A--C", "AGGC"), Hit("b", 0, "A-C", "ATC")}, "A--CGT"},
      {"pads of one read at two places", "ACGT", {Hit("a", 0, "A-CG--T", "AGCGTTT")}, "A-CG--T"},
      {"pads after the last base", "ACGT", {Hit("a", 2, "GT-", "GTA")}, "ACGT-"},
      {"pads beyond the contig dropped", "ACGT", {Hit("a", 5, "AA-A", "AAGA")}, "ACGT"},
      {"'*' in a contig side is a pad column", "ACGT", {Hit("a", 0, "A*C-G", "ATCAG")}, "A-C-GT"},
      {"read side past a shorter contig side", "ACGT", {Hit("a", 0, "AC", "ACTT")}, "AC--GT"},
      {"pads of a contig side past its read side", "ACGT", {Hit("a", 0, "AC--GT", "AC")}, "AC--GT"},
      {"case kept", "acgT", {Hit("a", 0, "a-c", "agc")}, "a-cgT"},
      {"empty contig", "", {Hit("a", 0, "--A", "GGA"), Hit("b", 3, "A-C", "AGC")}, ""},
  };
  for (const Case& c : cases) {
    Pileograph pg;
    Load(pg, c.contig, c.hits);
    CaptureStderr();
    pg.ConstructSourceWithUnionOfReadPads();
    EXPECT_EQ(GetCapturedStderr(), "") << c.what;
    EXPECT_EQ(Text(pg.mUnionSource), c.unionContig) << c.what;
    EXPECT_EQ(pg.mUnionSource.mName, "UnionSource") << c.what;
  }
}

TEST(PileographTest, RePaddingOfThreeReads) {
  Pileograph pg;
  ThreeReads(pg);
  pg.ConstructSourceWithUnionOfReadPads();
  pg.InitWithQueries();

  ASSERT_EQ(pg.mAlignedReads.mSeqs.size(), 3u);
  EXPECT_EQ(Text(pg.mAlignedReads.mSeqs[0]), "CGATACG");
  EXPECT_EQ(Text(pg.mAlignedReads.mSeqs[1]), "GCCTACGT");
  EXPECT_EQ(Text(pg.mAlignedReads.mSeqs[2]), "CGTAACG");
  EXPECT_EQ(pg.mAlignedReads.mSeqs[1].mName, "r1");
  EXPECT_EQ(pg.mOffsets, (std::vector<int>{2, 3, 6}));
  ASSERT_EQ(pg.mBaseLocs.mQuals.size(), 3u);
  EXPECT_EQ(pg.mBaseLocs.mQuals[0].mQual, (std::vector<int>{2, 3, 3, 4, 5, 6, 7}));
  EXPECT_EQ(pg.mBaseLocs.mQuals[1].mQual, (std::vector<int>{3, 3, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(pg.mBaseLocs.mQuals[2].mQual, (std::vector<int>{6, 7, 8, 9, 9, 10, 11}));
  EXPECT_TRUE(pg.mBaseLocs.mQuals[0].mName.empty());
  EXPECT_TRUE(pg.mBaseLocs.mQuals[0].mDescription.empty());

  pg.MergeReadPads();
  EXPECT_EQ(MergedTexts(pg), (std::vector<std::string>{"CGA-TACG", "GCCTACGT", "CGTAACG"}));
  EXPECT_EQ(pg.mMergedReads.mSeqs[2].mName, "r2");
  EXPECT_EQ(pg.mOffsets, (std::vector<int>{2, 3, 8}));

  EXPECT_EQ(pg.SIdx2RIdx(5, 0), 4);
  EXPECT_EQ(pg.RIdx2SIdx(0, 2), 7);
  EXPECT_EQ(pg.SIdx2RIdx(0, 2), -7);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(pg.SIdx2RIdx(pg.mOffsets[r] - 1, r), 0);
    for (int x = -20; x <= 20; ++x) EXPECT_EQ(pg.SIdx2RIdx(pg.RIdx2SIdx(x, r), r), x);
  }
  for (int r : {-1, 3, INT_MAX}) {
    EXPECT_EQ(pg.SIdx2RIdx(5, r), -1);
    EXPECT_EQ(pg.RIdx2SIdx(5, r), -1);
  }
}

TEST(PileographTest, RePaddingCases) {
  struct Case {
    const char* what;
    std::string contig;
    std::vector<CMHit> hits;
    std::string unionContig;
    std::vector<std::string> merged;
    std::vector<int> offsets;
  };
  const std::vector<Case> cases = {
      {"deletion copied, other read's pad inserted", "ACGTACGT",
       {Hit("a", 0, "ACGTACGT", "AC-TACGT"), Hit("b", 0, "ACG-TACGT", "ACGATACGT")},
       "ACG-TACGT", {"AC--TACGT", "ACGATACGT"}, {1, 1}},
      {"read without pads gets the union's pads", "ACGTACGT",
       {Hit("a", 1, "CGTAC", "CGTAC"), Hit("b", 2, "G-T--A", "GATCCA")},
       "ACG-T--ACGT", {"CG-T--AC", "GATCCA"}, {2, 3}},
      {"'*' in a contig side", "ACGT",
       {Hit("a", 0, "A*CGT", "AACGT"), Hit("b", 0, "ACGT", "ACGT")},
       "A-CGT", {"AACGT", "A-CGT"}, {1, 1}},
      {"read side longer than its contig side", "ACGT",
       {Hit("a", 0, "AC", "ACTT"), Hit("b", 0, "ACGT", "ACGT")},
       "AC--GT", {"ACTT", "AC--GT"}, {1, 1}},
      {"leading pad columns after an inner base", "ACGTACGT",
       {Hit("a", 2, "--GTA", "TTGTA"), Hit("b", 0, "ACGT", "ACGT"), Hit("c", 2, "-GT", "AGT")},
       "AC--GTACGT", {"TTGTA", "AC--GT", "A-GT"}, {3, 1, 3}},
      {"hit beyond the contig's end", "ACGT",
       {Hit("a", 6, "AC-G", "ACTG"), Hit("b", 2, "GT-", "GTT")},
       "ACGT-", {"ACTG", "GTT"}, {8, 3}},
      {"empty contig", "", {Hit("a", 4, "AC-G", "ACTG")}, "", {"ACTG"}, {5}},
      {"empty alignment", "ACGT", {Hit("a", 2, "", "")}, "ACGT", {""}, {3}},
  };
  for (const Case& c : cases) {
    Pileograph pg;
    Load(pg, c.contig, c.hits);
    CaptureStderr();
    Merge(pg);
    EXPECT_EQ(GetCapturedStderr(), "") << c.what;
    EXPECT_EQ(Text(pg.mUnionSource), c.unionContig) << c.what;
    EXPECT_EQ(MergedTexts(pg), c.merged) << c.what;
    EXPECT_EQ(pg.mOffsets, c.offsets) << c.what;
  }
}

TEST(PileographTest, PadsBeforeTheFirstBase) {
  // Pads before contig position 0 (and, from a malformed report, further left)
  // are reported once per location and get no union column; the reads' own
  // columns there are laid ahead of union column 0, still aligned.
  Pileograph pg;
  Load(pg, "ACGT",
        {Hit("a", 0, "--AC", "GGAC"), Hit("b", 0, "-A", "TA"), Hit("c", -3, "A-C", "AGC"),
         Hit("d", 0, "ACG-T", "ACGGT")});
  CaptureStderr();
  Merge(pg);
  EXPECT_EQ(GetCapturedStderr(),
            "??? i = 0 padIdx=0 padLocs[padIdx]=-3\n"
            "??? i = 0 padIdx=1 padLocs[padIdx]=-1\n");
  EXPECT_EQ(Text(pg.mUnionSource), "ACG-T");
  EXPECT_EQ(MergedTexts(pg), (std::vector<std::string>{"GGAC", "TA", "AGC", "ACGGT"}));
  EXPECT_EQ(pg.mOffsets, (std::vector<int>{-1, 0, -2, 1}));
  // Column 0 holds the first contig base in every read that reaches it.
  EXPECT_EQ(pg.GetAlignedCharacters(0, 1, 0), "AAA");
  EXPECT_EQ(pg.GetAlignedCharacters(-2, -1, -2), "GG");
}

TEST(PileographTest, RePaddingStaysBoundedOnBadMembers) {
  // Members set from outside: coordinates that go backwards insert no pad,
  // one far ahead inserts pads only up to the union contig's end, and lists
  // of different lengths are read only as far as they reach.
  Pileograph pg;
  pg.mUnionSource = Seq("UnionSource", "AC--GT");
  pg.mAlignedReads.mSeqs = {Seq("a", "XYZ"), Seq("b", "AB"), Seq("c", "QQ"), Seq("d", "NN")};
  pg.mBaseLocs.mQuals.resize(3);
  pg.mBaseLocs.mQuals[0].mQual = {3, 1, 1};
  pg.mBaseLocs.mQuals[1].mQual = {1, 1000000000};
  pg.mBaseLocs.mQuals[2].mQual = {};
  pg.mOffsets = {3, 1, 2};
  pg.MergeReadPads();
  EXPECT_EQ(MergedTexts(pg), (std::vector<std::string>{"XYZ", "A-----B", "QQ"}));
  EXPECT_EQ(pg.mOffsets, (std::vector<int>{5, 1, 2}));

  // Extreme coordinates neither overflow nor allocate.
  Pileograph far;
  Load(far, "ACGT", {Hit("a", INT_MAX - 1, "A-C", "AGC"), Hit("b", INT_MIN + 1, "A-C", "AGC")});
  CaptureStderr();
  Merge(far);
  EXPECT_EQ(GetCapturedStderr(), "??? i = 0 padIdx=0 padLocs[padIdx]=" + std::to_string(INT_MIN + 1) + "\n");
  EXPECT_EQ(Text(far.mUnionSource), "ACGT");
  EXPECT_EQ(MergedTexts(far), (std::vector<std::string>{"AGC", "AGC"}));
}

TEST(PileographTest, PrintAlignmentTwoBlocks) {
  Pileograph pg;
  PrintExample(pg);
  EXPECT_EQ(Print(pg, 0, -1, 5),
            "UnionSource                  0  AC-GT\n"
            "readA                        0  AC-GT\n"
            "\n"
            "UnionSource                  5  ACGT%\n"
            "readA                        5  A....\n"
            "readB                        2  ACGT.\n"
            "\n");
}

TEST(PileographTest, PrintAlignmentBlocks) {
  struct Case {
    const char* what;
    int start, end, width;
    std::string text;
  };
  const std::string u = "UnionSource";
  const std::vector<Case> cases = {
      {"width 0", 0, -1, 0, ""},
      {"negative width", 0, -1, -3, ""},
      {"length a multiple of the width", 0, -1, 3,
       L(u, 0, "AC-") + L("readA", 0, "AC-") + "\n" + L(u, 3, "GTA") + L("readA", 3, "GTA") +
           L("readB", 0, "GTA") + "\n" + L(u, 6, "CGT") + L("readA", 6, "...") +
           L("readB", 3, "CGT") + "\n"},
      {"length one more than a multiple", 0, -1, 4,
       L(u, 0, "AC-G") + L("readA", 0, "AC-G") + "\n" + L(u, 4, "TACG") + L("readA", 4, "TA..") +
           L("readB", 1, "TACG") + "\n" + L(u, 8, "T%..") + L("readA", 8, "....") +
           L("readB", 5, "T...") + "\n"},
      {"start far below 0", -7, -1, 5, L(u, -7, ".....") + "\n"},
      {"start below 0", -2, -1, 5,
       L(u, -2, "..AC-") + "\n" + L(u, 3, "GTACG") + L("readA", 3, "GTA..") +
           L("readB", 0, "GTACG") + "\n" + L(u, 8, "T%...") + L("readA", 8, ".....") +
           L("readB", 5, "T....") + "\n"},
      {"start beyond the end", 12, -1, 5,
       L(u, 12, ".....") + L("readA", 12, ".....") + L("readB", 9, ".....") + "\n"},
      {"'%' inside a block past the end", 7, 100, 4,
       L(u, 7, "GT%.") + L("readA", 7, "....") + L("readB", 4, "GT..") + "\n"},
      {"end stops the blocks", 0, 4, 3,
       L(u, 0, "AC-") + L("readA", 0, "AC-") + "\n" + L(u, 3, "GTA") + L("readA", 3, "GTA") +
           L("readB", 0, "GTA") + "\n"},
      {"end below start", 3, 1, 3,
       L(u, 3, "GTA") + L("readA", 3, "GTA") + L("readB", 0, "GTA") + "\n"},
  };
  for (const Case& c : cases) {
    Pileograph pg;
    PrintExample(pg);
    EXPECT_EQ(Print(pg, c.start, c.end, c.width), c.text) << c.what;
  }

  // A name longer than the field is written whole.
  Pileograph pg;
  PrintExample(pg);
  pg.mMergedReads.mSeqs[1].mName = "read_with_a_long_name_x";
  pg.mOffsets[1] = -123456789;
  EXPECT_EQ(Print(pg, 0, 0, 2), L(u, 0, "AC") + L("readA", 0, "AC") +
                                    "read_with_a_long_name_x 123456790  ..\n" + "\n");
}

TEST(PileographTest, WindowQueries) {
  Pileograph pg;
  PrintExample(pg);
  EXPECT_EQ(pg.GetNumReadsInWindow(0, 3), 1);
  EXPECT_EQ(pg.GetNumReadsInWindow(0, 4), 2);
  EXPECT_STREQ(pg.GetWindowReadName(0, 4, 1), "readB");
  EXPECT_STREQ(pg.GetWindowReadName(0, 4, 2), "NOT FOUND");
  EXPECT_EQ(pg.GetAlignedCharacters(0, 4, 3), "GG");
  EXPECT_EQ(pg.GetAlignedCharacters(0, 4, 7), " G");
  EXPECT_EQ(pg.GetAlignedCharacters(6, 6, 7), "");
  EXPECT_EQ(pg.GetNumReads(), 2);
  EXPECT_STREQ(pg.GetReadName(1), "readB");
  EXPECT_EQ(pg.GetSourceSize(), 9);
  EXPECT_EQ(pg.GetSourceBase(2), '-');

  // Edges: last character in the first column, first character in the last
  // column, pads, negative n, empty and reversed windows, an empty read.
  EXPECT_EQ(pg.GetNumReadsInWindow(5, 6), 2);
  EXPECT_EQ(pg.GetAlignedCharacters(5, 6, 5), "AA");
  EXPECT_EQ(pg.GetNumReadsInWindow(6, 100), 1);
  EXPECT_EQ(pg.GetAlignedCharacters(-5, 1, 2), "-");
  EXPECT_STREQ(pg.GetWindowReadName(0, 4, -1), "NOT FOUND");
  EXPECT_EQ(pg.GetNumReadsInWindow(4, 2), 0);
  EXPECT_STREQ(pg.GetWindowReadName(4, 2, 0), "NOT FOUND");
  EXPECT_EQ(pg.GetNumReadsInWindow(INT_MIN, INT_MAX), 2);
  pg.mMergedReads.mSeqs.push_back(Seq("empty", ""));
  pg.mOffsets.push_back(2);
  EXPECT_EQ(pg.GetNumReadsInWindow(INT_MIN, INT_MAX), 2);
  EXPECT_EQ(pg.GetNumReads(), 3);

  // Out of range: "NOT FOUND", code 0, -1.
  EXPECT_STREQ(pg.GetReadName(-1), "NOT FOUND");
  EXPECT_STREQ(pg.GetReadName(3), "NOT FOUND");
  EXPECT_EQ(pg.GetSourceBase(-1), '\0');
  EXPECT_EQ(pg.GetSourceBase(9), '\0');

  // Tied hits of one read are two reads with one name.
  Pileograph tied;
  Load(tied, "ACGTACGT", {Hit("t", 0, "ACG", "ACG"), Hit("t", 4, "ACG", "ACG")});
  Merge(tied);
  EXPECT_EQ(tied.GetNumReadsInWindow(0, 8), 2);
  EXPECT_STREQ(tied.GetWindowReadName(0, 8, 0), "t");
  EXPECT_STREQ(tied.GetWindowReadName(0, 8, 1), "t");
  EXPECT_EQ(tied.GetAlignedCharacters(0, 8, 1), "C ");

  // Before the merge the source size is the contig's.
  Pileograph before;
  before.mSource = Seq("c", "ACGTA");
  EXPECT_EQ(before.GetSourceSize(), 5);
}

namespace {

// Runs each test in a fresh temporary directory (the merge writes side files).
class PileographFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    mOld = std::filesystem::current_path();
    char tmpl[] = "/tmp/pileograph_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
    std::filesystem::current_path(mDir);
  }
  void TearDown() override {
    std::filesystem::current_path(mOld);
    std::filesystem::remove_all(mDir);
  }
  std::filesystem::path mOld;
  std::filesystem::path mDir;
};

struct Snapshot {
  std::string unionContig;
  std::vector<std::string> aligned, merged;
  std::vector<std::vector<int>> baseLocs;
  std::vector<int> offsets;
  bool operator==(const Snapshot& o) const {
    return unionContig == o.unionContig && aligned == o.aligned && merged == o.merged &&
           baseLocs == o.baseLocs && offsets == o.offsets;
  }
};

Snapshot Take(const Pileograph& pg) {
  Snapshot s;
  s.unionContig = Text(pg.mUnionSource);
  for (const Sequence& q : pg.mAlignedReads.mSeqs) s.aligned.push_back(Text(q));
  s.merged = MergedTexts(pg);
  for (const SequenceQuality& q : pg.mBaseLocs.mQuals) s.baseLocs.push_back(q.mQual);
  s.offsets = pg.mOffsets;
  return s;
}

}  // namespace

TEST_F(PileographFiles, LoadAndMergeTwice) {
  Pileograph pg;
  pg.ReadSource(TEST_DATA_DIR "/layout_contig.fa");
  EXPECT_EQ(Text(pg.mSource), "ACGTACGTACG");
  EXPECT_EQ(pg.mSource.mName, "c1");

  // The second report's hits are normalised once; the filter runs over both.
  pg.ReadCM(TEST_DATA_DIR "/layout_first.cm");
  pg.ReadCM(std::string(TEST_DATA_DIR "/layout_second.cm"));
  struct Kept {
    const char* name;
    int start, end, score;
  };
  const Kept kept[] = {{"r1", 1, 7, 20}, {"r2", 5, 10, 30}, {"r1", 0, 3, 20}, {"r3", 8, 10, 40}};
  ASSERT_EQ(pg.mCM.mHits.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pg.mCM.mHits[i].mVName, kept[i].name) << i;
    EXPECT_EQ(pg.mCM.mHits[i].mSourceStart, kept[i].start) << i;
    EXPECT_EQ(pg.mCM.mHits[i].mSourceEnd, kept[i].end) << i;
    EXPECT_EQ(pg.mCM.mHits[i].mScore, kept[i].score) << i;
  }

  CaptureStdout();
  pg.MergeAlignments();
  EXPECT_EQ(GetCapturedStdout(), "ConstructSource...Init With Queries ...MergePads...");
  EXPECT_EQ(ReadFile("usrctest.fa"), ">UnionSource \nACGTACGTACG\n");
  const Snapshot first = Take(pg);
  EXPECT_EQ(first.merged, (std::vector<std::string>{"CGTACGT", "CGTACG", "ACGT", "ACG"}));
  EXPECT_EQ(first.offsets, (std::vector<int>{2, 6, 1, 9}));

  std::remove("usrctest.fa");
  CaptureStdout();
  pg.MergeAlignments();
  EXPECT_EQ(GetCapturedStdout(), "ConstructSource...Init With Queries ...MergePads...");
  EXPECT_EQ(ReadFile("usrctest.fa"), ">UnionSource \nACGTACGTACG\n");
  EXPECT_TRUE(Take(pg) == first);

  // The inner steps one by one give the same members.
  Pileograph steps;
  steps.mSource = pg.mSource;
  steps.mCM = pg.mCM;
  Merge(steps);
  EXPECT_TRUE(Take(steps) == first);

  pg.WriteMerged();
  EXPECT_EQ(ReadFile("usource.out"), ">UnionSource \nACGTACGTACG\n");
  EXPECT_EQ(ReadFile("ureads.out"),
            ">r1 \nCGTACGT\n>r2 \nCGTACG\n>r1 \nACGT\n>r3 \nACG\n");
}

TEST_F(PileographFiles, MergeWithoutHitsAndMissingFiles) {
  Pileograph pg;
  pg.mSource = Seq("kept", "TTT");
  CaptureStdout();
  pg.ReadSource("no_such_contig.fa");
  pg.ReadCM("no_such_report.cm");
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(Text(pg.mSource), "TTT");
  EXPECT_EQ(pg.mSource.mName, "kept");
  EXPECT_TRUE(pg.mCM.mHits.empty());

  pg.ReadSource(TEST_DATA_DIR "/layout_contig.fa");
  CaptureStdout();
  pg.MergeAlignments();
  EXPECT_EQ(GetCapturedStdout(), "ConstructSource...Init With Queries ...MergePads...");
  EXPECT_EQ(Text(pg.mUnionSource), "ACGTACGTACG");
  EXPECT_TRUE(pg.mAlignedReads.mSeqs.empty());
  EXPECT_TRUE(pg.mMergedReads.mSeqs.empty());
  EXPECT_TRUE(pg.mBaseLocs.mQuals.empty());
  EXPECT_TRUE(pg.mOffsets.empty());
  EXPECT_EQ(ReadFile("usrctest.fa"), ">UnionSource \nACGTACGTACG\n");

  // A side file that cannot be written: the writer's message, then the merge goes on.
  std::remove("usrctest.fa");
  std::filesystem::create_directory("usrctest.fa");
  ThreeReads(pg);
  CaptureStdout();
  pg.MergeAlignments();
  EXPECT_EQ(GetCapturedStdout(),
            "ConstructSource...usrctest.fa file open failed\nInit With Queries ...MergePads...");
  EXPECT_EQ(MergedTexts(pg), (std::vector<std::string>{"CGA-TACG", "GCCTACGT", "CGTAACG"}));
}

// The file-name PrintAlignment: a line says why a file was not written, a
// failed write leaves no partial pileup, a file someone holds locked or
// leased is not waited for (a lock of any kind, held through another
// descriptor), and a named pipe takes it once a reader comes.
TEST_F(PileographFiles, PrintAlignmentToFile) {
  Pileograph pg;
  PrintExample(pg);
  const std::string whole = Print(pg, 0, -1, 5);
  WriteFile("held.txt", "earlier\n");
  const int holder = open("held.txt", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  std::vector<int> lockers;
  for (const int kind : {F_SETLK, F_OFD_SETLK}) {
    const std::string name = kind == F_SETLK ? "posix.txt" : "ofd.txt";
    WriteFile(name, "earlier\n");
    lockers.push_back(open(name.c_str(), O_RDONLY | O_CLOEXEC));
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    ASSERT_EQ(fcntl(lockers.back(), kind, &lock), 0) << std::strerror(errno);
  }
  WriteFile("leased.txt", "earlier\n");
  signal(SIGIO, SIG_IGN);  // the lease holder is told of the open that breaks it
  const int leaser = open("leased.txt", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(fcntl(leaser, F_SETLEASE, F_RDLCK), 0) << std::strerror(errno);
  struct Case {
    const char* mWhat;
    const char* mPath;
    int mStart, mEnd;
    rlim_t mSizeLimit;  // bytes a write may reach, RLIM_INFINITY: no limit
    std::string mSays, mLeft;
  };
  const Case cases[] = {
      {"new file", "pileup.txt", 0, -1, RLIM_INFINITY, "", whole},
      {"emptied first", "pileup.txt", 5, 5, RLIM_INFINITY, "", Print(pg, 5, 5, 5)},
      {"missing folder", "no_dir/pileup.txt", 0, -1, RLIM_INFINITY, "no_dir/pileup.txt file open failed\n", ""},
      {"locked by another", "held.txt", 0, -1, RLIM_INFINITY, "held.txt file is in use, not written\n",
       "earlier\n"},
      {"POSIX lock", "posix.txt", 0, -1, RLIM_INFINITY, "posix.txt file is in use, not written\n", "earlier\n"},
      {"OFD lock", "ofd.txt", 0, -1, RLIM_INFINITY, "ofd.txt file is in use, not written\n", "earlier\n"},
      {"leased by a reader", "leased.txt", 0, -1, RLIM_INFINITY, "leased.txt file is in use, not written\n",
       "earlier\n"},
      {"write fails midway", "pileup.txt", 0, -1, 10, "pileup.txt file write failed\n", ""},
  };
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
  for (const Case& c : cases) {
    struct rlimit limit = old;
    limit.rlim_cur = c.mSizeLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string says;
    {
      CoutCapture capture;  // in memory, out of reach of the limit
      pg.PrintAlignment(c.mPath, c.mStart, c.mEnd, 5);
      says = capture.Text();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(says, c.mSays) << c.mWhat;
    EXPECT_EQ(ReadFile(c.mPath), c.mLeft) << c.mWhat;
  }
  signal(SIGXFSZ, SIG_DFL);
  close(holder);
  close(leaser);
  for (const int locker : lockers) close(locker);
  EXPECT_FALSE(std::filesystem::exists("no_dir"));
  pg.PrintAlignment(nullptr, 0, -1, 5);
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  std::string piped;
  std::thread reader([&] { piped = ReadFile("pipe"); });
  pg.PrintAlignment("pipe", 0, -1, 5);
  reader.join();
  EXPECT_EQ(piped, whole);
}

// A viewer keeps an engine per contig: the files they read are remembered,
// not held open.
TEST_F(PileographFiles, InputsAreNotHeldOpen) {
  WriteFile("report.cm", ReadFile(TEST_DATA_DIR "/layout_first.cm"));
  const std::string contig = ReadFile(TEST_DATA_DIR "/layout_contig.fa");
  auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = descriptors();
  std::vector<std::unique_ptr<Pileograph>> engines;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "contig" + std::to_string(i) + ".fa";
    WriteFile(name, contig);
    engines.push_back(std::make_unique<Pileograph>());
    engines.back()->ReadSource(name);
    engines.back()->ReadCM("report.cm");
    std::rename(name.c_str(), "replaced.fa");  // its space goes once nothing holds it
  }
  EXPECT_EQ(descriptors(), before);
}

// Inputs deleted after reading (a cleaned-up temporary file): a side file
// made later may get an input's inode number, but not its birth time, so it
// is written.
TEST_F(PileographFiles, DeletedInputsLeaveSideFilesWritable) {
  WriteFile("contig.fa", ReadFile(TEST_DATA_DIR "/layout_contig.fa"));
  WriteFile("report.cm", ReadFile(TEST_DATA_DIR "/layout_first.cm"));
  Pileograph pg;
  pg.ReadSource("contig.fa");
  pg.ReadCM("report.cm");
  std::remove("contig.fa");
  std::remove("report.cm");
  for (int round = 0; round < 4; ++round) {
    CaptureStdout();
    pg.MergeAlignments();
    pg.WriteMerged();
    EXPECT_EQ(GetCapturedStdout(), "ConstructSource...Init With Queries ...MergePads...") << round;
    EXPECT_EQ(ReadFile("usrctest.fa"), ReadFile("usource.out")) << round;
  }
}

// Overlayfs copies a file of its lower layer up when it is touched or linked:
// same inode number, new birth time. The contig read before stays an input.
TEST_F(PileographFiles, InputsCopiedUpOnOverlayStayInputs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  const std::string contig = ReadFile(TEST_DATA_DIR "/layout_contig.fa");
  struct Case {
    const char* mWhat;
    bool mLinkUsrctest;  // usrctest.fa made a hard link of the contig; else the contig touched
    std::string mSays;
  };
  const Case cases[] = {
      {"the contig touched, the pileup printed onto it", false,
       "ConstructSource...Init With Queries ...MergePads...contig.fa file is an input, not written\n"},
      {"usrctest.fa a hard link of the contig", true,
       "ConstructSource...usrctest.fa file is an input, not written\nInit With Queries ...MergePads..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mWhat);
    const std::string layers = (mDir / std::to_string(&c - cases)).string();
    std::filesystem::create_directory(layers);
    if (mount("tmpfs", layers.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << std::strerror(errno);
    for (const char* sub : {"lower", "upper", "work", "merged"}) std::filesystem::create_directory(layers + "/" + sub);
    WriteFile(layers + "/lower/contig.fa", contig);
    WriteFile(layers + "/lower/report.cm", ReadFile(TEST_DATA_DIR "/layout_first.cm"));
    const std::string options =
        "lowerdir=" + layers + "/lower,upperdir=" + layers + "/upper,workdir=" + layers + "/work";
    const bool mounted = mount("overlay", (layers + "/merged").c_str(), "overlay", 0, options.c_str()) == 0;
    const int why = errno;
    if (mounted) {
      std::filesystem::current_path(layers + "/merged");
      Pileograph pg;
      pg.ReadSource("contig.fa");
      pg.ReadCM("report.cm");
      if (c.mLinkUsrctest) {
        EXPECT_EQ(link("contig.fa", "usrctest.fa"), 0);
      } else {
        EXPECT_EQ(utimensat(AT_FDCWD, "contig.fa", nullptr, 0), 0);
      }
      CaptureStdout();
      pg.MergeAlignments();
      if (!c.mLinkUsrctest) pg.PrintAlignment("contig.fa", 0, -1, 5);
      EXPECT_EQ(GetCapturedStdout(), c.mSays);
      EXPECT_EQ(ReadFile("contig.fa"), contig);
      std::filesystem::current_path(mDir);
      umount2((layers + "/merged").c_str(), MNT_DETACH);
    }
    umount2(layers.c_str(), MNT_DETACH);
    if (!mounted) GTEST_SKIP() << "cannot mount an overlay here: " << std::strerror(why);
  }
}

namespace {

bool NoLeftovers(const std::string& dir) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.path().filename().string()[0] == '.') return false;
  }
  return true;
}

}  // namespace

// The side files and the file-name PrintAlignment never land on a file the
// engine read; a link at a side file's name leads to the file replaced; no
// new file is left behind.
TEST_F(PileographFiles, OutputsSpareInputsAndSpecialFiles) {
  const std::string contig = ReadFile(TEST_DATA_DIR "/layout_contig.fa");
  const std::string report = ReadFile(TEST_DATA_DIR "/layout_first.cm");
  const std::string unionFa = ">UnionSource \nACGTACGTACG\n";
  const std::string isInput = " file is an input, not written\n";
  struct Case {
    const char* mWhat;
    std::vector<std::pair<std::string, std::string>> mMake;  // bytes, "->x" a link, "=>x" a hard link
    const char* mContig;                                      // read by ReadSource
    const char* mPrintTo;                                     // the file-name PrintAlignment
    std::string mMergeSays, mWriteSays;                       // lines within the console text
    std::vector<std::pair<std::string, std::string>> mLeft;
  };
  const Case cases[] = {
      {"contig read as usrctest.fa", {{"usrctest.fa", contig}}, "usrctest.fa", "out.txt",
       "usrctest.fa" + isInput, "", {{"usrctest.fa", contig}}},
      {"ureads.out a hard link to the contig", {{"ureads.out", "=>contig.fa"}}, "contig.fa", "out.txt", "",
       "ureads.out" + isInput, {{"contig.fa", contig}, {"usource.out", unionFa}}},
      {"pileup printed onto the report", {}, "contig.fa", "report.cm", "", "report.cm" + isInput,
       {{"report.cm", report}}},
      {"usrctest.fa a link into a folder", {{"sub/u.fa", "old"}, {"usrctest.fa", "->sub/u.fa"}}, "contig.fa",
       "out.txt", "", "", {{"sub/u.fa", unionFa}, {"usrctest.fa", unionFa}}},
      {"usrctest.fa a dangling link", {{"usrctest.fa", "->sub/new.fa"}}, "contig.fa", "out.txt", "", "",
       {{"sub/new.fa", unionFa}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mWhat);
    const std::string dir = std::filesystem::current_path().string() + "/" + std::to_string(&c - cases);
    std::filesystem::create_directories(dir + "/sub");
    std::filesystem::current_path(dir);
    WriteFile("contig.fa", contig);
    WriteFile("report.cm", report);
    for (const auto& [name, bytes] : c.mMake) {
      if (bytes.rfind("->", 0) == 0) {
        std::filesystem::create_symlink(bytes.substr(2), name);
      } else if (bytes.rfind("=>", 0) == 0) {
        std::filesystem::create_hard_link(bytes.substr(2), name);
      } else {
        WriteFile(name, bytes);
      }
    }
    Pileograph pg;
    pg.ReadSource(c.mContig);
    pg.ReadCM("report.cm");
    CaptureStdout();
    pg.MergeAlignments();
    pg.WriteMerged();
    pg.PrintAlignment(c.mPrintTo, 0, -1, 5);
    EXPECT_EQ(GetCapturedStdout(), "ConstructSource..." + c.mMergeSays + "Init With Queries ...MergePads..." +
                                       c.mWriteSays);
    for (const auto& [name, bytes] : c.mLeft) EXPECT_EQ(ReadFile(name), bytes) << name;
    EXPECT_TRUE(NoLeftovers(dir));
    std::filesystem::current_path(mDir);
  }
}
