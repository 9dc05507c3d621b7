#include "Pileograph.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <iostream>
#include <numeric>
#include <utility>

#include "CLibraryAdditions.h"
#include "FASTAFile.h"
#include "PrintUtils.h"

namespace {

// Calls f(j) for every column j of text[0, n) that holds a pad ('-' or '*'),
// in order; the text is scanned with memchr, since pads are rare.
template <class F>
void ForEachPad(const char* text, size_t n, F f) {
  const char* end = text + n;
  auto find = [end](const char* from, char c) {
    const void* hit = from < end ? std::memchr(from, c, static_cast<size_t>(end - from)) : nullptr;
    return hit != nullptr ? static_cast<const char*>(hit) : end;
  };
  const char* dash = find(text, '-');
  const char* star = find(text, '*');
  while (dash != end || star != end) {
    if (dash < star) {
      f(static_cast<size_t>(dash - text));
      dash = find(dash + 1, '-');
    } else {
      f(static_cast<size_t>(star - text));
      star = find(star + 1, '*');
    }
  }
}

inline int ClampToInt(long long v) {
  if (v < INT_MIN) return INT_MIN;
  if (v > INT_MAX) return INT_MAX;
  return static_cast<int>(v);
}

struct PadLess {
  bool operator()(const padInfo& a, const padInfo& b) const {
    if (a.mPadLoc != b.mPadLoc) return a.mPadLoc < b.mPadLoc;
    return a.mReadIdx < b.mReadIdx;
  }
};

// Pads of every hit as the layout places them: a contig-side column holding
// '-' or '*', or a read column past the end of a shorter contig side, is a
// pad after the last contig base before it. This is the same rule by which
// InitWithQueries gives each column its contig coordinate, so every read's
// pad columns find union columns.
void CollectLayoutPads(const CMParse& cm, std::vector<padInfo>& pads) {
  for (size_t i = 0; i < cm.mHits.size(); ++i) {
    const CMHit& hit = cm.mHits[i];
    const std::vector<char>& src = hit.mSourceAligned.mSeq;
    const size_t columns = hit.mQueryAligned.mSeq.size();
    const int read = ClampToInt(static_cast<long long>(i));
    const long long before = static_cast<long long>(hit.mSourceStart) - 1;
    size_t padCount = 0;
    ForEachPad(src.data(), src.size(), [&](size_t j) {
      pads.push_back({ClampToInt(before + static_cast<long long>(j - padCount)), read});
      ++padCount;
    });
    for (size_t j = src.size(); j < columns; ++j) {
      pads.push_back({ClampToInt(before + static_cast<long long>(j - padCount)), read});
      ++padCount;
    }
  }
  std::sort(pads.begin(), pads.end(), PadLess());
}

// The union contig's coordinate maps, rebuilt from its characters and read
// from the caches; outside them they extrapolate in 64 bits, one coordinate
// per column on either side of the union contig.
class UnionMaps {
 public:
  explicit UnionMaps(Sequence& u) : mP2D(u.mPadded2Depadded), mD2P(u.mDepadded2Padded) {
    if (!u.mSeq.empty()) {
      u.ComputePadded2Depadded();
      u.ComputeDepadded2Padded();
    }
    mLength = static_cast<long long>(u.mSeq.size());
  }

  long long Length() const { return mLength; }

  // Union column -> contig coordinate of its base (or of the base before a pad).
  long long Depadded(long long pos) const {
    if (pos >= 0 && pos < mLength) return mP2D[static_cast<size_t>(pos)];
    if (pos < 0 || mLength == 0) return pos + 1;
    return mP2D[static_cast<size_t>(mLength - 1)] + (pos - (mLength - 1));
  }

  // Contig coordinate -> union column. Coordinates past the last base count
  // on from the union's last column (not from the last base, so that trailing
  // pad columns stay with that base), matching Depadded() there.
  long long Padded(long long k) const {
    if (k < 1 || mD2P.empty()) return k - 1;
    const long long bases = static_cast<long long>(mD2P.size()) - 1;
    if (k <= bases) return mD2P[static_cast<size_t>(k)];
    return (mLength - 1) + (k - bases);
  }

