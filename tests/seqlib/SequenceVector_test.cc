#include "Sequence.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

SequenceVector WithLengths(const std::vector<int>& lengths) {
  SequenceVector v;
  for (int n : lengths) {
    v.GrowVec();
    v.mSeqs.back().mSeq.assign(static_cast<size_t>(n), 'A');
  }
  return v;
}

TEST(SequenceVectorBuild, GrowAddAndCopy) {
  SequenceVector v;
  v.GrowVec();
  ASSERT_EQ(v.mSeqs.size(), 1u);
  EXPECT_TRUE(v.mSeqs[0].mSeq.empty());
  EXPECT_EQ(v.mSeqs[0].mName, "");
  EXPECT_EQ(v.mSeqs[0].mDescription, "Empty");

  Sequence src = MakeSequence("AC-GT", "r1", "d");
  src.Depadded2Padded(1);
  v.AddSequence(src);
  const Sequence& added = v.mSeqs[1];
  EXPECT_EQ(Chars(added) + added.mName + added.mDescription, "AC-GTr1d");
  EXPECT_TRUE(added.mPadded2Depadded.empty() && added.mDepadded2Padded.empty());

  // A record added from the collection itself, even when the list grows.
  for (int i = 0; i < 20; ++i) v.AddSequence(v.mSeqs[1]);
  EXPECT_EQ(v.mSeqs.size(), 22u);
  EXPECT_EQ(Chars(v.mSeqs.back()), "AC-GT");
  v.AddSubSequence(v.mSeqs[1], 1, 2);
  EXPECT_EQ(Chars(v.mSeqs.back()), "C-");

  v.mLabel = "lab";
  const SequenceVector copy(v);
  EXPECT_EQ(copy.mLabel, "lab");
  EXPECT_EQ(Chars(copy.mSeqs[1]), "AC-GT");
}

TEST(SequenceVectorBuild, AddSubSequence) {
  struct Case {
    std::string chars, description;
    long start, end;
    std::string expectChars, expectDescription;
  } cases[] = {
      {"ACGTACGT", "d", 2, 4, "GTA", "d[2,4]"},
      {"ACGTACGT", "d", -1, -1, "", "d[-1,-1]"},
      {"ACGTACGTAC", "abc", -5, 1000, "ACGTACGTAC", "abc[-5,1000]"},
      {"ACGT", "d", 3, 1, "", "d[3,1]"},
  };
  for (const Case& c : cases) {
    SequenceVector v;
    v.AddSubSequence(MakeSequence(c.chars, "r1", c.description), c.start, c.end);
    ASSERT_EQ(v.mSeqs.size(), 1u);
    EXPECT_EQ(Chars(v.mSeqs[0]), c.expectChars);
    EXPECT_EQ(v.mSeqs[0].mDescription, c.expectDescription);
    EXPECT_EQ(v.mSeqs[0].mName, "r1");
  }
}

TEST(SequenceVectorPrint, ExactText) {
  SequenceVector v;
  std::ostringstream none;
  v.Print(none);
  EXPECT_EQ(none.str(), "");

  v.GrowVec();
  std::ostringstream one;
  v.Print(one);
  EXPECT_EQ(one.str(), " Empty\n Empty\n\n");

  v.AddSequence(MakeSequence("AC-GT*A", "r1", "len=7"));
  std::ostringstream two;
  v.Print(two);
  EXPECT_EQ(two.str(), " Empty\n Empty\n\nr1 len=7\nr1 len=7\nAC-GT*A\n");
}

