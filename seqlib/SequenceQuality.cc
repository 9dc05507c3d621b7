#include "SequenceQuality.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

inline bool IsPhred20(int value) { return value > 19; }

}  // namespace

void SequenceQuality::Reverse() { std::reverse(mQual.begin(), mQual.end()); }

void SequenceQuality::Concatenate(const SequenceQuality& other) {
  // Resize first, then copy through other's (possibly moved) storage: safe
  // when other is this record.
  const size_t n = other.mQual.size();
  const size_t old = mQual.size();
  mQual.resize(old + n);
  std::copy_n(other.mQual.begin(), n, mQual.begin() + old);
}

void SequenceQuality::Print(std::ostream& os) const {
  os << '>' << mName << ' ' << mDescription << '\n';
  const size_t n = mQual.size();
  for (size_t i = 0; i < n; ++i) {
    os << mQual[i] << ' ';
    if (i != 0 && i % 50 == 0) os << '\n';
  }
  // The last value already ended its line when its index is a non-zero multiple of 50.
  if (n == 0 || n - 1 == 0 || (n - 1) % 50 != 0) os << '\n';
}

void SequenceQuality::Print() const { Print(std::cout); }

int SequenceQuality::CountPhred20() const {
  return static_cast<int>(std::count_if(mQual.begin(), mQual.end(), IsPhred20));
}

int SequenceQuality::FindPhred20(long start) const {
  const long n = static_cast<long>(mQual.size());
  if (start >= 0) {
    for (long i = start; i < n; ++i) {
      if (IsPhred20(mQual[i])) return static_cast<int>(i);
    }
  }
  return static_cast<int>(n - 1);
}

int SequenceQuality::RFindPhred20(long end) const {
  // Indexes past the last value hold nothing: start from the last one.
  const long last = static_cast<long>(mQual.size()) - 1;
  for (long i = std::min(end, last); i >= 0; --i) {
    if (IsPhred20(mQual[i])) return static_cast<int>(i);
  }
  return 0;
}

int SequenceQuality::RFindPhred20() const {
  return RFindPhred20(static_cast<long>(mQual.size()) - 1);
}

void SequenceQuality::Trim(long a, long b) {
  const long n = static_cast<long>(mQual.size());
  if (a >= 0) std::fill(mQual.begin(), mQual.begin() + (a < n ? a + 1 : n), 0);
  if (b >= 0 && b < n) std::fill(mQual.begin() + b, mQual.end(), 0);
}

void SequenceQualityVector::GrowVec() { mQuals.emplace_back(); }

void SequenceQualityVector::AddQuality(const SequenceQuality& q) {
  // Copy before growing: q may be one of our own records.
  SequenceQuality copy(q);
  mQuals.push_back(std::move(copy));
}

void SequenceQualityVector::Print(std::ostream& os) const {
  for (const SequenceQuality& q : mQuals) q.Print(os);
}

int SequenceQualityVector::Phred20Total() const {
  int total = 0;
  for (const SequenceQuality& q : mQuals) total += q.CountPhred20();
  return total;
}

void SequenceQualityVector::Phred20Stats(float& mean, float& var) const {
  const double n = static_cast<double>(mQuals.size());
  std::vector<float> counts;
  counts.reserve(mQuals.size());
  double sum = 0;
  for (const SequenceQuality& q : mQuals) {
    const float k = static_cast<float>(q.CountPhred20());
    counts.push_back(k);
    sum += static_cast<double>(k);
  }
  mean = static_cast<float>(sum / n);
  double squares = 0;
  for (float k : counts) {
    const float d = k - mean;
    squares += std::pow(static_cast<double>(d), 2.0);
  }
  var = static_cast<float>((1.0 / (n - 1.0)) * squares);
}