 private:
  const std::vector<int>& mP2D;
  const std::vector<int>& mD2P;
  long long mLength = 0;
};

void WriteRepeated(std::ostream& os, char c, long long count) {
  char chunk[256];
  std::fill(chunk, chunk + sizeof chunk, c);
  while (count > 0) {
    const long long n = std::min<long long>(count, static_cast<long long>(sizeof chunk));
    os.write(chunk, static_cast<std::streamsize>(n));
    count -= n;
  }
}

void WriteLineStart(std::ostream& os, const std::string& name, int number) {
  PrintSpacePaddedString(os, 20, name);
  PrintSpacePaddedNum(os, 10, number);
  os.write("  ", 2);
}

// Characters [first, first + width) of `seq`, '.' outside it; when
// `endMark` is set, the column just past the end shows '%'.
void WriteWindow(std::ostream& os, const std::vector<char>& seq, long long first, long long width,
                 bool endMark) {
  const long long len = static_cast<long long>(seq.size());
  const long long last = first + width;  // excluded
  long long k = first;
  if (k < 0) {
    const long long n = std::min(last, 0LL) - k;
    WriteRepeated(os, '.', n);
    k += n;
  }
  if (k < last && k < len) {
    const long long n = std::min(last, len) - k;
    os.write(seq.data() + k, static_cast<std::streamsize>(n));
    k += n;
  }
  if (k < last && k == len && endMark) {
    os.put('%');
    ++k;
  }
  WriteRepeated(os, '.', last - k);
}

const char kNotFound[] = "NOT FOUND";

// Opened and not gzip-compressed: kRead.
InputRead OpenInput(LineReader& lines, int& error) {
  error = lines.Error();
  if (!lines.Opened()) return InputRead::kOpenFailed;
  if (lines.BeginsWith("\x1f\x8b", 2)) return InputRead::kCompressed;
  return InputRead::kRead;
}

}  // namespace

bool cmpByPadLoc(padInfo a, padInfo b) { return a.mPadLoc < b.mPadLoc; }

bool cmpByReadIdx(padInfo a, padInfo b) { return a.mReadIdx < b.mReadIdx; }

// ---------------------------------------------------------------------------
// Loading and merging

void Pileograph::ReadSource(const char* path) { ReadSource(std::string(path != nullptr ? path : "")); }

void Pileograph::ReadSource(std::string path) {
  int error = 0;
  ReadSource(path, error);
}

InputRead Pileograph::ReadSource(const std::string& path, int& error) {
  mInputFiles.Remember(path);
  LineReader lines(path);
  const InputRead opened = OpenInput(lines, error);
  if (opened != InputRead::kRead) return opened;
  if (FASTAFile().Read(lines, mSource, error)) return InputRead::kRead;
  return error != 0 ? InputRead::kReadFailed : InputRead::kNothingFound;
}

void Pileograph::ReadCM(const char* path) { ReadCM(std::string(path != nullptr ? path : "")); }

void Pileograph::ReadCM(std::string path) {
  int error = 0;
  ReadCM(path, error);
}

InputRead Pileograph::ReadCM(const std::string& path, int& error) {
  mInputFiles.Remember(path);
  LineReader lines(path);
  const InputRead opened = OpenInput(lines, error);
  if (opened != InputRead::kRead) return opened;
  const size_t first = mCM.mHits.size();
  const bool ok = mCM.Parse(lines, error);
  const bool found = mCM.mHits.size() > first;
  mCM.NormalizeToAlignment(first);
  mCM.RemoveAllButBestMatches();
  if (!ok) return InputRead::kReadFailed;
  return found ? InputRead::kRead : InputRead::kNothingFound;
}

std::string InputFailure(InputRead result, int error, bool report) {
  switch (result) {
    case InputRead::kRead:
      return "";
    case InputRead::kOpenFailed:
    case InputRead::kReadFailed:
      return std::strerror(error != 0 ? error : EIO);
    case InputRead::kCompressed:
      return "gzip-compressed, decompress it first";
    case InputRead::kNothingFound:
      break;
  }
  return report ? "no alignments found, the pileup shows the contig alone" : "no FASTA record";
}

