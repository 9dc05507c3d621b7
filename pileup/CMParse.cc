#include "CMParse.h"

#include <cstring>
#include <fstream>
#include <utility>

#include "CLibraryAdditions.h"
#include "HashContainers.h"
#include "ParseUtils.h"

namespace {

struct BlankTable {
  bool mIsBlank[256] = {};
  BlankTable() {
    for (unsigned char c : {' ', '\t', '\n'}) mIsBlank[c] = true;
  }
};
const BlankTable kBlanks;

inline bool IsBlank(char c) { return kBlanks.mIsBlank[static_cast<unsigned char>(c)]; }

// Reads past one line whose text is not needed, with the same effect on the
// stream as GetLine.
inline void SkipLine(std::istream& in) { in.getline(readbuf, kReadBufSize); }

inline bool ContainsTransitions(const std::string& line) {
  static const char kWord[] = "Transitions";
  return memmem(line.data(), line.size(), kWord, sizeof kWord - 1) != nullptr;
}

// Bounds [begin, end) of the next blank-delimited token at or after `cursor`,
// with the cursor moved as GetNextWSDelimitedString moves it. Returns false
// (cursor -1) when no token is left.
bool NextToken(const std::string& text, int& cursor, int& begin, int& end) {
  const int n = static_cast<int>(text.size());
  if (cursor < 0 || cursor >= n) {
    cursor = -1;
    return false;
  }
  int b = cursor;
  while (b < n && IsBlank(text[b])) ++b;
  if (b == n) {
    cursor = -1;
    return false;
  }
  int e = b + 1;
  while (e < n && !IsBlank(text[e])) ++e;
  begin = b;
  end = e;
  cursor = e < n ? e + 1 : -1;
  return true;
}

// Moves the cursor past the next run of digits, as GetNextInteger does.
void SkipInteger(const std::string& text, int& cursor) {
  int begin = -1;
  int end = -1;
  if (cursor < 0 || FindNextInteger(text, cursor, begin, end) < 0) {
    cursor = -1;
    return;
  }
  cursor = end + 1;
}

// Steps over the character after a number (its closing parenthesis); an
// exhausted cursor stays exhausted.
inline void StepOne(int& cursor) {
  if (cursor >= 0) ++cursor;
}

// A block line: `skipTokens` leading tokens, a position, then the aligned
// text, whose characters are appended to `seq`.
void AppendBlockText(const std::string& line, int skipTokens, Sequence& seq) {
  int cursor = 0;
  int begin = 0;
  int end = 0;
  for (int i = 0; i < skipTokens; ++i) NextToken(line, cursor, begin, end);
  SkipInteger(line, cursor);
  if (NextToken(line, cursor, begin, end)) {
    seq.mSeq.insert(seq.mSeq.end(), line.begin() + begin, line.begin() + end);
  }
}

bool IsMatchLine(const std::string& line) {
  const size_t open = line.find('(');
  if (open == std::string::npos) return false;
  const size_t close = line.find(')', open);
  if (close == std::string::npos) return false;
  return ContainsOnlyDigits(line, static_cast<int>(open) + 1, static_cast<int>(close) - 1);
}

}  // namespace

void CMParse::Parse(std::string path) {
  std::ifstream in(path.c_str());
  Parse(in);
}

void CMParse::Parse(std::istream& in) {
  std::string line;
  CMHit hit;  // reused: its texts keep their capacity from hit to hit
  for (;;) {
    GetLine(in, line);
    if (IsMatchLine(line)) {
      hit.mQueryAligned.mSeq.clear();
      hit.mSourceAligned.mSeq.clear();
      ParseStatsFromLine(line, hit);
      const int queryTokens = hit.mIsReverse ? 2 : 1;
      SkipLine(in);
      GetLine(in, line);
      while (!ContainsTransitions(line) && !in.eof() && !in.fail()) {
        AppendBlockText(line, queryTokens, hit.mQueryAligned);
        SkipLine(in);
        GetLine(in, line);
        AppendBlockText(line, 1, hit.mSourceAligned);
        SkipLine(in);
        GetLine(in, line);
      }
      mHits.push_back(hit);  // the copy holds its texts without spare capacity
    }
    if (in.eof() || in.fail()) break;
  }
}

void CMParse::ParseStatsFromLine(const std::string& line, CMHit& hit) {
  int cursor = 0;
  hit.mScore = GetNextInteger(line, cursor, cursor);
  hit.mSubstitutions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mDeletions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mInsertions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mVName = GetNextWSDelimitedString(line, cursor, cursor);
  hit.mQueryAligned.mName = hit.mVName;
  hit.mQueryStart = GetNextInteger(line, cursor, cursor) - 1;
  hit.mQueryEnd = GetNextInteger(line, cursor, cursor) - 1;
  GetNextInteger(line, cursor, cursor);
  StepOne(cursor);
  std::string token = GetNextWSDelimitedString(line, cursor, cursor);
  if (token == "C") {
    hit.mIsReverse = true;
    hit.mSourceName = GetNextWSDelimitedString(line, cursor, cursor);
    GetNextInteger(line, cursor, cursor);
    StepOne(cursor);
    hit.mSourceStart = GetNextInteger(line, cursor, cursor) - 1;
    hit.mSourceEnd = GetNextInteger(line, cursor, cursor) - 1;
  } else {
    hit.mIsReverse = false;
    hit.mSourceName = std::move(token);
    hit.mSourceStart = GetNextInteger(line, cursor, cursor) - 1;
    hit.mSourceEnd = GetNextInteger(line, cursor, cursor) - 1;
    GetNextInteger(line, cursor, cursor);
    StepOne(cursor);
  }
  hit.mSourceAligned.mName = hit.mSourceName;
  hit.mHasStar = line.find('*') != std::string::npos;
}

bool CMParse::MatchLine(std::string line) { return IsMatchLine(line); }

void CMParse::NormalizeToAlignment() { NormalizeToAlignment(0); }

void CMParse::NormalizeToAlignment(size_t first) {
  for (size_t i = first; i < mHits.size(); ++i) {
    CMHit& hit = mHits[i];
    if (hit.mIsReverse) std::swap(hit.mSourceStart, hit.mSourceEnd);
  }
}

void CMParse::RemoveAllButBestMatches() {
  String2IntMap best;
  best.reserve(mHits.size());
  for (const CMHit& hit : mHits) {
    auto found = best.find(hit.mQueryAligned.mName);
    if (found == best.end()) {
      best.emplace(hit.mQueryAligned.mName, hit.mScore);
    } else if (hit.mScore > found->second) {
      found->second = hit.mScore;
    }
  }
  // Keep the best hits in place, in order.
  size_t kept = 0;
  for (size_t i = 0; i < mHits.size(); ++i) {
    if (mHits[i].mScore != best[mHits[i].mQueryAligned.mName]) continue;
    if (kept != i) mHits[kept] = std::move(mHits[i]);
    ++kept;
  }
  mHits.erase(mHits.begin() + static_cast<std::ptrdiff_t>(kept), mHits.end());
}
