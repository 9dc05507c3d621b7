#include "CMParse.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Text(const Sequence& s) { return std::string(s.mSeq.begin(), s.mSeq.end()); }

std::vector<CMHit> ParseText(const std::string& text) {
  CMParse cm;
  std::istringstream in(text);
  cm.Parse(in);
  return cm.mHits;
}

struct Expected {
  int score;
  float subs, dels, ins;
  std::string read;
  int queryStart, queryEnd;
  bool reverse;
  std::string source;
  int sourceStart, sourceEnd;
  bool star;
  std::string queryText, sourceText;
};

void ExpectHit(const CMHit& h, const Expected& e) {
  EXPECT_EQ(h.mScore, e.score);
  EXPECT_FLOAT_EQ(h.mSubstitutions, e.subs);
  EXPECT_FLOAT_EQ(h.mDeletions, e.dels);
  EXPECT_FLOAT_EQ(h.mInsertions, e.ins);
  EXPECT_EQ(h.mVName, e.read);
  EXPECT_EQ(h.mQueryAligned.mName, e.read);
  EXPECT_EQ(h.mQueryStart, e.queryStart);
  EXPECT_EQ(h.mQueryEnd, e.queryEnd);
  EXPECT_EQ(h.mIsReverse, e.reverse);
  EXPECT_EQ(h.mSourceName, e.source);
  EXPECT_EQ(h.mSourceAligned.mName, e.source);
  EXPECT_EQ(h.mSourceStart, e.sourceStart);
  EXPECT_EQ(h.mSourceEnd, e.sourceEnd);
  EXPECT_EQ(h.mHasStar, e.star);
  EXPECT_EQ(Text(h.mQueryAligned), e.queryText);
  EXPECT_EQ(Text(h.mSourceAligned), e.sourceText);
  EXPECT_TRUE(h.mQueryAligned.mDescription.empty());
  EXPECT_TRUE(h.mSourceAligned.mDescription.empty());
}

const Expected kRead7 = {523, 1.2f, 0, 0.4f, "read7", 0, 249, false, "contig1", 30, 278, false,
                         "ACGT-TGCAGGCC", "ACGTATGCAGGAC"};
const Expected kRead9 = {410, 2.5f, 0.8f, 0, "read9", 2, 239, true, "contig1", 699, 461, true,
                         "TTGA-CAG", "TCGAACAG"};

}  // namespace

TEST(CMParseTest, MatchLine) {
  struct Case {
    const char* line;
    bool match;
  } cases[] = {
      {" 523  1.20 0.00 0.40  read7  1  250 (12)  contig1  31  279 (721)", true},
      {"x (0) y", true},
      {"()", true},
      {"a () (x)", true},
      {")(12)", true},
      {"(1 2) (34)", false},
      {"(1/2) (34)", false},
      {"(12a)", false},
      {"(-3)", false},
      {"(12", false},
      {"12)", false},
      {"Score matrix (set by value of penalty: -2)", false},
      {"", false},
      {"(12)\r", true},
  };
  CMParse cm;
  for (const Case& c : cases) EXPECT_EQ(cm.MatchLine(c.line), c.match) << c.line;
}