void ReportInput(const std::string& path, InputRead result) {
  const char* why = result == InputRead::kOpenFailed   ? " file open failed"
                    : result == InputRead::kReadFailed ? " file read failed"
                    : result == InputRead::kCompressed ? " file is gzip-compressed, not read"
                                                       : nullptr;
  if (why != nullptr) std::cout << path << why << std::endl;
}

void Pileograph::MergeAlignments() {
  // Start from nothing so that a repeated merge gives the same result.
  mUnionSource.mSeq.clear();
  mUnionSource.mPadded2Depadded.clear();
  mUnionSource.mDepadded2Padded.clear();
  mAlignedReads.mSeqs.clear();
  mMergedReads.mSeqs.clear();
  mBaseLocs.mQuals.clear();
  mOffsets.clear();

  std::cout << "ConstructSource..." << std::flush;
  ConstructSourceWithUnionOfReadPads();
  WriteSideFile("usrctest.fa", [&](std::ostream& os) { FASTAFile().Write(os, mUnionSource); });
  std::cout << "Init With Queries ..." << std::flush;
  InitWithQueries();
  std::cout << "MergePads..." << std::flush;
  MergeReadPads();
}

void Pileograph::GetSortedPadLocs(CMParse& cm, std::vector<padInfo>& pads) {
  for (size_t i = 0; i < cm.mHits.size(); ++i) {
    const CMHit& hit = cm.mHits[i];
    const std::vector<char>& src = hit.mSourceAligned.mSeq;
    long long k = 0;
    for (size_t j = 0; j < src.size(); ++j) {
      if (src[j] != '-') continue;
      pads.push_back({ClampToInt(hit.mSourceStart + static_cast<long long>(j) - k - 1),
                      ClampToInt(static_cast<long long>(i))});
      ++k;
    }
  }
  // Ordered by location, then read index; equal entries are identical.
  std::sort(pads.begin(), pads.end(), PadLess());
}

int Pileograph::GetMaxPadIdx(int& idx, std::vector<padInfo>& pads) {
  const long long n = static_cast<long long>(pads.size());
  if (idx < 0 || idx >= n) return 0;
  const int loc = pads[idx].mPadLoc;
  int best = 0;
  while (idx < n && pads[idx].mPadLoc == loc) {
    const int read = pads[idx].mReadIdx;
    int count = 0;
    while (idx < n && pads[idx].mPadLoc == loc && pads[idx].mReadIdx == read) {
      ++count;
      ++idx;
    }
    best = std::max(best, count);
  }
  return best;
}

void Pileograph::ConstructSourceWithUnionOfReadPads() {
  std::vector<padInfo> pads;
  CollectLayoutPads(mCM, pads);
  mUnionSource.mName = "UnionSource";

  // One run per location: its first entry and the largest count of one read there.
  struct Run {
    int loc;
    int first;
    int count;
  };
  std::vector<Run> runs;
  const std::vector<char>& src = mSource.mSeq;
  const long long srcLen = static_cast<long long>(src.size());
  long long total = srcLen;
  for (int p = 0; p < static_cast<int>(pads.size());) {
    const Run run{pads[p].mPadLoc, p, 0};
    runs.push_back(run);
    runs.back().count = GetMaxPadIdx(p, pads);
    if (run.loc >= 0 && run.loc < srcLen) total += runs.back().count;
  }

  std::vector<char>& out = mUnionSource.mSeq;
  out.reserve(out.size() + static_cast<size_t>(total));
  long long next = 0;  // next contig position to append
  for (const Run& run : runs) {
    if (next >= srcLen || run.loc >= srcLen) break;
    if (run.loc < next) {
      // Before the position being placed (only ahead of the first base): no
      // column for it; reported once, then skipped.
      std::cerr << "??? i = " << next << " padIdx=" << run.first << " padLocs[padIdx]=" << run.loc
                << std::endl;
      continue;
    }
    out.insert(out.end(), src.begin() + next, src.begin() + run.loc + 1);
    out.insert(out.end(), static_cast<size_t>(run.count), '-');
    next = run.loc + 1;
  }
  if (next < srcLen) out.insert(out.end(), src.begin() + next, src.end());
}

