// The report parser followed by the whole merge, printed windows and the
// queries, with the layout's invariants checked.
// Input: the first line is the contig's characters, the rest is the report.
#include <climits>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzTempFile.h"
#include "Pileograph.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// An output stream that only counts what it is given.
class CountingBuf : public std::streambuf {
 public:
  long long mCount = 0;

 protected:
  int_type overflow(int_type ch) override {
    if (ch != traits_type::eof()) ++mCount;
    return ch;
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    mCount += n;
    return n;
  }
};

// Standard output and error go nowhere while a run lasts.
class Silence {
 public:
  Silence() : mOut(std::cout.rdbuf(&mSink)), mErr(std::cerr.rdbuf(&mSink)) {}
  ~Silence() {
    std::cout.rdbuf(mOut);
    std::cerr.rdbuf(mErr);
  }

 private:
  CountingBuf mSink;
  std::streambuf* mOut;
  std::streambuf* mErr;
};

// `inner` is `outer` with only '-' characters inserted.
bool PadsInsertedOnly(const std::vector<char>& inner, const std::vector<char>& outer) {
  size_t i = 0;
  for (char c : outer) {
    if (i < inner.size() && c == inner[i]) {
      ++i;
    } else if (c != '-') {
      return false;
    }
  }
  return i == inner.size();
}

