// Writes a synthetic contig (contig.fa) and a cross_match report with
// alignments shown (report.cm) of reads sampled from it, for benchmarks.
//
// Reads carry substitutions, insertions and deletions; about a third lie on
// the reverse strand; a few come from repeated stretches of the contig and
// get several hits (tied on exact copies, lower-scoring on diverged or
// partial copies). The same options and seed give the same bytes.
//
// Usage: gen_cm OUTDIR [--contig N] [--reads N] [--length N] [--seed N]
//                      [--repeats N] [--repeat-length N]
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : mState(seed) {}
  uint64_t Next() {
    uint64_t z = (mState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n > 0.
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(((Next() >> 32) * n) >> 32); }
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  char Base() { return "ACGT"[Next() >> 62]; }
  char OtherBase(char b) {
    char c = Base();
    while (c == b) c = Base();
    return c;
  }

 private:
  uint64_t mState;
};

struct Options {
  long mContigLength = 1000000;
  long mReads = 20000;
  long mReadLength = 700;
  uint64_t mSeed = 1;
  long mRepeats = 4;          // repeat families placed in the contig
  long mRepeatLength = 2000;  // bases per copy
  double mSubRate = 0.015;
  double mInsRate = 0.005;
  double mDelRate = 0.005;
  std::string mDir;
};

struct RepeatCopy {
  int mFamily;
  long mStart;  // 0-based first contig base
};

// One alignment: both sides in contig orientation, same number of columns.
struct Alignment {
  std::string mSource;  // contig side, '-' where the read has an insertion
  std::string mRead;    // read side, '-' where the read has a deletion
  long mSourceStart;    // 0-based contig position of the first column's base
};

// Buffered output file; remembers the first write error.
class Output {
 public:
  bool Open(const std::string& path) {
    mPath = path;
    mFile = std::fopen(path.c_str(), "wb");
    if (!mFile) mError = errno;
    mBuf.reserve(1 << 21);
    return mFile != nullptr;
  }
  ~Output() {
    if (mFile) std::fclose(mFile);
  }
  void Add(const char* s, size_t n) {
    mBuf.append(s, n);
    if (mBuf.size() >= (1u << 20)) Flush();
  }
  void Add(const std::string& s) { Add(s.data(), s.size()); }
  void Add(const char* s) { Add(s, std::strlen(s)); }
  void AddChars(char c, size_t n) { mBuf.append(n, c); }
  void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void Flush() {
    if (mFile && !mBuf.empty() && std::fwrite(mBuf.data(), 1, mBuf.size(), mFile) != mBuf.size() &&
        !mError)
      mError = errno ? errno : EIO;
    mBuf.clear();
  }
  // Flushes and closes; false on any write error.
  bool Close() {
    Flush();
    if (mFile && std::fclose(mFile) != 0 && !mError) mError = errno ? errno : EIO;
    mFile = nullptr;
    return mError == 0;
  }
  const std::string& Path() const { return mPath; }
  int Error() const { return mError; }

 private:
  std::FILE* mFile = nullptr;
  std::string mBuf;
  std::string mPath;
  int mError = 0;
};