void Pileograph::InitWithQueries() {
  const size_t hits = mCM.mHits.size();
  mBaseLocs.mQuals.resize(hits);
  mAlignedReads.mSeqs.reserve(mAlignedReads.mSeqs.size() + hits);
  mOffsets.reserve(mOffsets.size() + hits);
  for (size_t i = 0; i < hits; ++i) {
    const CMHit& hit = mCM.mHits[i];
    Sequence read;
    read.mSeq = hit.mQueryAligned.mSeq;
    read.mName = hit.mQueryAligned.mName;
    read.mDescription = hit.mQueryAligned.mDescription;
    mAlignedReads.mSeqs.push_back(std::move(read));
    mOffsets.push_back(ClampToInt(static_cast<long long>(hit.mSourceStart) + 1));

    // Contig coordinate per column; a pad column (or a column past the end of
    // a shorter contig side) keeps the coordinate of the base before it.
    const std::vector<char>& src = hit.mSourceAligned.mSeq;
    const size_t columns = hit.mQueryAligned.mSeq.size();
    const size_t inSource = std::min(columns, src.size());
    std::vector<int>& locs = mBaseLocs.mQuals[i].mQual;
    const size_t old = locs.size();
    locs.resize(old + columns);
    int* out = locs.data() + old;
    // Runs of base columns count up from the coordinate before them; a pad
    // column repeats it.
    long long cur = hit.mSourceStart;
    size_t j = 0;
    auto bases = [&](size_t until) {
      if (cur >= INT_MIN && cur + static_cast<long long>(until - j) <= INT_MAX) {
        int value = static_cast<int>(cur);
        for (; j < until; ++j) out[j] = ++value;
        cur = value;
      } else {
        for (; j < until; ++j) out[j] = ClampToInt(++cur);
      }
    };
    ForEachPad(src.data(), inSource, [&](size_t pad) {
      bases(pad);
      out[j++] = ClampToInt(cur);
    });
    bases(inSource);
    std::fill(out + inSource, out + columns, ClampToInt(cur));
  }
}

