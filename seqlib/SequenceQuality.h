// Per-base quality values of one sequence, and ordered lists of them.
// A value above 19 counts as a Phred-20 base.
#ifndef PILEOGRAPH_SEQUENCEQUALITY_H
#define PILEOGRAPH_SEQUENCEQUALITY_H

#include <ostream>
#include <string>
#include <vector>

class SequenceQuality {
 public:
  std::vector<int> mQual;
  std::string mDescription;
  std::string mName;

  void Reverse();
  void Concatenate(const SequenceQuality& other);
  void Print(std::ostream& os) const;  // header, then 51 values on the first line, 50 after
  void Print() const;                  // on standard output
  int CountPhred20() const;
  int FindPhred20(long start) const;  // first index >= start with value > 19, else n - 1
  int RFindPhred20(long end) const;   // last index <= end with value > 19, else 0
  int RFindPhred20() const;
  void Trim(long a, long b);  // zeroes 0..a and b..end
};

class SequenceQualityVector {
 public:
  std::vector<SequenceQuality> mQuals;

  void GrowVec();
  void AddQuality(const SequenceQuality& q);
  void Print(std::ostream& os) const;
  int Phred20Total() const;
  void Phred20Stats(float& mean, float& var) const;
};

#endif
