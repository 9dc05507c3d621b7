#include "CMParse.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "CLibraryAdditions.h"
#include "HashContainers.h"
#include "ParseUtils.h"

namespace {

// A report's 1-based position as 0-based; the lowest int stays as it is
// instead of overflowing.
inline int ZeroBased(int position) { return position == INT_MIN ? INT_MIN : position - 1; }

struct BlankTable {
  bool mIsBlank[256] = {};
  BlankTable() {
    for (unsigned char c : {' ', '\t', '\n'}) mIsBlank[c] = true;
  }
};
const BlankTable kBlanks;

inline bool IsBlank(char c) { return kBlanks.mIsBlank[static_cast<unsigned char>(c)]; }

// A line as the reader gives it, left where it was read; valid until the
// next read.
struct LineView {
  char* mText = nullptr;
  int mLength = 0;
};

// The positions of a line are ints: a line past INT_MAX characters is seen
// only up to there.
inline void ReadLine(LineReader& lines, LineView& line) {
  size_t n = 0;
  lines.Next(line.mText, n);
  line.mLength = n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Block lines are full of bases, which never hold an 'o': most are told
// apart by one memchr, the rest by the word search.
inline bool ContainsTransitions(const char* text, size_t n) {
  static const char kWord[] = "Transitions";
  if (std::memchr(text, 'o', n) == nullptr) return false;
  return memmem(text, n, kWord, sizeof kWord - 1) != nullptr;
}

inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// End of the run of non-blank characters that starts at `from` (or `n`).
// A line never holds '\n', so the blanks to look for are ' ' and '\t'.
inline int EndOfToken(const char* text, int from, int n) {
  const char* begin = text + from;
  const size_t len = static_cast<size_t>(n - from);
  const void* space = std::memchr(begin, ' ', len);
  const size_t upTo = space ? static_cast<size_t>(static_cast<const char*>(space) - begin) : len;
  const void* tab = std::memchr(begin, '\t', upTo);
  const size_t stop = tab ? static_cast<size_t>(static_cast<const char*>(tab) - begin) : upTo;
  return from + static_cast<int>(stop);
}

// Bounds [begin, end) of the next blank-delimited token at or after `cursor`,
// with the cursor moved as GetNextWSDelimitedString moves it. Returns false
// (cursor -1) when no token is left.
bool NextToken(const char* text, int n, int& cursor, int& begin, int& end) {
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
  int e = EndOfToken(text, b + 1, n);
  begin = b;
  end = e;
  cursor = e < n ? e + 1 : -1;
  return true;
}

// Moves the cursor past the next run of digits, as GetNextInteger does.
void SkipInteger(const char* text, int n, int& cursor) {
  if (cursor < 0 || cursor >= n) {
    cursor = -1;
    return;
  }
  int b = cursor;
  while (b < n && !IsDigitChar(text[b])) ++b;
  if (b == n) {
    cursor = -1;
    return;
  }
  int e = b + 1;
  while (e < n && IsDigitChar(text[e])) ++e;
  cursor = e;
}

// A block line: `skipTokens` leading tokens, a position, then the aligned
// text, whose characters are appended to `seq`.
void AppendBlockText(const LineView& line, int skipTokens, Sequence& seq) {
  const char* text = line.mText;
  const int n = line.mLength;
  int cursor = 0;
  int begin = 0;
  int end = 0;
  for (int i = 0; i < skipTokens; ++i) NextToken(text, n, cursor, begin, end);
  SkipInteger(text, n, cursor);
  if (NextToken(text, n, cursor, begin, end)) {
    seq.mSeq.insert(seq.mSeq.end(), text + begin, text + end);
  }
}

// Steps over the character after a number (its closing parenthesis); an
// exhausted cursor stays exhausted.
inline void StepOne(int& cursor) {
  if (cursor >= 0) ++cursor;
}

// A match line: its first '(' and the first ')' after it enclose digits only.
bool IsMatchLine(const char* text, size_t n) {
  const char* open = static_cast<const char*>(std::memchr(text, '(', n));
  if (open == nullptr) return false;
  const char* end = text + n;
  const char* close = static_cast<const char*>(std::memchr(open, ')', static_cast<size_t>(end - open)));
  if (close == nullptr) return false;
  return std::all_of(open + 1, close, IsDigitChar);
}

}  // namespace

namespace {

// Appends the hits of the report's lines to `cm.mHits`.
void ParseLines(LineReader& lines, CMParse& cm) {
  std::string line;
  CMHit hit;  // reused: its texts keep their capacity from hit to hit
  LineView block;
  for (;;) {
    ReadLine(lines, block);
    if (IsMatchLine(block.mText, static_cast<size_t>(block.mLength))) {
      line.assign(block.mText, static_cast<size_t>(block.mLength));
      hit.mQueryAligned.mSeq.clear();
      hit.mSourceAligned.mSeq.clear();
      cm.ParseStatsFromLine(line, hit);
      const int queryTokens = hit.mIsReverse ? 2 : 1;
      lines.Skip();
      ReadLine(lines, block);
      while (!ContainsTransitions(block.mText, static_cast<size_t>(block.mLength)) &&
             !lines.Ended()) {
        AppendBlockText(block, queryTokens, hit.mQueryAligned);
        lines.Skip();
        ReadLine(lines, block);
        AppendBlockText(block, 1, hit.mSourceAligned);
        lines.Skip();
        ReadLine(lines, block);
      }
      cm.mHits.push_back(hit);  // the copy holds its texts without spare capacity
    }
    if (lines.Ended()) break;
  }
}

}  // namespace

void CMParse::Parse(std::string path) {
  int error = 0;
  Parse(path, error);
}

bool CMParse::Parse(const std::string& path, int& error) {
  LineReader lines(path);
  return Parse(lines, error);
}

bool CMParse::Parse(LineReader& lines, int& error) {
  const size_t first = mHits.size();
  ParseLines(lines, *this);
  error = lines.Error();
  if (error == 0) return true;
  // Nothing of a report that failed to read is kept.
  mHits.erase(mHits.begin() + static_cast<std::ptrdiff_t>(first), mHits.end());
  return false;
}

void CMParse::Parse(std::istream& in) {
  LineReader lines(in);
  ParseLines(lines, *this);
}

void CMParse::ParseStatsFromLine(const std::string& line, CMHit& hit) {
  int cursor = 0;
  hit.mScore = GetNextInteger(line, cursor, cursor);
  hit.mSubstitutions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mDeletions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mInsertions = static_cast<float>(GetNextDouble(line, cursor, cursor));
  hit.mVName = GetNextWSDelimitedString(line, cursor, cursor);
  hit.mQueryAligned.mName = hit.mVName;
  hit.mQueryStart = ZeroBased(GetNextInteger(line, cursor, cursor));
  hit.mQueryEnd = ZeroBased(GetNextInteger(line, cursor, cursor));
  GetNextInteger(line, cursor, cursor);
  StepOne(cursor);
  std::string token = GetNextWSDelimitedString(line, cursor, cursor);
  if (token == "C") {
    hit.mIsReverse = true;
    hit.mSourceName = GetNextWSDelimitedString(line, cursor, cursor);
    GetNextInteger(line, cursor, cursor);
    StepOne(cursor);
    hit.mSourceStart = ZeroBased(GetNextInteger(line, cursor, cursor));
    hit.mSourceEnd = ZeroBased(GetNextInteger(line, cursor, cursor));
  } else {
    hit.mIsReverse = false;
    hit.mSourceName = std::move(token);
    hit.mSourceStart = ZeroBased(GetNextInteger(line, cursor, cursor));
    hit.mSourceEnd = ZeroBased(GetNextInteger(line, cursor, cursor));
    GetNextInteger(line, cursor, cursor);
    StepOne(cursor);
  }
  hit.mSourceAligned.mName = hit.mSourceName;
  hit.mHasStar = line.find('*') != std::string::npos;
}

bool CMParse::MatchLine(std::string line) { return IsMatchLine(line.data(), line.size()); }

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