void Pileograph::MergeReadPads() {
  UnionMaps maps(mUnionSource);
  const long long unionLen = maps.Length();
  const size_t reads = std::min(mAlignedReads.mSeqs.size(), mOffsets.size());
  mMergedReads.mSeqs.reserve(mMergedReads.mSeqs.size() + reads);
  std::vector<char> buf;
  const std::vector<int> noLocs;

  for (size_t r = 0; r < reads; ++r) {
    const Sequence& aligned = mAlignedReads.mSeqs[r];
    const std::vector<char>& chars = aligned.mSeq;
    const std::vector<int>& locs = r < mBaseLocs.mQuals.size() ? mBaseLocs.mQuals[r].mQual : noLocs;
    const size_t len = chars.size();
    const long long firstBase = mOffsets[r];

    // Columns ahead of the first contig base (pad columns on the contig side)
    // belong after the base before it: they go into the union's pad columns
    // there, or, before the contig's first base, into columns ahead of it.
    size_t lead = 0;
    if (len > 0 && !locs.empty() && locs[0] == firstBase - 1) {
      while (lead < len && lead < locs.size() && locs[lead] == locs[0]) ++lead;
    }
    long long ps = maps.Padded(firstBase);
    if (lead > 0) {
      ps = std::min(maps.Padded(firstBase - 1) + 1, ps - static_cast<long long>(lead));
    }

    // The merged read is built in `buf` (grown as needed, never shrunk);
    // `out` characters are in use, and room for the columns left is kept.
    if (buf.size() < len) buf.resize(len);
    char* o = buf.data();
    std::copy(chars.begin(), chars.begin() + static_cast<long>(lead), o);
    size_t out = lead;
    long long pos = ps + static_cast<long long>(lead);
    const size_t located = std::max(lead, std::min(len, locs.size()));
    const int* loc = locs.data();
    const char* ch = chars.data();
    const int* p2d = mUnionSource.mPadded2Depadded.data();
    size_t j = lead;
    while (j < located) {
      // Lockstep: each column's coordinate is that of the next union column.
      size_t run = 0;
      if (pos >= 0 && pos < unionLen) {
        const size_t most = std::min(located - j, static_cast<size_t>(unionLen - pos));
        const int* u = p2d + pos;
        const int* l = loc + j;
        const char* from = ch + j;
        char* to = o + out;
        // Runs are short (a union pad column every few columns): copying
        // along beats a call to memcpy.
        while (run < most && l[run] == u[run]) {
          to[run] = from[run];
          ++run;
        }
        out += run;
        j += run;
        pos += static_cast<long long>(run);
        if (j == located) break;
      }
      // One column off the lockstep: insert the union pad columns that this
      // read lacks (never past the union's ends), then the character.
      const long long b = loc[j];
      long long d = maps.Depadded(pos);
      while (b > d && pos >= 0 && pos < unionLen) {
        if (out + (len - j) + 1 > buf.size()) {
          buf.resize(2 * buf.size() + 1);
          o = buf.data();
        }
        o[out++] = '-';
        d = maps.Depadded(++pos);
      }
      o[out++] = ch[j++];
      ++pos;
    }
    // Columns without a coordinate follow on as they stand.
    if (located < len) {
      std::memcpy(o + out, ch + located, len - located);
      out += len - located;
    }

    Sequence merged;
    merged.mSeq.assign(buf.begin(), buf.begin() + static_cast<long>(out));
    merged.mName = aligned.mName;
    merged.mDescription = aligned.mDescription;
    mMergedReads.mSeqs.push_back(std::move(merged));
    mOffsets[r] = ClampToInt(ps + 1);
  }
}

void Pileograph::WriteMerged() {
  WriteSideFile("usource.out", [&](std::ostream& os) { FASTAFile().Write(os, mUnionSource); });
  WriteSideFile("ureads.out", [&](std::ostream& os) { FASTAFile().Write(os, mMergedReads); });
}

void Pileograph::WriteSideFile(const char* name, const std::function<void(std::ostream&)>& write) {
  ReportOutput(name, WriteOutputFile(name, mInputFiles, false, write));
}

// ---------------------------------------------------------------------------
// Printing

void Pileograph::PrintAlignment(const char* path, int start, int end, int width) {
  if (path == nullptr) return;
  ReportOutput(path, WriteOutputFile(path, mInputFiles, true,
                                     [&](std::ostream& os) { PrintAlignment(os, start, end, width); }));
}

void Pileograph::PrintAlignment(std::ostream& os, int start, int end, int width) {
  if (width < 1) return;
  const long long length = static_cast<long long>(mUnionSource.mSeq.size());
  const long long last = end < 0 ? length - 1 : end;
  const size_t reads = std::min(mMergedReads.mSeqs.size(), mOffsets.size());
  // A read is selected once a block begins at or after its first column and
  // stays selected, since blocks only move right. The reads are taken in the
  // order of their first columns, so each block costs only the lines it prints.
  std::vector<size_t> byFirst(reads);
  std::iota(byFirst.begin(), byFirst.end(), size_t{0});
  // Equal first columns keep read-index order.
  std::sort(byFirst.begin(), byFirst.end(), [this](size_t a, size_t b) {
    return mOffsets[a] != mOffsets[b] ? mOffsets[a] < mOffsets[b] : a < b;
  });
  std::vector<size_t> selected;  // in read-index order
  std::vector<size_t> merged;
  size_t reached = 0;
  long long pos = start;
  for (;;) {
    WriteLineStart(os, mUnionSource.mName, ClampToInt(pos));
    WriteWindow(os, mUnionSource.mSeq, pos, width, true);
    os.put('\n');
    os.flush();
    const size_t before = selected.size();
    for (; reached < reads && pos - mOffsets[byFirst[reached]] + 1 >= 0; ++reached) {
      selected.push_back(byFirst[reached]);
    }
    if (selected.size() != before) {
      const auto middle = selected.begin() + static_cast<std::ptrdiff_t>(before);
      std::sort(middle, selected.end());
      merged.clear();
      std::merge(selected.begin(), middle, middle, selected.end(), std::back_inserter(merged));
      selected.swap(merged);
    }
    for (size_t r : selected) {
      const long long first = pos - mOffsets[r] + 1;
      const Sequence& read = mMergedReads.mSeqs[r];
      WriteLineStart(os, read.mName, ClampToInt(first));
      WriteWindow(os, read.mSeq, first, width, false);
      os.put('\n');
      os.flush();
    }
    os.put('\n');
    os.flush();
    pos += width;
    if (!os.good() || pos < 0 || pos >= length || pos > last) break;
  }
}

