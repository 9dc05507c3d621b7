#include "Sequence.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ParseUtils.h"

namespace {

inline bool IsPad(char c) { return c == '*' || c == '-'; }

// Wrapping int arithmetic for coordinates extrapolated outside a sequence,
// so extreme arguments never overflow a signed int.
inline int WrapAdd(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

inline char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

inline char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

inline bool PassesUpperCaseRule(char c) { return (static_cast<unsigned char>(c) & 0x28) == 0; }

// Intersects positions start .. start + count - 1 with the sequence; false
// when nothing of it lies inside.
bool ClampRange(size_t length, int start, int count, size_t& from, size_t& to) {
  if (count <= 0) return false;
  long long lo = start;
  long long hi = static_cast<long long>(start) + count;
  if (lo < 0) lo = 0;
  if (hi > static_cast<long long>(length)) hi = static_cast<long long>(length);
  if (lo >= hi) return false;
  from = static_cast<size_t>(lo);
  to = static_cast<size_t>(hi);
  return true;
}

std::string RangeLabel(long start, long end) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "[%ld,%ld]", start, end);
  return buf;
}

}  // namespace

// ---------------------------------------------------------------------------
// Coordinate maps

void Sequence::ComputePadded2Depadded() {
  const size_t n = mSeq.size();
  mPadded2Depadded.resize(n);
  int count = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!IsPad(mSeq[i])) ++count;
    mPadded2Depadded[i] = count;
  }
}

void Sequence::ComputeDepadded2Padded() {
  if (mPadded2Depadded.size() != mSeq.size()) ComputePadded2Depadded();
  if (mPadded2Depadded.empty()) {
    // No character: nothing to map; queries extrapolate on their own.
    mDepadded2Padded.clear();
    return;
  }
  const int bases = std::max(mPadded2Depadded.back(), 0);
  mDepadded2Padded.assign(static_cast<size_t>(bases) + 1, 0);
  const int cells = bases + 1;
  int previous = -1;
  const size_t n = mPadded2Depadded.size();
  for (size_t i = 0; i < n; ++i) {
    const int v = mPadded2Depadded[i];
    if (v != previous && v >= 0 && v < cells) mDepadded2Padded[v] = static_cast<int>(i);
    previous = v;
  }
}

int Sequence::Padded2Depadded(int i) {
  if (mPadded2Depadded.size() != mSeq.size()) ComputePadded2Depadded();
  if (i < 0) return i + 1;
  const int n = static_cast<int>(mPadded2Depadded.size());
  if (i < n) return mPadded2Depadded[i];
  if (n == 0) return WrapAdd(i, 1);
  return WrapAdd(mPadded2Depadded[n - 1], i - (n - 1));
}

int Sequence::Depadded2Padded(int k) {
  if (mDepadded2Padded.empty()) {
    ComputeDepadded2Padded();
    if (mDepadded2Padded.empty()) return WrapAdd(k, -1);
  }
  if (k < 1) return WrapAdd(k, -1);
  const int last = static_cast<int>(mDepadded2Padded.size()) - 1;
  if (k < last) return mDepadded2Padded[k];
  return WrapAdd(mDepadded2Padded[last], k - last);
}

// ---------------------------------------------------------------------------
// Building and extending

void Sequence::InitFromString(std::string& s) {
  StripWhiteSpace(s);
  mSeq.insert(mSeq.end(), s.begin(), s.end());
}

void Sequence::InitFromCString(const char* s) {
  if (s == nullptr) {
    mSeq.clear();
    return;
  }
  mSeq.assign(s, s + std::strlen(s));
}

void Sequence::InitFromCString(char* s) { InitFromCString(static_cast<const char*>(s)); }

void Sequence::ConcatenateCString(const char* s) {
  if (s == nullptr) return;
  const size_t n = std::strlen(s);
  const size_t old = mSeq.size();
  mSeq.resize(old + n);
  if (n > 0) std::memcpy(mSeq.data() + old, s, n);
}