TEST(CMParseTest, ParseStatsFromLine) {
  CMParse cm;
  struct Case {
    std::string line;
    Expected e;
  } cases[] = {
      {" 523  1.20 0.00 0.40  read7        1   250 (12)  contig1    31   279 (721)",
       {523, 1.2f, 0, 0.4f, "read7", 0, 249, false, "contig1", 30, 278, false, "", ""}},
      {" 410  2.50 0.80 0.00  read9        3   240 (0)  C contig1   (300)   700   462 *",
       {410, 2.5f, 0.8f, 0, "read9", 2, 239, true, "contig1", 699, 461, true, "", ""}},
      // A '*' in a name counts; tabs separate like blanks.
      {"5\t1.0\t2.0\t3.0\tr*\t1\t2\t(0)\tc\t4\t9\t(1)",
       {5, 1, 2, 3, "r*", 0, 1, false, "c", 3, 8, true, "", ""}},
      // A lone lower-case "c" is a contig name, not the complement mark.
      {"9 0 0 0 r 1 2 (0) c (5) 7 8",
       {9, 0, 0, 0, "r", 0, 1, false, "c", 4, 6, false, "", ""}},
      // Missing items: every item after an exhausted cursor is missing too.
      {"12 (3)", {12, 3, 0, 0, "", -1, -1, false, "", -1, -1, false, "", ""}},
      {"", {0, 0, 0, 0, "", -1, -1, false, "", -1, -1, false, "", ""}},
      {"7 1 2 3 r 1 2 (0) C", {7, 1, 2, 3, "r", 0, 1, true, "", -1, -1, false, "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CMHit hit;
    cm.ParseStatsFromLine(c.line, hit);
    ExpectHit(hit, c.e);
  }
}

TEST(CMParseTest, ParsesBlocksOfBothStrands) {
  CMParse cm;
  cm.Parse(std::string(TEST_DATA_DIR "/cm_report.cm"));
  ASSERT_EQ(cm.mHits.size(), 2u);
  ExpectHit(cm.mHits[0], kRead7);
  ExpectHit(cm.mHits[1], kRead9);
  EXPECT_EQ(cm.mTag, "ZUQ");

  cm.NormalizeToAlignment();
  EXPECT_EQ(cm.mHits[0].mSourceStart, 30);
  EXPECT_EQ(cm.mHits[0].mSourceEnd, 278);
  EXPECT_EQ(cm.mHits[1].mSourceStart, 461);
  EXPECT_EQ(cm.mHits[1].mSourceEnd, 699);
  EXPECT_EQ(cm.mHits[1].mQueryStart, 2);
  cm.NormalizeToAlignment();  // swaps back
  EXPECT_EQ(cm.mHits[1].mSourceStart, 699);
}

TEST(CMParseTest, TwoReportsIntoOneObject) {
  CMParse cm;
  cm.Parse(std::string(TEST_DATA_DIR "/cm_report.cm"));
  cm.NormalizeToAlignment();
  const size_t first = cm.mHits.size();
  cm.Parse(std::string(TEST_DATA_DIR "/cm_second.cm"));
  ASSERT_EQ(cm.mHits.size(), 3u);
  ExpectHit(cm.mHits[2], {600, 0, 0, 0, "read7", 0, 4, true, "contig1", 89, 85, false, "ACGTA",
                          "ACGTA"});
  cm.NormalizeToAlignment(first);
  EXPECT_EQ(cm.mHits[1].mSourceStart, 461);  // earlier hits stay normalised
  EXPECT_EQ(cm.mHits[2].mSourceStart, 85);
  EXPECT_EQ(cm.mHits[2].mSourceEnd, 89);
  cm.NormalizeToAlignment(10);  // beyond the list: nothing
  EXPECT_EQ(cm.mHits[2].mSourceStart, 85);

  cm.RemoveAllButBestMatches();
  ASSERT_EQ(cm.mHits.size(), 2u);
  EXPECT_EQ(cm.mHits[0].mVName, "read9");
  EXPECT_EQ(cm.mHits[1].mVName, "read7");
  EXPECT_EQ(cm.mHits[1].mScore, 600);

  CMParse missing;
  missing.Parse(std::string(TEST_DATA_DIR "/no_such_file.cm"));
  EXPECT_TRUE(missing.mHits.empty());
}

TEST(CMParseTest, RemoveAllButBestMatches) {
  struct Case {
    std::vector<std::pair<std::string, int>> in, out;
  } cases[] = {
      {{{"read7", 523}, {"read9", 410}, {"read7", 600}, {"read7", 600}, {"read9", 120}},
       {{"read9", 410}, {"read7", 600}, {"read7", 600}}},
      {{}, {}},
      {{{"a", -5}, {"b", 0}, {"a", -7}, {"A", -9}}, {{"a", -5}, {"b", 0}, {"A", -9}}},
      {{{"x", 3}, {"x", 3}, {"x", 3}}, {{"x", 3}, {"x", 3}, {"x", 3}}},
  };
  for (const Case& c : cases) {
    CMParse cm;
    for (size_t i = 0; i < c.in.size(); ++i) {
      CMHit h;
      h.mVName = h.mQueryAligned.mName = c.in[i].first;
      h.mScore = c.in[i].second;
      h.mQueryStart = static_cast<int>(i);  // tells the entries apart
      cm.mHits.push_back(h);
    }
    cm.RemoveAllButBestMatches();
    ASSERT_EQ(cm.mHits.size(), c.out.size());
    int lastIndex = -1;
    for (size_t i = 0; i < c.out.size(); ++i) {
      EXPECT_EQ(cm.mHits[i].mQueryAligned.mName, c.out[i].first);
      EXPECT_EQ(cm.mHits[i].mScore, c.out[i].second);
      EXPECT_GT(cm.mHits[i].mQueryStart, lastIndex);  // report order kept
      lastIndex = cm.mHits[i].mQueryStart;
    }
  }
}

TEST(CMParseTest, CrlfReportReadsLikeItsLfTwin) {
  const std::string lf = ReadFile(TEST_DATA_DIR "/cm_report.cm");
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const std::vector<CMHit> hits = ParseText(crlf);
  ASSERT_EQ(hits.size(), 2u);
  ExpectHit(hits[0], kRead7);
  ExpectHit(hits[1], kRead9);
}

TEST(CMParseTest, IncompleteAndHostileReports) {
  // No "Transitions" line; the last block is cut after its query line, which
  // has no line feed, so its text is not read.
  CMParse cm;
  cm.Parse(std::string(TEST_DATA_DIR "/cm_cut.cm"));
  ASSERT_EQ(cm.mHits.size(), 1u);
  ExpectHit(cm.mHits[0], {77, 0, 0, 0, "readX", 0, 8, false, "contig1", 4, 12, false,
                          "ACGTACGTA", "ACGTACCTA"});

  const std::string match = " 10 0.0 0.0 0.0 r 1 4 (0) c 1 4 (0)\n\n";
  // Cut right after a complete query line: its text is kept, the subject is lost.
  std::vector<CMHit> hits = ParseText(match + "  r 1 ACGT 4\n");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(Text(hits[0].mQueryAligned), "ACGT");
  EXPECT_EQ(Text(hits[0].mSourceAligned), "");

  EXPECT_TRUE(ParseText("").empty());
  EXPECT_TRUE(ParseText("no hits here\n(1 2)\n\n").empty());
  // A match line alone, with and without its line feed.
  EXPECT_EQ(ParseText(match.substr(0, match.size() - 2)).size(), 1u);
  EXPECT_EQ(ParseText(match).size(), 1u);
  // Match lines inside blocks are read as block lines.
  EXPECT_EQ(ParseText(match + match + match).size(), 1u);

  // A line too long for the shared line buffer is read whole, and parsing
  // goes on after it.
  const std::string block = "  r 1 ACGT 4\n\n  c 1 ACGA 4\n\n";
  const std::string huge(300000, 'A');
  hits = ParseText(match + block + "  r 5 " + huge + "\n\n  c 5 TT 6\n\nTransitions\n" + match);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_TRUE(Text(hits[0].mQueryAligned) == "ACGT" + huge);
  EXPECT_EQ(Text(hits[0].mSourceAligned), "ACGATT");
  hits = ParseText(huge + "\n" + match);
  EXPECT_EQ(hits.size(), 1u);

  // Arbitrary bytes, NULs included, around and inside a report: no crash, and
  // every hit has at most the characters of the input.
  const std::string report = ReadFile(TEST_DATA_DIR "/cm_report.cm");
  std::mt19937 rng(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string text = report;
    const int edits = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < edits; ++k) {
      const size_t at = rng() % (text.size() + 1);
      switch (rng() % 4) {
        case 0: text.insert(at, 1, static_cast<char>(rng() % 256)); break;
        case 1: if (at < text.size()) text.erase(at, 1); break;
        case 2: if (at < text.size()) text[at] = static_cast<char>(rng() % 256); break;
        default: text.insert(at, std::string("\n(0)\nC \r\t*-\n").substr(rng() % 6)); break;
      }
    }
    if (round % 100 == 0) text = text.substr(0, rng() % (text.size() + 1));
    CMParse cm2;
    std::istringstream in(text);
    cm2.Parse(in);
    for (const CMHit& h : cm2.mHits) {
      EXPECT_LE(h.mQueryAligned.mSeq.size() + h.mSourceAligned.mSeq.size(), text.size());
    }
    cm2.NormalizeToAlignment();
    cm2.RemoveAllButBestMatches();
  }
}

// Real reports from other projects.
TEST(CMParseTest, RealReports) {
  {
    CMParse cm;
    cm.Parse(std::string(REALDATA_DIR "/dfam-curator/example-cm.align"));
    ASSERT_EQ(cm.mHits.size(), 46u);
    for (const CMHit& h : cm.mHits) {
      EXPECT_TRUE(h.mIsReverse);
      EXPECT_EQ(h.mSourceName, "rep");
      EXPECT_FALSE(h.mQueryAligned.mSeq.empty());
      EXPECT_EQ(h.mQueryAligned.mSeq.size(), h.mSourceAligned.mSeq.size()) << h.mVName;
    }
    const CMHit& h = cm.mHits[0];
    ExpectHit(h, {2961, 9.03f, 0.0f, 1.19f, "PonBla_flattened_line_151930:2376-3748:466-1249", 148,
                  568, true, "rep", 415, 0, false, Text(h.mQueryAligned), Text(h.mSourceAligned)});
    EXPECT_EQ(Text(h.mQueryAligned).substr(0, 50),
              "TCTTCTGATTGGTTGGCGGTGAGATAACAGGGTGATGTTTTGGGAATCTT");
    EXPECT_EQ(Text(h.mSourceAligned).substr(0, 55),
              "ZZZZZTGATTGGTTGGTGGTGAGGTAACAGGGTGATGTTTCGGGAATCTTAATCA");
    const CMHit& last = cm.mHits.back();
    EXPECT_EQ(last.mSourceStart, 321);  // "(94)   322    1" after the C
    EXPECT_EQ(last.mSourceEnd, 6);
    const std::string lastQuery = Text(last.mQueryAligned);
    EXPECT_EQ(lastQuery.substr(lastQuery.size() - 28), "AATCATTAACT-CTTGAGTCAGCCTTTT");
    const std::string lastSource = Text(last.mSourceAligned);
    EXPECT_EQ(lastSource.substr(lastSource.size() - 28), "AATTAGTAACTGCTTGAGTCTGCTCTTT");
    cm.NormalizeToAlignment();
    EXPECT_EQ(cm.mHits[0].mSourceStart, 0);
    EXPECT_EQ(cm.mHits[0].mSourceEnd, 415);
  }
  {
    CMParse cm;
    cm.Parse(std::string(REALDATA_DIR "/bioperl/testdata.crossmatch"));
    ASSERT_EQ(cm.mHits.size(), 1u);
    const CMHit& h = cm.mHits[0];
    ExpectHit(h, {538, 1.37f, 0.51f, 0.34f, "C:\\Program", 18, 602, false, "msx1_ens2", 2823,
                  3408, false, Text(h.mQueryAligned), Text(h.mSourceAligned)});
    EXPECT_EQ(h.mQueryAligned.mSeq.size(), h.mSourceAligned.mSeq.size());
    EXPECT_EQ(Text(h.mQueryAligned).substr(0, 50),
              "TCCCAA-CGTCTAAGACTGAGCCATTAA-GTGGACTCCAGGTGCCCAAGG");
    EXPECT_EQ(Text(h.mSourceAligned).substr(0, 50),
              "TCCCAAACGTCTAGGACTGAGCCATTAAAGTGGACTCCAGGTGCCCAAGG");
  }
  {
    // Two complement hits of one read; the second lacks its closing line, so
    // the forward hit after it is read as its blocks.
    CMParse cm;
    cm.Parse(std::string(REALDATA_DIR "/repeatmasker/excerpts/SearchResult_t_comments_cm1.080812.txt"));
    ASSERT_EQ(cm.mHits.size(), 2u);
    const CMHit& h = cm.mHits[0];
    ExpectHit(h, {353, 28.71f, 0, 1.98f, "seq", 968, 1068, true, "L2-1_AMi#LINE/L2", 554, 456,
                  false, Text(h.mQueryAligned), Text(h.mSourceAligned)});
    EXPECT_EQ(Text(h.mQueryAligned).size(), 101u);
    EXPECT_EQ(Text(h.mSourceAligned).size(), 101u);
    EXPECT_EQ(Text(h.mQueryAligned).substr(0, 8), "ACGTCTCC");
    EXPECT_EQ(Text(h.mSourceAligned).substr(95), "TTTTCT");
    EXPECT_EQ(cm.mHits[1].mScore, 253);
  }
  // Reports without alignments: the first match line opens a hit and every
  // later line is read as its blocks.
  struct Case {
    const char* file;
    size_t hits;
    int score;
    bool reverse;
  } cases[] = {
      {"/bioperl/test_project.screen.out", 1, 36, true},
      {"/bioperl/test_project_to_alu.cross", 0, 0, false},
      {"/bioperl/test_project.fasta", 0, 0, false},
      {"/repeatmasker/hum-1-sine-ml90.out", 1, 273, false},
      {"/repeatmasker/seq1-2-ml101.out", 1, 9105, false},
      {"/repeatmasker/small-1.fa.cat", 1, 986, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    CMParse cm;
    cm.Parse(std::string(REALDATA_DIR) + c.file);
    ASSERT_EQ(cm.mHits.size(), c.hits);
    if (c.hits == 0) continue;
    EXPECT_EQ(cm.mHits[0].mScore, c.score);
    EXPECT_EQ(cm.mHits[0].mIsReverse, c.reverse);
  }
}
