// Parsing of cross_match reports (alignments shown) and the best-hit filter.
#ifndef PILEOGRAPH_CMPARSE_H
#define PILEOGRAPH_CMPARSE_H

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "Sequence.h"

class LineReader;

// One hit. Positions are 0-based; after CMParse::NormalizeToAlignment
// mSourceStart is the first contig base of the alignment on both strands.
class CMHit {
 public:
  Sequence mSourceAligned;  // contig side of the alignment text, pads included
  Sequence mQueryAligned;   // read side; its mName is the read name
  int mScore = 0;
  float mSubstitutions = 0;
  float mDeletions = 0;
  float mInsertions = 0;
  std::string mVName;  // read name
  int mQueryStart = 0;
  int mQueryEnd = 0;
  bool mIsReverse = false;
  std::string mSourceName;
  int mSourceStart = 0;
  int mSourceEnd = 0;
  bool mHasStar = false;
};

class CMParse {
 public:
  std::vector<CMHit> mHits;  // report order; index = read index after filtering
  std::string mTag = "ZUQ";
  int mOptionA = 0;
  int mOptionB = 14;

  // Appends the hits of the report file; a file that cannot be opened or
  // read whole adds none.
  void Parse(std::string path);
  // The same; false, with the errno of the failed open or read, when it adds none for that.
  bool Parse(const std::string& path, int& error);
  bool Parse(LineReader& lines, int& error);
  // Appends the hits of the stream, read to its end or first failure.
  void Parse(std::istream& in);
  // Fills the scalar fields and names of `hit` from a match line.
  void ParseStatsFromLine(const std::string& line, CMHit& hit);
  // True when the first "(...)" of the line holds only digits.
  bool MatchLine(std::string line);
  // Swaps mSourceStart and mSourceEnd of every reverse hit.
  void NormalizeToAlignment();
  // The same for the hits from index `first` on (those a later Parse added).
  void NormalizeToAlignment(size_t first);
  // Keeps, per read name, every hit with that read's highest score.
  void RemoveAllButBestMatches();
};

#endif