void Sequence::ConcatenateString(const std::string& s) {
  const size_t n = s.size();
  const size_t old = mSeq.size();
  mSeq.resize(old + n);
  if (n > 0) std::memcpy(mSeq.data() + old, s.data(), n);
}

void Sequence::Concatenate(const Sequence& other) {
  const size_t n = other.mSeq.size();  // taken before growing: self-append doubles
  const size_t old = mSeq.size();
  mSeq.resize(old + n);
  // The source pointer is read after the resize, which may have moved it.
  if (n > 0) std::memcpy(mSeq.data() + old, other.mSeq.data(), n);
}

void Sequence::ConcatenateNonWhiteSpace(const std::string& s) {
  const size_t old = mSeq.size();
  mSeq.resize(old + s.size());
  size_t out = old;
  for (char c : s) {
    if (c != ' ' && c != '\n' && c != '\t') mSeq[out++] = c;
  }
  mSeq.resize(out);
}

void Sequence::ConcatenateStringSafe(const std::string& s) {
  const size_t old = mSeq.size();
  mSeq.resize(old + s.size(), '\0');
  for (size_t j = 0; j < s.size(); ++j) {
    if (IsBase(s[j])) mSeq[old + j] = s[j];
  }
}

// ---------------------------------------------------------------------------
// Exporting and printing

void Sequence::CopyToString(std::string& s) const { s.append(mSeq.begin(), mSeq.end()); }

void Sequence::CopyToCString(char* buf) const {
  if (buf == nullptr) return;
  if (!mSeq.empty()) std::memcpy(buf, mSeq.data(), mSeq.size());
  buf[mSeq.size()] = '\0';
}

void Sequence::Print(std::ostream& os) const {
  os << mName << ' ' << mDescription << std::endl;
  PrintSeq(os);
}

void Sequence::PrintSeq(std::ostream& os) const {
  os.write(mSeq.data(), static_cast<std::streamsize>(mSeq.size()));
  os << "\n";
}

// ---------------------------------------------------------------------------
// Character rules and tests

bool Sequence::IsBase(char c) {
  switch (c) {
    case 'A': case 'C': case 'G': case 'T':
    case 'a': case 'c': case 'g': case 't':
      return true;
    default:
      return false;
  }
}

bool Sequence::IsBaseNX(char c) {
  switch (c) {
    case 'A': case 'C': case 'G': case 'N': case 'T': case 'X':
    case 'a': case 'c': case 'g': case 'n': case 't': case 'x':
      return true;
    default:
      return false;
  }
}

char Sequence::ComplementBase(char c) {
  switch (c) {
    case 'A': return 'T';
    case 'C': return 'G';
    case 'G': return 'C';
    case 'T': return 'A';
    case 'a': return 't';
    case 'c': return 'g';
    case 'g': return 'c';
    case 't': return 'a';
    default: return c;
  }
}

bool Sequence::OnlyUpperCaseBases() const {
  return std::all_of(mSeq.begin(), mSeq.end(), PassesUpperCaseRule);
}

bool Sequence::OnlyUpperCaseBases(int start, int count) const {
  size_t from = 0, to = 0;
  if (!ClampRange(mSeq.size(), start, count, from, to)) return true;
  return std::all_of(mSeq.begin() + from, mSeq.begin() + to, PassesUpperCaseRule);
}

bool Sequence::ContainsOnlyBasesSafe() const {
  return std::all_of(mSeq.begin(), mSeq.end(), IsBase);
}

bool Sequence::ContainsOnlyBasesSafe(int start, int count) const {
  size_t from = 0, to = 0;
  if (!ClampRange(mSeq.size(), start, count, from, to)) return true;
  return std::all_of(mSeq.begin() + from, mSeq.begin() + to, IsBase);
}