// Prints one window when the number of lines it writes stays small.
void PrintBounded(Pileograph& p, int start, int end, int width) {
  if (width < 1) {
    CountingBuf sink;
    std::ostream out(&sink);
    p.PrintAlignment(out, start, end, width);
    Check(sink.mCount == 0);
    return;
  }
  const long long length = p.GetSourceSize();
  const long long last = end < 0 ? length - 1 : end;
  long long blocks = 1;
  if (start >= 0 && start < length && width > 0) {
    blocks += (std::min(length - 1, last) - start) / width;
  }
  if (blocks * (p.GetNumReads() + 2LL) * (width + 40LL) > 4000000) return;
  CountingBuf sink;
  std::ostream out(&sink);
  p.PrintAlignment(out, start, end, width);
  Check(sink.mCount > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t nl = text.find('\n');
  std::string contig = nl == std::string::npos ? text : text.substr(0, nl);
  std::string report = nl == std::string::npos ? std::string() : text.substr(nl + 1);
  Silence silence;

  Pileograph p;
  p.mSource.ConcatenateString(contig);
  FuzzTempFile file(reinterpret_cast<const uint8_t*>(report.data()), report.size());
  p.ReadCM(file.Path());
  const size_t hits = p.mCM.mHits.size();
  p.MergeAlignments();

  // Every per-read list has one entry per kept hit; reads lose nothing.
  Check(p.mAlignedReads.mSeqs.size() == hits);
  Check(p.mMergedReads.mSeqs.size() == hits);
  Check(p.mBaseLocs.mQuals.size() == hits);
  Check(p.mOffsets.size() == hits);
  for (size_t r = 0; r < hits; ++r) {
    Check(p.mBaseLocs.mQuals[r].mQual.size() == p.mAlignedReads.mSeqs[r].mSeq.size());
    Check(PadsInsertedOnly(p.mAlignedReads.mSeqs[r].mSeq, p.mMergedReads.mSeqs[r].mSeq));
  }
  Check(PadsInsertedOnly(p.mSource.mSeq, p.mUnionSource.mSeq));
  if (hits == 0) Check(p.mUnionSource.mSeq == p.mSource.mSeq);

  // A second merge gives the same layout.
  const std::vector<char> unionSeq = p.mUnionSource.mSeq;
  const std::vector<int> offsets = p.mOffsets;
  std::vector<std::vector<char>> merged;
  for (const Sequence& s : p.mMergedReads.mSeqs) merged.push_back(s.mSeq);
  p.MergeAlignments();
  Check(p.mUnionSource.mSeq == unionSeq);
  Check(p.mOffsets == offsets);
  Check(p.mMergedReads.mSeqs.size() == merged.size());
  for (size_t r = 0; r < merged.size(); ++r) Check(p.mMergedReads.mSeqs[r].mSeq == merged[r]);

  // The inner steps one by one, in the merge's order, give the same members.
  {
    Pileograph q;
    q.mSource = p.mSource;
    q.mCM = p.mCM;
    q.ConstructSourceWithUnionOfReadPads();
    q.InitWithQueries();
    q.MergeReadPads();
    Check(q.mUnionSource.mSeq == unionSeq);
    Check(q.mOffsets == offsets);
    Check(q.mMergedReads.mSeqs.size() == merged.size());
    for (size_t r = 0; r < merged.size(); ++r) Check(q.mMergedReads.mSeqs[r].mSeq == merged[r]);

    // The pad list and its runs: every run moves the cursor on.
    std::vector<padInfo> pads;
    q.GetSortedPadLocs(q.mCM, pads);
    for (size_t i = 1; i < pads.size(); ++i) Check(!cmpByPadLoc(pads[i], pads[i - 1]));
    for (int idx = 0; idx < static_cast<int>(pads.size());) {
      const int before = idx;
      Check(q.GetMaxPadIdx(idx, pads) >= 1);
      Check(idx > before);
    }
    int outside = -1;
    q.GetMaxPadIdx(outside, pads);
    outside = static_cast<int>(pads.size());
    q.GetMaxPadIdx(outside, pads);
  }

  // Steps in any order, as a binding caller may call them: nothing is read
  // outside the per-read lists.
  {
    Pileograph q;
    q.mCM = p.mCM;
    q.MergeReadPads();
    q.InitWithQueries();
    q.InitWithQueries();
    q.mSource = p.mSource;
    q.MergeReadPads();
    q.ConstructSourceWithUnionOfReadPads();
    q.MergeReadPads();
    PrintBounded(q, 0, -1, 50);
    q.GetAlignedCharacters(0, 50, 3);
    q.GetNumReadsInWindow(INT_MIN, INT_MAX);
    for (int r = -1; r <= q.GetNumReads(); ++r) q.SIdx2RIdx(0, r);
  }

  const int len = p.GetSourceSize();
  PrintBounded(p, 0, len, 100);
  PrintBounded(p, len / 2, len / 2, 60);
  PrintBounded(p, -70, 10, 1);
  PrintBounded(p, len - 1, len + 5, 7);
  PrintBounded(p, INT_MAX - 5, INT_MAX, 100);
  PrintBounded(p, INT_MIN, -1, 100);
  PrintBounded(p, INT_MAX - 150, INT_MAX, 100);
  PrintBounded(p, 0, INT_MAX, 1000);
  PrintBounded(p, 0, 0, 0);

  // The window queries agree with one another.
  const int windows[][2] = {{0, 80}, {-5, 3}, {len - 3, len + 3}, {INT_MIN, INT_MAX}, {7, 7}};
  for (const auto& w : windows) {
    const int n = p.GetNumReadsInWindow(w[0], w[1]);
    Check(n >= 0 && n <= p.GetNumReads());
    Check(std::string(p.GetWindowReadName(w[0], w[1], n)) == "NOT FOUND");
    Check(std::string(p.GetWindowReadName(w[0], w[1], -1)) == "NOT FOUND");
    if (n > 0) p.GetWindowReadName(w[0], w[1], n - 1);
    Check(p.GetAlignedCharacters(w[0], w[1], w[0] + 1).size() == static_cast<size_t>(n));
  }
  for (int r = -1; r <= p.GetNumReads(); ++r) {
    p.GetReadName(r);
    p.RIdx2SIdx(p.SIdx2RIdx(5, r), r);
    p.SIdx2RIdx(INT_MIN, r);
    p.RIdx2SIdx(INT_MAX, r);
  }
  p.GetSourceBase(len - 1);
  p.GetSourceBase(len);
  p.GetSourceBase(-1);
  return 0;
}