// ---------------------------------------------------------------------------
// Coordinates and queries

int Pileograph::SIdx2RIdx(int sidx, int r) {
  if (r < 0 || static_cast<size_t>(r) >= mOffsets.size()) return -1;
  return ClampToInt(static_cast<long long>(sidx) - mOffsets[r] + 1);
}

int Pileograph::RIdx2SIdx(int ridx, int r) {
  if (r < 0 || static_cast<size_t>(r) >= mOffsets.size()) return -1;
  return ClampToInt(static_cast<long long>(ridx) + mOffsets[r] - 1);
}

namespace {

// True when merged read `seq`, whose first character lies in union column
// `first`, occupies a column of [start, end).
inline bool InWindow(const Sequence& seq, long long first, int start, int end) {
  const long long len = static_cast<long long>(seq.mSeq.size());
  return len > 0 && std::max<long long>(start, first) < std::min<long long>(end, first + len);
}

}  // namespace

int Pileograph::GetNumReadsInWindow(int start, int end) {
  const size_t reads = std::min(mMergedReads.mSeqs.size(), mOffsets.size());
  int count = 0;
  for (size_t r = 0; r < reads; ++r) {
    if (InWindow(mMergedReads.mSeqs[r], mOffsets[r] - 1LL, start, end)) ++count;
  }
  return count;
}

const char* Pileograph::GetWindowReadName(int start, int end, int n) {
  if (n < 0) return kNotFound;
  const size_t reads = std::min(mMergedReads.mSeqs.size(), mOffsets.size());
  int count = 0;
  for (size_t r = 0; r < reads; ++r) {
    const Sequence& read = mMergedReads.mSeqs[r];
    if (!InWindow(read, mOffsets[r] - 1LL, start, end)) continue;
    if (count == n) return read.mName.c_str();
    ++count;
  }
  return kNotFound;
}

std::string Pileograph::GetAlignedCharacters(int start, int end, int col) {
  std::string out;
  const size_t reads = std::min(mMergedReads.mSeqs.size(), mOffsets.size());
  for (size_t r = 0; r < reads; ++r) {
    const Sequence& read = mMergedReads.mSeqs[r];
    const long long first = mOffsets[r] - 1LL;
    if (!InWindow(read, first, start, end)) continue;
    const long long x = col - first;
    out.push_back(x >= 0 && x < static_cast<long long>(read.mSeq.size()) ? read.mSeq[x] : ' ');
  }
  return out;
}

int Pileograph::GetNumReads() { return ClampToInt(static_cast<long long>(mMergedReads.mSeqs.size())); }

const char* Pileograph::GetReadName(int i) {
  if (i < 0 || static_cast<size_t>(i) >= mMergedReads.mSeqs.size()) return kNotFound;
  return mMergedReads.mSeqs[i].mName.c_str();
}

int Pileograph::GetSourceSize() {
  const size_t n = !mUnionSource.mSeq.empty() ? mUnionSource.mSeq.size() : mSource.mSeq.size();
  return ClampToInt(static_cast<long long>(n));
}

char Pileograph::GetSourceBase(int i) {
  if (i < 0 || static_cast<size_t>(i) >= mUnionSource.mSeq.size()) return '\0';
  return mUnionSource.mSeq[i];
}