void Output::Printf(const char* fmt, ...) {
  char line[1024];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  Add(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
}

bool IsTransition(char a, char b) {
  auto purine = [](char c) { return c == 'A' || c == 'G'; };
  return purine(a) == purine(b);
}

// Samples a read from contig[start, start + span) with sequencing errors.
// The first and last columns are always matching bases.
void SampleRead(const std::string& contig, long start, long span, const Options& opt, Rng& rng,
                Alignment& aln) {
  aln.mSource.clear();
  aln.mRead.clear();
  aln.mSourceStart = start;
  long end = start + span;  // excluded
  long pos = start;
  while (pos < end) {
    if (pos > start && rng.Uniform() < opt.mInsRate) {
      uint32_t k = 1 + rng.Below(3);
      for (uint32_t i = 0; i < k; ++i) {
        aln.mSource.push_back('-');
        aln.mRead.push_back(rng.Base());
      }
    }
    if (pos > start && rng.Uniform() < opt.mDelRate) {
      long k = 1 + rng.Below(2);
      if (pos + k < end) {
        for (long i = 0; i < k; ++i) {
          aln.mSource.push_back(contig[pos + i]);
          aln.mRead.push_back('-');
        }
        pos += k;
        continue;
      }
    }
    char b = contig[pos];
    aln.mSource.push_back(b);
    bool inner = pos > start && pos + 1 < end;
    aln.mRead.push_back(inner && rng.Uniform() < opt.mSubRate ? rng.OtherBase(b) : b);
    ++pos;
  }
}

struct HitStats {
  int mScore = 0;
  double mSubPct = 0, mDelPct = 0, mInsPct = 0;
  int mTransitions = 0, mTransversions = 0;
  int mGaps = 0, mGapColumns = 0;
  long mReadBases = 0, mSourceBases = 0;
};

// Scores with match +1, mismatch -2, gap -4 to open and -3 per further column.
HitStats Score(const std::string& src, const std::string& read, size_t from, size_t to) {
  HitStats s;
  int matches = 0, mismatches = 0, readPads = 0, srcPads = 0;
  char prevGap = 0;  // side of the gap the previous column belonged to
  for (size_t j = from; j < to; ++j) {
    char a = src[j], b = read[j];
    char gap = a == '-' ? 's' : (b == '-' ? 'r' : 0);
    if (gap) {
      ++s.mGapColumns;
      if (gap != prevGap) {
        ++s.mGaps;
        s.mScore -= 4;
      } else {
        s.mScore -= 3;
      }
      if (gap == 's') ++srcPads;
      else ++readPads;
    } else if (a == b) {
      ++matches;
      s.mScore += 1;
    } else {
      ++mismatches;
      s.mScore -= 2;
      if (IsTransition(a, b)) ++s.mTransitions;
      else ++s.mTransversions;
    }
    prevGap = gap;
  }
  s.mReadBases = matches + mismatches + srcPads;
  s.mSourceBases = matches + mismatches + readPads;
  double aligned = matches + mismatches;
  if (aligned > 0) s.mSubPct = 100.0 * mismatches / aligned;
  if (s.mReadBases > 0) {
    s.mDelPct = 100.0 * readPads / static_cast<double>(s.mReadBases);
    s.mInsPct = 100.0 * srcPads / static_cast<double>(s.mReadBases);
  }
  return s;
}

struct ReadInfo {
  std::string mName;
  long mLength;     // whole read, clipped ends included
  long mLeftClip;   // unaligned read bases before the alignment, contig orientation
  long mRightClip;  // after it
  bool mReverse;
};

// Writes one hit: columns [from, to) of src/read, whose first column faces
// contig base srcStart; readBefore read bases (contig orientation) precede
// column `from` in the read.
void WriteHit(Output& out, const Options& opt, const std::string& contigName, const ReadInfo& rd,
              const std::string& src, const std::string& read, size_t from, size_t to,
              long srcStart, long readBefore, bool star) {
  HitStats st = Score(src, read, from, to);
  long qLeft = rd.mLeftClip + readBefore;             // read bases left of the hit, contig orientation
  long qRight = rd.mLength - qLeft - st.mReadBases;   // right of it
  long qStart, qEnd, qRem;                            // 1-based, read orientation
  if (!rd.mReverse) {
    qStart = qLeft + 1;
    qEnd = qLeft + st.mReadBases;
    qRem = qRight;
  } else {
    qStart = qRight + 1;
    qEnd = qRight + st.mReadBases;
    qRem = qLeft;
  }
  long sStart = srcStart + 1, sEnd = srcStart + st.mSourceBases;  // 1-based
  const char* tail = star ? " *" : "  ";
  if (!rd.mReverse) {
    out.Printf("%4d %5.2f %4.2f %4.2f  %s %8ld %5ld (%ld)    %s %8ld %5ld (%ld)%s\n", st.mScore,
               st.mSubPct, st.mDelPct, st.mInsPct, rd.mName.c_str(), qStart, qEnd, qRem,
               contigName.c_str(), sStart, sEnd, opt.mContigLength - sEnd, tail);
  } else {
    out.Printf("%4d %5.2f %4.2f %4.2f  %s %8ld %5ld (%ld)  C %s   (%ld) %5ld %5ld%s\n", st.mScore,
               st.mSubPct, st.mDelPct, st.mInsPct, rd.mName.c_str(), qStart, qEnd, qRem,
               contigName.c_str(), opt.mContigLength - sEnd, sEnd, sStart, tail);
  }
  out.Add("\n");

  long qCur = rd.mReverse ? qEnd : qStart;  // read position of the next read base
  long sCur = sStart;
  const char* qMark = rd.mReverse ? "C " : "  ";
  char markers[64];
  for (size_t b = from; b < to; b += 50) {
    size_t e = b + 50 < to ? b + 50 : to;
    size_t n = e - b;
    long qBases = 0, sBases = 0;
    for (size_t j = b; j < e; ++j) {
      char a = src[j], r = read[j];
      if (r != '-') ++qBases;
      if (a != '-') ++sBases;
      markers[j - b] = (a == '-' || r == '-') ? '-' : a == r ? ' ' : IsTransition(a, r) ? 'i' : 'v';
    }
    long qLast = rd.mReverse ? qCur - qBases + 1 : qCur + qBases - 1;
    out.Printf("%s%-15.15s %9ld ", qMark, rd.mName.c_str(), qCur);
    out.Add(read.data() + b, n);
    out.Printf(" %ld\n", qLast);
    out.AddChars(' ', 28);
    out.Add(markers, n);
    out.Printf("\n  %-15.15s %9ld ", contigName.c_str(), sCur);
    out.Add(src.data() + b, n);
    out.Printf(" %ld\n\n", sCur + sBases - 1);
    qCur = rd.mReverse ? qCur - qBases : qCur + qBases;
    sCur += sBases;
  }
  int aligned = static_cast<int>(to - from);
  out.Printf(
      "Transitions / transversions = %.2f (%d / %d); Gap_init rate = %.2f (%d / %d), avg. gap size "
      "= %.2f (%d / %d)\n\n",
      st.mTransversions ? static_cast<double>(st.mTransitions) / st.mTransversions : 0.0,
      st.mTransitions, st.mTransversions,
      aligned > 1 ? static_cast<double>(st.mGaps) / (aligned - 1) : 0.0, st.mGaps, aligned - 1,
      st.mGaps ? static_cast<double>(st.mGapColumns) / st.mGaps : 0.0, st.mGapColumns, st.mGaps);
}

void WriteHeader(Output& out, const Options& opt) {
  out.Add(
      "cross_match reads.fa contig.fa -gap_init -4 -gap_ext -3 -minmatch 14 -minscore 30 "
      "-alignments \n"
      "cross_match version 1.090518\n\n"
      "Run date:time  240101:120000\n"
      "Query file(s):  reads.fa   Log file: reads.log\n"
      "Subject file(s):   contig.fa\n"
      "Presumed sequence type: DNA\n\n"
      "Pairwise comparison algorithm: banded Smith-Waterman\n\n"
      "Score matrix (set by value of penalty: -2)\n"
      "    A   C   G   T   N   X\n"
      "A   1  -2  -2  -2   0  -3\n"
      "C  -2   1  -2  -2   0  -3\n"
      "G  -2  -2   1  -2   0  -3\n"
      "T  -2  -2  -2   1   0  -3\n"
      "N   0   0   0   0   0   0\n"
      "X  -3  -3  -3  -3   0  -3\n\n"
      "Gap penalties: gap_init: -4, gap_ext: -3, ins_gap_ext: -3, del_gap_ext: -3, \n"
      "Using complexity-adjusted scores. Assumed background frequencies:\n"
      " A: 0.250  C: 0.250  G: 0.250  T: 0.250  N: 0.000  X: 0.000  \n\n"
      "minmatch: 14, maxmatch: 14, max_group_size: 20, minscore: 30, bandwidth: 14, "
      "indexwordsize: 10\n"
      "vector_bound: 0\nword_raw: 0\nmasklevel: 80\n\n");
  out.Printf("Sequence file: reads.fa    %ld entries\n\n", opt.mReads);
  out.Add("NO QUALITY FILE reads.fa.qual WAS FOUND. REMAINING INPUT QUALITIES SET TO 15.\n"
          "Maximal single base matches (low complexity regions):\n\n");
}

// Places the repeat families: copy 0 is the contig as generated, the other
// copies are written over it (exact for even families, 3% diverged for odd
// ones; family 1 has three copies).
std::vector<RepeatCopy> PlaceRepeats(std::string& contig, const Options& opt, Rng& rng) {
  std::vector<RepeatCopy> copies;
  std::vector<int> perFamily;
  for (long f = 0; f < opt.mRepeats; ++f) perFamily.push_back(f == 1 ? 3 : 2);
  for (int c = 0; c < 3; ++c)
    for (long f = 0; f < opt.mRepeats; ++f)
      if (c < perFamily[f]) copies.push_back({static_cast<int>(f), 0});
  if (copies.empty()) return copies;
  long slot = opt.mContigLength / static_cast<long>(copies.size());
  if (opt.mRepeatLength < 1 || slot < opt.mRepeatLength + 2) return {};
  for (size_t i = 0; i < copies.size(); ++i)
    copies[i].mStart = static_cast<long>(i) * slot +
                       rng.Below(static_cast<uint32_t>(slot - opt.mRepeatLength + 1));
  for (size_t i = 0; i < copies.size(); ++i) {
    const RepeatCopy* first = nullptr;
    for (size_t k = 0; k < i; ++k)
      if (copies[k].mFamily == copies[i].mFamily) {
        first = &copies[k];
        break;
      }
    if (!first) continue;
    bool diverged = copies[i].mFamily % 2 == 1;
    for (long j = 0; j < opt.mRepeatLength; ++j) {
      char b = contig[first->mStart + j];
      contig[copies[i].mStart + j] = diverged && rng.Uniform() < 0.03 ? rng.OtherBase(b) : b;
    }
  }
  return copies;
}

bool ParseLong(const char* s, long lo, long& v) {
  char* end = nullptr;
  errno = 0;
  long x = std::strtol(s, &end, 10);
  if (errno || end == s || *end || x < lo) return false;
  v = x;
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: gen_cm OUTDIR [--contig N] [--reads N] [--length N] [--seed N] "
               "[--repeats N] [--repeat-length N]\n"
               "writes OUTDIR/contig.fa and OUTDIR/report.cm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
      if (i + 1 >= argc) return Usage();
      long v = 0;
      bool ok;
      if (a == "--contig") ok = ParseLong(argv[++i], 1, v), opt.mContigLength = v;
      else if (a == "--reads") ok = ParseLong(argv[++i], 0, v), opt.mReads = v;
      else if (a == "--length") ok = ParseLong(argv[++i], 20, v), opt.mReadLength = v;
      else if (a == "--seed") ok = ParseLong(argv[++i], 0, v), opt.mSeed = static_cast<uint64_t>(v);
      else if (a == "--repeats") ok = ParseLong(argv[++i], 0, v), opt.mRepeats = v;
      else if (a == "--repeat-length") ok = ParseLong(argv[++i], 1, v), opt.mRepeatLength = v;
      else return Usage();
      if (!ok) {
        std::fprintf(stderr, "gen_cm: bad value for %s: '%s'\n", a.c_str(), argv[i]);
        return 2;
      }
    } else if (opt.mDir.empty()) {
      opt.mDir = a;
    } else {
      return Usage();
    }
  }
  if (opt.mDir.empty()) return Usage();
  long maxSpan = opt.mReadLength + opt.mReadLength * 15 / 100;
  if (opt.mContigLength < maxSpan + 1 || opt.mContigLength > 2000000000L) {
    std::fprintf(stderr, "gen_cm: the contig (%ld) must be longer than the longest read (%ld)\n",
                 opt.mContigLength, maxSpan);
    return 2;
  }
  if (mkdir(opt.mDir.c_str(), 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "gen_cm: cannot create %s: %s\n", opt.mDir.c_str(), std::strerror(errno));
    return 1;
  }

  Rng rng(opt.mSeed * 0x2545F4914F6CDD1DULL + 12345);
  std::string contig(static_cast<size_t>(opt.mContigLength), 'A');
  for (char& c : contig) c = rng.Base();
  std::vector<RepeatCopy> repeats = PlaceRepeats(contig, opt, rng);
  const std::string contigName = "contig1";

  Output fa;
  if (!fa.Open(opt.mDir + "/contig.fa")) {
    std::fprintf(stderr, "gen_cm: cannot create %s: %s\n", fa.Path().c_str(), std::strerror(fa.Error()));
    return 1;
  }
  fa.Add(">" + contigName + " synthetic contig\n");
  for (size_t i = 0; i < contig.size(); i += 60) {
    fa.Add(contig.data() + i, contig.size() - i < 60 ? contig.size() - i : 60);
    fa.Add("\n");
  }
  if (!fa.Close()) {
    std::fprintf(stderr, "gen_cm: cannot write %s: %s\n", fa.Path().c_str(), std::strerror(fa.Error()));
    return 1;
  }

  Output cm;
  if (!cm.Open(opt.mDir + "/report.cm")) {
    std::fprintf(stderr, "gen_cm: cannot create %s: %s\n", cm.Path().c_str(), std::strerror(cm.Error()));
    return 1;
  }
  WriteHeader(cm, opt);

  Alignment aln;
  std::string other;  // contig side against another repeat copy
  struct Extra {
    long mSrcStart;
    size_t mFrom, mTo;
    long mReadBefore;
    size_t mCopy;
    bool mStar;
  };
  std::vector<Extra> extras;
  char name[32];
  long hits = 0, multi = 0;
  for (long r = 0; r < opt.mReads; ++r) {
    long lo = opt.mReadLength * 85 / 100;
    long span = lo + rng.Below(static_cast<uint32_t>(opt.mReadLength * 30 / 100 + 1));
    long start = rng.Below(static_cast<uint32_t>(opt.mContigLength - span + 1));
    SampleRead(contig, start, span, opt, rng, aln);
    ReadInfo rd;
    std::snprintf(name, sizeof name, "read%06ld", r + 1);
    rd.mName = name;
    rd.mReverse = rng.Below(3) == 0;
    rd.mLeftClip = rng.Below(10) < 3 ? 1 + rng.Below(30) : 0;
    rd.mRightClip = rng.Below(10) < 3 ? 1 + rng.Below(30) : 0;
    long readBases = 0;
    for (char c : aln.mRead) readBases += c != '-';
    rd.mLength = rd.mLeftClip + readBases + rd.mRightClip;

    // Other hits: the part of the alignment that lies in a repeat copy,
    // against every other copy of its family.
    extras.clear();
    long end = start + span;  // excluded
    for (size_t x = 0; x < repeats.size(); ++x) {
      long xs = repeats[x].mStart, xe = xs + opt.mRepeatLength;
      if (std::min(end, xe) - std::max(start, xs) < 100) continue;
      // Column range whose contig bases lie in [xs, xe), trimmed to matched columns.
      size_t from = aln.mSource.size(), to = 0;
      long pos = start;
      for (size_t j = 0; j < aln.mSource.size(); ++j) {
        bool base = aln.mSource[j] != '-';
        if (base && pos >= xs && pos < xe && aln.mRead[j] != '-') {
          if (from == aln.mSource.size()) from = j;
          to = j + 1;
        }
        if (base) ++pos;
      }
      if (from >= to) continue;
      long srcBefore = 0, readBefore = 0;
      for (size_t j = 0; j < from; ++j) {
        srcBefore += aln.mSource[j] != '-';
        readBefore += aln.mRead[j] != '-';
      }
      bool whole = from == 0 && to == aln.mSource.size();
      for (size_t y = 0; y < repeats.size(); ++y) {
        if (y == x || repeats[y].mFamily != repeats[x].mFamily) continue;
        long shifted = repeats[y].mStart + (start + srcBefore - xs);
        bool exact = repeats[x].mFamily % 2 == 0;
        extras.push_back({shifted, from, to, readBefore, y, !(whole && exact)});
      }
    }
    // Hits of one read in contig order.
    struct Item {
      long mSrcStart;
      long mExtra;  // -1: the read's own hit
    };
    std::vector<Item> items;
    items.push_back({start, -1});
    for (size_t k = 0; k < extras.size(); ++k) items.push_back({extras[k].mSrcStart, static_cast<long>(k)});
    for (size_t a = 1; a < items.size(); ++a)
      for (size_t b = a; b > 0 && items[b].mSrcStart < items[b - 1].mSrcStart; --b) std::swap(items[b], items[b - 1]);
    for (const Item& it : items) {
      if (it.mExtra < 0) {
        WriteHit(cm, opt, contigName, rd, aln.mSource, aln.mRead, 0, aln.mSource.size(), start, 0, false);
      } else {
        const Extra& e = extras[static_cast<size_t>(it.mExtra)];
        other = aln.mSource;
        long pos = e.mSrcStart;
        for (size_t j = e.mFrom; j < e.mTo; ++j)
          if (other[j] != '-') other[j] = contig[static_cast<size_t>(pos++)];
        WriteHit(cm, opt, contigName, rd, other, aln.mRead, e.mFrom, e.mTo, e.mSrcStart, e.mReadBefore,
                 e.mStar);
      }
      ++hits;
    }
    if (items.size() > 1) ++multi;
  }
  cm.Printf("%ld matching entries (first file).\n", opt.mReads);
  if (!cm.Close()) {
    std::fprintf(stderr, "gen_cm: cannot write %s: %s\n", cm.Path().c_str(), std::strerror(cm.Error()));
    return 1;
  }
  std::printf("gen_cm: contig %ld bases, %ld reads, %ld hits (%ld reads with several), seed %llu -> %s\n",
              opt.mContigLength, opt.mReads, hits, multi, static_cast<unsigned long long>(opt.mSeed),
              opt.mDir.c_str());
  return 0;
}