bool Sequence::ContainsNonBaseSafe(int start, int count) const {
  size_t from = 0, to = 0;
  if (!ClampRange(mSeq.size(), start, count, from, to)) return false;
  return !std::all_of(mSeq.begin() + from, mSeq.begin() + to, IsBase);
}

// ---------------------------------------------------------------------------
// Editing

void Sequence::ToLowerCase() {
  for (char& c : mSeq) c = Lower(c);
}

void Sequence::ToUpperCase() {
  for (char& c : mSeq) c = Upper(c);
}

void Sequence::Complement() {
  for (char& c : mSeq) c = ComplementBase(c);
}

void Sequence::Reverse() { std::reverse(mSeq.begin(), mSeq.end()); }

void Sequence::ReverseComplement() {
  Reverse();
  Complement();
}

void Sequence::Nify() {
  for (char& c : mSeq) {
    if (!IsBase(c)) c = 'n';
  }
}

void Sequence::Trim(long a, long b) {
  const long length = static_cast<long>(mSeq.size());
  if (a >= 0) {
    const long last = std::min(a, length - 1);
    for (long i = 0; i <= last; ++i) mSeq[i] = 'X';
  }
  if (b >= 0) {
    for (long i = b; i < length; ++i) mSeq[i] = 'X';
  }
}

// ---------------------------------------------------------------------------
// Search

int Sequence::Find(std::vector<char>::const_iterator first,
                   std::vector<char>::const_iterator last) const {
  if (mSeq.empty()) return -1;
  auto it = std::search(mSeq.begin(), mSeq.end(), first, last);
  if (it == mSeq.end()) return -1;  // an empty pattern matches at begin()
  return static_cast<int>(it - mSeq.begin());
}

int Sequence::Find(const Sequence& pattern) const {
  return Find(pattern.mSeq.cbegin(), pattern.mSeq.cend());
}

int Sequence::FindEndOf(Sequence tag, bool& reversed) {
  tag.ToLowerCase();
  ToLowerCase();
  const int length = static_cast<int>(tag.mSeq.size());
  const int i = Find(tag);
  if (i >= 0) {
    reversed = false;
    const int r = i + length - 1;
    if (r >= 0) return r;
  }
  tag.ReverseComplement();
  const int j = Find(tag);
  if (j < 0) return -1;
  reversed = true;
  return j + length - 1;
}

void Sequence::FindEndOfTag(Sequence& tag, int s, int e, long& pos, bool& reversed) {
  reversed = false;
  const int length = static_cast<int>(tag.mSeq.size());
  if (s > length || e > length) return;
  // A window reaching before the tag starts at its first character; an end
  // before the start leaves an empty window.
  if (s < 0) s = 0;
  if (e < s) e = s;

  tag.ToLowerCase();
  ToLowerCase();

  pos = Find(tag.mSeq.cbegin() + s, tag.mSeq.cbegin() + e);
  if (pos >= 0) {
    pos += e - s;
    return;
  }
  // Same window on the other strand: its mirror image in the reverse complement.
  tag.ReverseComplement();
  pos = Find(tag.mSeq.cbegin() + (length - e), tag.mSeq.cbegin() + (length - s));
  reversed = true;
  tag.ReverseComplement();
}

// ---------------------------------------------------------------------------
// Sub-sequence and statistics

void Sequence::GetSubSequence(Sequence& out, long start, long end) const {
  const long length = static_cast<long>(mSeq.size());
  if (end < 0) {
    out.mSeq.clear();
    return;
  }
  if (start < 0) start = 0;
  if (end >= length) end = length - 1;
  if (end - start + 1 <= 0) {
    out.mSeq.clear();
    return;
  }
  std::string description = mDescription + RangeLabel(start, end);
  if (&out == this) {
    out.mSeq.erase(out.mSeq.begin() + end + 1, out.mSeq.end());
    out.mSeq.erase(out.mSeq.begin(), out.mSeq.begin() + start);
  } else {
    out.mSeq.assign(mSeq.begin() + start, mSeq.begin() + end + 1);
  }
  out.mDescription = std::move(description);
  if (&out != this) out.mName = mName;
}

