#include "Sequence.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

#include <climits>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct MapCase {
  int arg;
  int expected;
};

// ---------------------------------------------------------------------------
// Coordinate maps

TEST(SequenceMaps, WorkedExampleBothDirections) {
  Sequence s = MakeSequence("AC-GT*A");
  const MapCase padded[] = {{-3, -2}, {-1, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3},
                            {4, 4},   {5, 4},  {6, 5}, {7, 6}, {10, 9}};
  for (const MapCase& c : padded) EXPECT_EQ(s.Padded2Depadded(c.arg), c.expected) << "i=" << c.arg;
  EXPECT_EQ(s.mPadded2Depadded, (std::vector<int>{1, 2, 2, 3, 4, 4, 5}));

  const MapCase depadded[] = {{-1, -2}, {0, -1}, {1, 0}, {2, 1}, {3, 3},
                              {4, 4},   {5, 6},  {6, 7}, {9, 10}};
  for (const MapCase& c : depadded) EXPECT_EQ(s.Depadded2Padded(c.arg), c.expected) << "k=" << c.arg;
  EXPECT_EQ(s.mDepadded2Padded, (std::vector<int>{0, 0, 1, 3, 4, 6}));
}

TEST(SequenceMaps, LeadingTrailingAndAllPads) {
  Sequence leading = MakeSequence("-*AC");
  EXPECT_EQ(leading.Depadded2Padded(1), 2);
  EXPECT_EQ(leading.mPadded2Depadded, (std::vector<int>{0, 0, 1, 2}));
  EXPECT_EQ(leading.mDepadded2Padded, (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(leading.Padded2Depadded(0), 0);
  EXPECT_EQ(leading.Padded2Depadded(1), 0);
  EXPECT_EQ(leading.Depadded2Padded(2), 3);
  EXPECT_EQ(leading.Depadded2Padded(3), 4);
  EXPECT_EQ(leading.Depadded2Padded(0), -1);

  Sequence trailing = MakeSequence("AC--");
  EXPECT_EQ(trailing.Depadded2Padded(3), 2);
  EXPECT_EQ(trailing.mDepadded2Padded, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(trailing.Padded2Depadded(4), 3);

  Sequence pads = MakeSequence("--");
  EXPECT_EQ(pads.Padded2Depadded(2), 1);
  EXPECT_EQ(pads.mPadded2Depadded, (std::vector<int>{0, 0}));
  for (int k = 1; k < 5; ++k) EXPECT_EQ(pads.Depadded2Padded(k), k);
  EXPECT_EQ(pads.mDepadded2Padded, (std::vector<int>{0}));
}

TEST(SequenceMaps, EmptySequenceExtrapolatesWithoutCaches) {
  Sequence s;
  const MapCase padded[] = {{-2, -1}, {-1, 0}, {0, 1}, {5, 6}};
  for (const MapCase& c : padded) EXPECT_EQ(s.Padded2Depadded(c.arg), c.expected) << "i=" << c.arg;
  const MapCase depadded[] = {{-1, -2}, {0, -1}, {1, 0}, {6, 5}};
  for (const MapCase& c : depadded) EXPECT_EQ(s.Depadded2Padded(c.arg), c.expected) << "k=" << c.arg;
  s.ComputeDepadded2Padded();
  EXPECT_TRUE(s.mPadded2Depadded.empty());
  EXPECT_TRUE(s.mDepadded2Padded.empty());

  // Nothing was built, so the first query after growing builds the map.
  s.InitFromCString("A-C");
  EXPECT_EQ(s.Depadded2Padded(2), 2);
  EXPECT_EQ(s.Padded2Depadded(2), 2);
}

TEST(SequenceMaps, ExtremeArgumentsStayDefined) {
  Sequence s = MakeSequence("AC"), empty;
  EXPECT_EQ(s.Padded2Depadded(INT_MIN), INT_MIN + 1);
  EXPECT_EQ(s.Padded2Depadded(INT_MAX - 1), INT_MAX);
  EXPECT_EQ(s.Depadded2Padded(INT_MAX), INT_MAX - 1);
  EXPECT_EQ(s.Depadded2Padded(INT_MIN + 1), INT_MIN);
  // These wrap rather than overflow (checked by the sanitizer build).
  for (Sequence* q : {&s, &empty}) {
    q->Padded2Depadded(INT_MAX);
    q->Depadded2Padded(INT_MIN);
  }
}

TEST(SequenceMaps, CacheRules) {
  // A built contig-to-position map is kept although the characters grew.
  Sequence s = MakeSequence("AC");
  EXPECT_EQ(s.Depadded2Padded(1), 0);
  EXPECT_EQ(s.mDepadded2Padded, (std::vector<int>{0, 0, 1}));
  s.ConcatenateString("-G");
  EXPECT_EQ(s.Depadded2Padded(3), 2);  // old map: last base 2 at 1, plus one
  EXPECT_EQ(s.Padded2Depadded(3), 3);  // lengths differ: rebuilt
  s.ComputeDepadded2Padded();
  EXPECT_EQ(s.Depadded2Padded(3), 3);

  // Equal length counts as current.
  Sequence t = MakeSequence("A-C");
  EXPECT_EQ(t.Padded2Depadded(2), 2);
  t.mSeq[1] = 'G';
  EXPECT_EQ(t.Padded2Depadded(2), 2);
  t.ComputePadded2Depadded();
  EXPECT_EQ(t.Padded2Depadded(2), 3);

  // Assignment replaces both caches.
  Sequence u = MakeSequence("-A");
  EXPECT_EQ(u.Depadded2Padded(1), 1);
  u = MakeSequence("AAA");
  EXPECT_TRUE(u.mDepadded2Padded.empty());
  EXPECT_EQ(u.Depadded2Padded(1), 0);
}

TEST(SequenceMaps, CopiesCarryCaches) {
  Sequence built = MakeSequence("A-C"), fresh = MakeSequence("A-C"), assigned;
  built.Depadded2Padded(1);
  const Sequence copy(built), freshCopy(fresh);
  assigned = built;
  EXPECT_EQ(copy.mPadded2Depadded, (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(assigned.mDepadded2Padded, (std::vector<int>{0, 0, 2}));
  EXPECT_TRUE(freshCopy.mPadded2Depadded.empty() && freshCopy.mDepadded2Padded.empty());
}

// ---------------------------------------------------------------------------
// Building, exporting, printing

TEST(SequenceBuild, InitConcatenateAndExport) {
  Sequence s = MakeSequence("TT", "n", "d");
  s.Depadded2Padded(1);
  std::string text = "A C\nG";
  s.InitFromString(text);
  EXPECT_EQ(Chars(s), "TTACG");
  EXPECT_EQ(text, "ACG");
  // Names, descriptions and caches are left alone.
  EXPECT_EQ(s.mName + s.mDescription, "nd");
  EXPECT_EQ(s.mDepadded2Padded, (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(s.mPadded2Depadded, (std::vector<int>{1, 2}));

  s.InitFromCString("ACG");
  EXPECT_EQ(Chars(s), "ACG");
  char writable[] = "";
  s.InitFromCString(writable);
  EXPECT_TRUE(s.mSeq.empty());
  s.ConcatenateCString("a c");
  s.ConcatenateString(" -*\t");
  EXPECT_EQ(Chars(s), "a c -*\t");

  Sequence self = MakeSequence("AC"), other = MakeSequence("gg");
  self.Concatenate(self);
  self.Concatenate(other);
  EXPECT_EQ(Chars(self), "ACACgg");

  std::string out = "x";
  self.CopyToString(out);
  EXPECT_EQ(out, "xACACgg");
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  self.CopyToCString(buf);
  EXPECT_EQ(std::string(buf, 8), std::string("ACACgg\0#", 8));
}

TEST(SequenceBuild, ConcatenateNonWhiteSpaceKeepsEveryOtherCharacter) {
  struct Case {
    std::string before, text, after;
  } cases[] = {
      {"", " a\tb\nc ", "abc"},
      {"", "", ""},
      {"", " \t\n", ""},
      {"AC", "  ", "AC"},
      {"AC", "G", "ACG"},
      {"x", "\r-*\r", "x\r-*\r"},
  };
  for (const Case& c : cases) {
    Sequence s = MakeSequence(c.before);
    s.ConcatenateNonWhiteSpace(c.text);
    EXPECT_EQ(Chars(s), c.after) << "before=" << c.before;
  }
}

TEST(SequenceBuild, ConcatenateStringSafeZeroesNonBases) {
  Sequence s;
  s.ConcatenateStringSafe("AxG");
  EXPECT_EQ(Chars(s), std::string("A\0G", 3));
  s.ConcatenateStringSafe("tN-c");
  EXPECT_EQ(Chars(s), std::string("A\0Gt\0\0c", 7));
}

TEST(SequenceBuild, PrintFormats) {
  struct Case {
    Sequence s;
    std::string print, printSeq;
  } cases[] = {
      {MakeSequence("AC-GT*A", "r1", "len=7"), "r1 len=7\nAC-GT*A\n", "AC-GT*A\n"},
      {MakeSequence("", "", ""), " \n\n", "\n"},
      {MakeSequence("a c", "n", ""), "n \na c\n", "a c\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream print, printSeq;
    c.s.Print(print);
    c.s.PrintSeq(printSeq);
    EXPECT_EQ(print.str(), c.print);
    EXPECT_EQ(printSeq.str(), c.printSeq);
  }
}

// ---------------------------------------------------------------------------
// Base rules

TEST(SequenceRules, CharacterTables) {
  std::string bases, basesNX, changed;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (Sequence::IsBase(c)) bases += c;
    if (Sequence::IsBaseNX(c)) basesNX += c;
    if (Sequence::ComplementBase(c) != c) changed += c;
  }
  EXPECT_EQ(bases, "ACGTacgt");
  EXPECT_EQ(basesNX, "ACGNTXacgntx");
  EXPECT_EQ(changed, "ACGTacgt");  // what each turns into: Complement below

  std::string printablePassing;
  for (int b = 0x20; b < 0x7f; ++b) {
    if (MakeSequence(std::string(1, static_cast<char>(b))).OnlyUpperCaseBases()) printablePassing += static_cast<char>(b);
  }
  EXPECT_EQ(printablePassing, "@ABCDEFGPQRSTUVW");
}

TEST(SequenceRules, WholeAndRangeTests) {
  for (const char* yes : {"ACGT", "@ABCDEFGPQRSTUVW", "", "\x01\x87\xD7"}) EXPECT_TRUE(MakeSequence(yes).OnlyUpperCaseBases());
  for (const char* no : {"ACGTN", "acgt", "AC-GT"}) EXPECT_FALSE(MakeSequence(no).OnlyUpperCaseBases());
  EXPECT_TRUE(MakeSequence("").ContainsOnlyBasesSafe() && MakeSequence("ACgt").ContainsOnlyBasesSafe());
  EXPECT_FALSE(MakeSequence("ACNT").ContainsOnlyBasesSafe());

  struct Case {
    std::string chars;
    int start, count;
    bool upper, onlyBases, nonBase;
  } cases[] = {
      {"xxACGTxx", 2, 4, true, true, false},
      {"xxACGTxx", 2, 5, false, false, true},
      {"xxACGTxx", 0, 0, true, true, false},
      {"aN", 0, 2, false, false, true},
      {"aN", 0, 1, false, true, false},
      // Ranges reaching outside the sequence are cut to it.
      {"ACxx", -3, 5, true, true, false},
      {"xxAC", 2, 100, true, true, false},
      {"xxAC", 1, INT_MAX, false, false, true},
      {"AC", -9, 3, true, true, false},
      {"", 0, 4, true, true, false},
  };
  for (const Case& c : cases) {
    const Sequence s = MakeSequence(c.chars);
    SCOPED_TRACE(c.chars + " " + std::to_string(c.start) + " " + std::to_string(c.count));
    EXPECT_EQ(s.OnlyUpperCaseBases(c.start, c.count), c.upper);
    EXPECT_EQ(s.ContainsOnlyBasesSafe(c.start, c.count), c.onlyBases);
    EXPECT_EQ(s.ContainsNonBaseSafe(c.start, c.count), c.nonBase);
  }
}

TEST(SequenceEdit, InPlaceEdits) {
  Sequence s = MakeSequence("AcG-n");
  s.ReverseComplement();
  EXPECT_EQ(Chars(s), "n-CgT");
  s = MakeSequence("AcN-x*");
  s.Nify();
  EXPECT_EQ(Chars(s), "Acnnnn");
  s = MakeSequence("aZ-9\xE9");
  s.ToUpperCase();
  EXPECT_EQ(Chars(s), "AZ-9\xE9");
  s.ToLowerCase();
  EXPECT_EQ(Chars(s), "az-9\xE9");
  s = MakeSequence("ACGTacgtN*");
  s.Complement();
  EXPECT_EQ(Chars(s), "TGCAtgcaN*");
  s.Reverse();
  EXPECT_EQ(Chars(s), "*NacgtACGT");

  // Same-length edits keep a built map as it was.
  Sequence t = MakeSequence("A-C");
  t.Padded2Depadded(0);
  t.Nify();
  EXPECT_EQ(t.mPadded2Depadded, (std::vector<int>{1, 1, 2}));
}

TEST(SequenceEdit, Trim) {
  struct Case {
    long a, b;
    std::string after;
  } cases[] = {
      {1, 8, "XXGTACGTXX"},  {-1, -1, "ACGTACGTAC"}, {-1, 0, "XXXXXXXXXX"},
      {0, 10, "XCGTACGTAC"}, {-5, 9, "ACGTACGTAX"},  {9, 100, "XXXXXXXXXX"},
      {10, -1, "XXXXXXXXXX"}, {1000, 5, "XXXXXXXXXX"}, {4, 2, "XXXXXXXXXX"},
  };
  for (const Case& c : cases) {
    Sequence s = MakeSequence("ACGTACGTAC");
    s.Trim(c.a, c.b);
    EXPECT_EQ(Chars(s), c.after) << c.a << "," << c.b;
  }
  Sequence empty;
  empty.Trim(3, 0);
  EXPECT_TRUE(empty.mSeq.empty());
}

// ---------------------------------------------------------------------------
// Search

TEST(SequenceSearch, Find) {
  const Sequence s = MakeSequence("ACGTACGT"), empty;
  const std::pair<const char*, int> cases[] = {
      {"GTA", 2}, {"gta", -1}, {"", 0}, {"CGT", 1}, {"ACGTACGT", 0}, {"ACGTACGTA", -1}};
  for (const auto& c : cases) EXPECT_EQ(s.Find(MakeSequence(c.first)), c.second) << c.first;
  EXPECT_EQ(s.Find(s.mSeq.cbegin() + 5, s.mSeq.cend()), 1);
  EXPECT_EQ(empty.Find(MakeSequence("")), -1);
  EXPECT_EQ(empty.Find(MakeSequence("A")), -1);
}

TEST(SequenceSearch, FindEndOf) {
  struct Case {
    std::string chars, tag;
    bool reversedBefore;
    int result;
    bool reversed;
    std::string charsAfter;
  } cases[] = {
      {"ttACGTaa", "CGT", true, 5, false, "ttacgtaa"},
      {"ttCGTaa", "ACG", false, 4, true, "ttcgtaa"},
      {"ttCGTaa", "GGGG", false, -1, false, "ttcgtaa"},  // not found: flag untouched
      {"ttCGTaa", "GGGG", true, -1, true, "ttcgtaa"},
      {"ACGT", "", false, -1, true, "acgt"},
      {"", "", false, -1, false, ""},
  };
  for (const Case& c : cases) {
    Sequence s = MakeSequence(c.chars);
    const Sequence tag = MakeSequence(c.tag);
    bool reversed = c.reversedBefore;
    EXPECT_EQ(s.FindEndOf(tag, reversed), c.result) << c.chars << " " << c.tag;
    EXPECT_EQ(reversed, c.reversed) << c.chars << " " << c.tag;
    EXPECT_EQ(Chars(s), c.charsAfter);
    EXPECT_EQ(Chars(tag), c.tag);
  }
}

TEST(SequenceSearch, FindEndOfTag) {
  struct Case {
    std::string chars, tag;
    int s, e;
    long pos;
    bool reversed;
    std::string charsAfter, tagAfter;
  } cases[] = {
      // Forward window CGT ends just before position 6.
      {"ttACGTaa", "ACGTT", 1, 4, 6, false, "ttacgtaa", "acgtt"},
      // Window GGA absent; its mirror TCC in the reverse complement starts at 2.
      {"tttccaa", "GGACT", 0, 3, 2, true, "tttccaa", "ggact"},
      {"ttgtcaa", "GGGGG", 1, 4, -1, true, "ttgtcaa", "ggggg"},
      // Window start before the tag is taken from its first character.
      {"xxGGAx", "GGACT", -2, 3, 5, false, "xxggax", "ggact"},
      // End before start: empty window, found at 0.
      {"acgt", "ACGT", 3, 1, 0, false, "acgt", "acgt"},
      {"acgt", "ACGT", 4, 4, 0, false, "acgt", "acgt"},
      {"", "ACGT", 0, 2, -1, true, "", "acgt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chars + " " + c.tag);
    Sequence s = MakeSequence(c.chars);
    Sequence tag = MakeSequence(c.tag);
    long pos = 99;
    bool reversed = !c.reversed;
    s.FindEndOfTag(tag, c.s, c.e, pos, reversed);
    EXPECT_EQ(pos, c.pos);
    EXPECT_EQ(reversed, c.reversed);
    EXPECT_EQ(Chars(s), c.charsAfter);
    EXPECT_EQ(Chars(tag), c.tagAfter);
  }

  // A window beyond the tag returns at once.
  for (int s : {1, 6}) {
    Sequence seq = MakeSequence("ttACGTaa");
    Sequence tag = MakeSequence("ACGTT");
    long pos = 99;
    bool reversed = true;
    seq.FindEndOfTag(tag, s, 6, pos, reversed);
    seq.FindEndOfTag(tag, 6, 2, pos, reversed);
    EXPECT_EQ(pos, 99);
    EXPECT_FALSE(reversed);
    EXPECT_EQ(Chars(seq), "ttACGTaa");
    EXPECT_EQ(Chars(tag), "ACGTT");
  }
}

// ---------------------------------------------------------------------------
// Sub-sequences and statistics

TEST(SequenceSub, GetSubSequence) {
  const Sequence s = MakeSequence("ACGTACGTAC", "r", "d");
  struct Case {
    long start, end;
    std::string chars, description;
  } cases[] = {
      {3, 5, "TAC", "d[3,5]"},    {-5, 100, "ACGTACGTAC", "d[0,9]"},
      {9, 9, "C", "d[9,9]"},      {0, 0, "A", "d[0,0]"},
      {5, 3, "", "old"},          {2, -1, "", "old"},
      {10, 12, "", "old"},
  };
  for (const Case& c : cases) {
    Sequence out = MakeSequence("zzzz", "oldname", "old");
    out.Padded2Depadded(0);
    s.GetSubSequence(out, c.start, c.end);
    EXPECT_EQ(Chars(out), c.chars) << c.start << "," << c.end;
    EXPECT_EQ(out.mDescription, c.description);
    EXPECT_EQ(out.mName, c.chars.empty() ? "oldname" : "r");
    EXPECT_EQ(out.mPadded2Depadded, (std::vector<int>{1, 2, 3, 4}));
  }

  Sequence self = MakeSequence("ACGTACGTAC", "r", "d");
  self.GetSubSequence(self, 2, 4);
  EXPECT_EQ(Chars(self), "GTA");
  EXPECT_EQ(self.mDescription, "d[2,4]");
  EXPECT_EQ(self.mName, "r");
}

TEST(SequenceStats, ComputeGCStats) {
  struct Case {
    std::string chars;
    int length, gc, cpg;
    std::string after;
  } cases[] = {
      {"ACGcgT-", 7, 4, 2, "acgcgt-"},
      {"C", 1, 1, 0, "c"},
      {"", 0, 0, 0, ""},
      {"SNCGxG", 6, 3, 1, "sncgxg"},
      {"GC", 2, 2, 0, "gc"},
  };
  for (const Case& c : cases) {
    Sequence s = MakeSequence(c.chars);
    int length = -1, gc = -1, cpg = -1;
    s.ComputeGCStats(length, gc, cpg);
    EXPECT_EQ(length, c.length) << c.chars;
    EXPECT_EQ(gc, c.gc) << c.chars;
    EXPECT_EQ(cpg, c.cpg) << c.chars;
    EXPECT_EQ(Chars(s), c.after);
  }
}

}  // namespace
