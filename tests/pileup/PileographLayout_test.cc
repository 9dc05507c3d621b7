// The layout checked against an independent model of it: every contig base
// keeps its own union column, each followed by as many pad columns as the
// longest insertion there; each read column lands in the union column of the
// contig base it faces, or in the k-th pad column after the base before it.
#include "Pileograph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Text(const Sequence& s) { return std::string(s.mSeq.begin(), s.mSeq.end()); }

bool IsPad(char c) { return c == '-' || c == '*'; }

// Contig-side character of column j; a column past a shorter contig side is a pad.
char SourceAt(const CMHit& h, size_t j) {
  return j < h.mSourceAligned.mSeq.size() ? h.mSourceAligned.mSeq[j] : '-';
}

// Checks the engine's union contig, merged reads and offsets against the model.
// Hits must lie inside the contig and not start with pad columns at position 0.
void ExpectModelLayout(const Pileograph& pg, const std::string& what) {
  const std::string contig(pg.mSource.mSeq.begin(), pg.mSource.mSeq.end());
  const std::vector<CMHit>& hits = pg.mCM.mHits;

  std::vector<int> pads(contig.size(), 0);
  for (const CMHit& h : hits) {
    int p = h.mSourceStart - 1;
    int k = 0;
    for (size_t j = 0; j < h.mQueryAligned.mSeq.size(); ++j) {
      if (IsPad(SourceAt(h, j))) {
        ++k;
        ASSERT_GE(p, 0) << what;
        pads[p] = std::max(pads[p], k);
      } else {
        ++p;
        k = 0;
      }
    }
  }
  std::string unionContig;
  std::vector<int> column(contig.size());
  for (size_t p = 0; p < contig.size(); ++p) {
    column[p] = static_cast<int>(unionContig.size());
    unionContig += contig[p];
    unionContig.append(pads[p], '-');
  }
  ASSERT_EQ(Text(pg.mUnionSource), unionContig) << what;
  ASSERT_EQ(pg.mMergedReads.mSeqs.size(), hits.size()) << what;

  for (size_t r = 0; r < hits.size(); ++r) {
    const CMHit& h = hits[r];
    std::map<int, char> placed;
    int p = h.mSourceStart - 1;
    int k = 0;
    for (size_t j = 0; j < h.mQueryAligned.mSeq.size(); ++j) {
      const char c = h.mQueryAligned.mSeq[j];
      if (IsPad(SourceAt(h, j))) {
        ++k;
        placed[column[p] + k] = c;
      } else {
        ++p;
        k = 0;
        placed[column[p]] = c;
      }
    }
    std::string merged;
    int first = 0;
    if (!placed.empty()) {
      first = placed.begin()->first;
      for (int col = first; col <= placed.rbegin()->first; ++col) {
        auto it = placed.find(col);
        merged += it != placed.end() ? it->second : '-';
      }
    }
    EXPECT_EQ(Text(pg.mMergedReads.mSeqs[r]), merged) << what << " read " << r;
    if (!placed.empty()) {
      EXPECT_EQ(pg.mOffsets[r], first + 1) << what << " read " << r;
    }
    EXPECT_EQ(pg.mMergedReads.mSeqs[r].mName, h.mQueryAligned.mName) << what;
  }
}

void Merge(Pileograph& pg) {
  pg.ConstructSourceWithUnionOfReadPads();
  pg.InitWithQueries();
  pg.MergeReadPads();
}

// A random hit over contig positions [s, e]: substitutions, deletions on the
// read side, insertions (pads on the contig side, now and then '*'), leading
// pad columns when s > 0, and now and then a contig side cut short.
CMHit RandomHit(std::mt19937& rng, const std::string& contig, int idx) {
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  const char* bases = "ACGT";
  const int n = static_cast<int>(contig.size());
  const int s = static_cast<int>(rng() % n);
  const int e = std::min(n - 1, s + static_cast<int>(rng() % 60));
  std::string src, read;
  auto insertion = [&]() {
    const int len = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < len; ++i) {
      src += chance(10) ? '*' : '-';
      read += bases[rng() % 4];
    }
  };
  if (s > 0 && chance(15)) insertion();
  for (int p = s; p <= e; ++p) {
    src += contig[p];
    read += chance(8) ? '-' : chance(5) ? bases[rng() % 4] : contig[p];
    if (chance(10)) insertion();
  }
  if (chance(5)) src.resize(src.size() / 2);
  CMHit h;
  h.mSourceStart = s;
  h.mSourceEnd = e;
  h.mScore = 10;
  h.mVName = "r" + std::to_string(idx);
  h.mQueryAligned.mName = h.mVName;
  h.mQueryAligned.mSeq.assign(read.begin(), read.end());
  h.mSourceAligned.mSeq.assign(src.begin(), src.end());
  return h;
}

// A contig holding every base the report shows on the contig side; 'N' elsewhere.
std::string ContigFromHits(const std::vector<CMHit>& hits) {
  std::string contig;
  for (const CMHit& h : hits) {
    int p = h.mSourceStart;
    for (char c : h.mSourceAligned.mSeq) {
      if (IsPad(c)) continue;
      if (p >= static_cast<int>(contig.size())) contig.resize(p + 1, 'N');
      contig[p++] = c;
    }
  }
  return contig;
}

}  // namespace

TEST(PileographLayoutTest, RandomLayoutsMatchTheModel) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 200; ++round) {
    std::string contig;
    const int len = 1 + static_cast<int>(rng() % 150);
    for (int i = 0; i < len; ++i) contig += "ACGT"[rng() % 4];
    Pileograph pg;
    pg.mSource.mSeq.assign(contig.begin(), contig.end());
    const int hits = static_cast<int>(rng() % 25);
    for (int i = 0; i < hits; ++i) pg.mCM.mHits.push_back(RandomHit(rng, contig, i));
    Merge(pg);
    ExpectModelLayout(pg, "round " + std::to_string(round));
    if (HasFailure()) return;
  }
}

TEST(PileographLayoutTest, RealReportsMatchTheModel) {
  for (const char* file : {REALDATA_DIR "/dfam-curator/example-cm.align",
                           REALDATA_DIR "/bioperl/testdata.crossmatch"}) {
    Pileograph pg;
    pg.ReadCM(file);
    ASSERT_FALSE(pg.mCM.mHits.empty()) << file;
    const std::string contig = ContigFromHits(pg.mCM.mHits);
    pg.mSource.mSeq.assign(contig.begin(), contig.end());
    Merge(pg);
    ExpectModelLayout(pg, file);
  }
}