void Sequence::ComputeGCStats(int& length, int& gc, int& cpg) {
  const size_t n = mSeq.size();
  length = static_cast<int>(n);
  gc = 0;
  cpg = 0;
  ToLowerCase();
  for (size_t i = 0; i < n; ++i) {
    const char c = mSeq[i];
    if (c == 'c' || c == 'g') ++gc;
    if (c == 'c' && i + 1 < n && mSeq[i + 1] == 'g') ++cpg;
  }
}

// ---------------------------------------------------------------------------
// Collections

bool lt_myint(int a, int b) { return a > b; }

void SequenceVector::GrowVec() {
  mSeqs.emplace_back();
  mSeqs.back().mDescription = "Empty";
}

// The new record is completed before it joins the list, so a source that is
// itself one of the records stays valid while it is read.
void SequenceVector::AddSequence(const Sequence& s) {
  Sequence record;
  record.mSeq = s.mSeq;
  record.mDescription = s.mDescription;
  record.mName = s.mName;
  mSeqs.push_back(std::move(record));
}

void SequenceVector::AddSubSequence(const Sequence& s, long start, long end) {
  Sequence record;
  s.GetSubSequence(record, start, end);
  record.mDescription = s.mDescription + RangeLabel(start, end);
  record.mName = s.mName;
  mSeqs.push_back(std::move(record));
}

void SequenceVector::Print(std::ostream& os) const {
  for (const Sequence& record : mSeqs) {
    os << record.mName << ' ' << record.mDescription << std::endl;
    record.Print(os);
  }
}

void SequenceVector::FindEndOf(const Sequence& tag, int& idx, long& pos, bool& rc) {
  const int n = static_cast<int>(mSeqs.size());
  idx = -1;
  pos = -1;
  for (int i = 0; i < n; ++i) {
    idx = i;
    pos = mSeqs[i].FindEndOf(tag, rc);
    if (pos >= 0) return;
  }
}

int SequenceVector::TotalBases() const {
  unsigned total = 0;  // 32-bit, wraps like the int it is reported as
  for (const Sequence& record : mSeqs) total += static_cast<unsigned>(record.mSeq.size());
  return static_cast<int>(total);
}

int SequenceVector::MaxSize() const {
  int best = 0;
  for (const Sequence& record : mSeqs) {
    best = std::max(best, static_cast<int>(record.mSeq.size()));
  }
  return best;
}

void SequenceVector::GetSortedSizes(std::vector<int>& sizes) const {
  sizes.reserve(sizes.size() + mSeqs.size());
  for (const Sequence& record : mSeqs) sizes.push_back(static_cast<int>(record.mSeq.size()));
  std::sort(sizes.begin(), sizes.end(), lt_myint);
}

int SequenceVector::N50() const {
  std::vector<int> sizes;
  GetSortedSizes(sizes);
  const float total = static_cast<float>(TotalBases());
  const int half = static_cast<int>(total * 0.5f);
  unsigned sum = 0;
  for (int size : sizes) {
    sum += static_cast<unsigned>(size);
    if (static_cast<int>(sum) >= half) return size;
  }
  return 0;
}

void SequenceVector::SizeStats(float& mean, float& var) const {
  const double n = static_cast<double>(mSeqs.size());
  double sum = 0.0;
  for (const Sequence& record : mSeqs) sum += static_cast<double>(record.mSeq.size());
  mean = static_cast<float>(sum / n);
  const double stored = static_cast<double>(mean);
  double squares = 0.0;
  for (const Sequence& record : mSeqs) {
    const double d = static_cast<double>(record.mSeq.size()) - stored;
    squares += std::pow(d, 2.0);
  }
  var = static_cast<float>((1.0 / (n - 1.0)) * squares);
}
