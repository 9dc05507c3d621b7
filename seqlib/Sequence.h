// Named sequences with padded/depadded coordinate maps, base rules, editing,
// search and statistics; ordered collections of them.
//
// Padded positions are 0-based indexes into mSeq (pads included); contig
// coordinates are 1-based numbers of bases. The pad characters are '-' and '*'.
#ifndef PILEOGRAPH_SEQUENCE_H
#define PILEOGRAPH_SEQUENCE_H

#include <ostream>
#include <string>
#include <vector>

class Sequence {
 public:
  std::vector<char> mSeq;             // characters as supplied, case kept
  std::vector<int> mDepadded2Padded;  // cell k: padded position of base k; cell 0 is 0
  std::vector<int> mPadded2Depadded;  // cell i: number of bases in positions 0..i
  std::string mDescription;
  std::string mName;

  // Coordinate maps. mPadded2Depadded is rebuilt whenever its length differs
  // from mSeq's; mDepadded2Padded is built by the first query only.
  void ComputePadded2Depadded();
  void ComputeDepadded2Padded();
  int Padded2Depadded(int i);  // padded position -> contig coordinate
  int Depadded2Padded(int k);  // contig coordinate -> padded position

  // Building and extending mSeq (name, description and caches untouched).
  void InitFromString(std::string& s);  // strips white space from s, appends the rest
  void InitFromCString(const char* s);  // replaces mSeq
  void InitFromCString(char* s);
  void ConcatenateCString(const char* s);
  void ConcatenateString(const std::string& s);
  void Concatenate(const Sequence& other);
  void ConcatenateNonWhiteSpace(const std::string& s);
  void ConcatenateStringSafe(const std::string& s);  // non-bases become code 0

  void CopyToString(std::string& s) const;  // appends
  void CopyToCString(char* buf) const;      // buf needs length + 1 bytes

  void Print(std::ostream& os) const;     // "name description" line, then characters
  void PrintSeq(std::ostream& os) const;  // characters, then "\n"

  // Character rules.
  static bool IsBase(char c);    // A C G T a c g t
  static bool IsBaseNX(char c);  // also N X n x
  static char ComplementBase(char c);

  bool OnlyUpperCaseBases() const;
  bool OnlyUpperCaseBases(int start, int count) const;
  bool ContainsOnlyBasesSafe() const;
  bool ContainsOnlyBasesSafe(int start, int count) const;
  bool ContainsNonBaseSafe(int start, int count) const;

  // Editing in place.
  void ToLowerCase();
  void ToUpperCase();
  void Complement();
  void Reverse();
  void ReverseComplement();
  void Nify();
  void Trim(long a, long b);  // masks 0..a and b..end with 'X'

  // Search.
  int Find(std::vector<char>::const_iterator first, std::vector<char>::const_iterator last) const;
  int Find(const Sequence& pattern) const;
  int FindEndOf(Sequence tag, bool& reversed);
  void FindEndOfTag(Sequence& tag, int s, int e, long& pos, bool& reversed);

  // Inclusive 0-based range, clamped; out gets "[start,end]" after the description.
  void GetSubSequence(Sequence& out, long start, long end) const;

  void ComputeGCStats(int& length, int& gc, int& cpg);  // lower-cases this sequence
};

// True when a > b: sorts descending.
bool lt_myint(int a, int b);

class SequenceVector {
 public:
  std::vector<Sequence> mSeqs;
  std::string mLabel;

  void GrowVec();  // appends an empty record described "Empty"
  void AddSequence(const Sequence& s);
  void AddSubSequence(const Sequence& s, long start, long end);
  void Print(std::ostream& os) const;
  void FindEndOf(const Sequence& tag, int& idx, long& pos, bool& rc);
  int TotalBases() const;
  int MaxSize() const;
  void GetSortedSizes(std::vector<int>& sizes) const;
  int N50() const;
  void SizeStats(float& mean, float& var) const;
};

#endif