TEST(SequenceVectorSearch, FindEndOf) {
  SequenceVector v;
  for (const char* chars : {"AAAA", "CCCC", "TTGGATCC", "GGATCC", "TTTT"}) v.AddSequence(MakeSequence(chars));
  const Sequence tag = MakeSequence("GGA");
  int idx = -9;
  long pos = -9;
  bool rc = true;
  v.FindEndOf(tag, idx, pos, rc);
  EXPECT_EQ(idx, 2);
  EXPECT_EQ(pos, 4);
  EXPECT_FALSE(rc);
  EXPECT_EQ(Chars(tag), "GGA");
  std::string all;
  for (const Sequence& s : v.mSeqs) all += Chars(s) + " ";
  EXPECT_EQ(all, "aaaa cccc ttggatcc GGATCC TTTT ");

  // Reverse strand: TCC is the reverse complement of GGA.
  SequenceVector r;
  r.AddSequence(MakeSequence("AATCCA"));
  r.FindEndOf(tag, idx, pos, rc);
  EXPECT_EQ(idx, 0);
  EXPECT_EQ(pos, 4);
  EXPECT_TRUE(rc);

  rc = false;
  v.FindEndOf(MakeSequence("GCGC"), idx, pos, rc);
  EXPECT_EQ(idx, 4);
  EXPECT_EQ(pos, -1);
  EXPECT_FALSE(rc);

  SequenceVector empty;
  idx = 7;
  pos = 7;
  empty.FindEndOf(tag, idx, pos, rc);
  EXPECT_EQ(idx, -1);
  EXPECT_EQ(pos, -1);
}

TEST(SequenceVectorStats, TotalsAndSortedSizes) {
  const SequenceVector empty;
  EXPECT_EQ(empty.TotalBases(), 0);
  EXPECT_EQ(empty.MaxSize(), 0);
  EXPECT_EQ(empty.N50(), 0);

  SequenceVector v = WithLengths({3, 9, 0});
  v.mSeqs[0].mSeq.assign({'-', '*', ' '});
  EXPECT_EQ(v.TotalBases(), 12);
  EXPECT_EQ(v.MaxSize(), 9);
  std::vector<int> sizes = {7, 1};
  v.GetSortedSizes(sizes);
  EXPECT_EQ(sizes, (std::vector<int>{9, 7, 3, 1, 0}));

  EXPECT_TRUE(lt_myint(2, 1));
  EXPECT_FALSE(lt_myint(1, 1));
  EXPECT_FALSE(lt_myint(1, 2));
}

TEST(SequenceVectorStats, N50) {
  struct Case {
    std::vector<int> lengths;
    int n50;
  } cases[] = {
      {{10, 20, 30, 40}, 30}, {{5, 4}, 5}, {{3, 3, 3}, 3}, {{4, 3, 2}, 4},
      {{2, 4, 3}, 4},         {{6, 4, 2}, 6}, {{0, 0}, 0},  {{}, 0},
      {{1}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WithLengths(c.lengths).N50(), c.n50) << c.lengths.size();
  }
  // Total 16,777,219: its single-precision half is 8,388,610, which the
  // first length (8,388,609) does not reach.
  EXPECT_EQ(WithLengths({8388609, 8388608, 2}).N50(), 8388608);
}

TEST(SequenceVectorStats, SizeStats) {
  float mean = 0, var = 0;
  WithLengths({2, 4, 6}).SizeStats(mean, var);
  EXPECT_EQ(mean, 4.0f);
  EXPECT_EQ(var, 4.0f);

  WithLengths({1, 2}).SizeStats(mean, var);
  EXPECT_EQ(mean, 1.5f);
  EXPECT_EQ(var, 0.5f);

  // The stored single-precision mean is what the deviations use.
  WithLengths({0, 0, 1}).SizeStats(mean, var);
  const float m = static_cast<float>(1.0 / 3.0);
  EXPECT_EQ(mean, m);
  const double dm = m;
  EXPECT_EQ(var, static_cast<float>(0.5 * (dm * dm + dm * dm + (1.0 - dm) * (1.0 - dm))));

  WithLengths({5}).SizeStats(mean, var);
  EXPECT_EQ(mean, 5.0f);
  EXPECT_TRUE(std::isnan(var));

  SequenceVector().SizeStats(mean, var);
  EXPECT_TRUE(std::isnan(mean));
  EXPECT_EQ(var, 0.0f);
  EXPECT_TRUE(std::signbit(var));
}

}  // namespace
