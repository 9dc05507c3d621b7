#include "ParseUtils.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "CLibraryAdditions.h"

namespace {

// Character classes. Constant-initialised, so usable from any static
// initialiser of another module.
constexpr std::string_view gWS = " \t\n";
constexpr std::string_view gNumbers = "1234567890";
[[maybe_unused]] constexpr std::string_view gLetters = "abcdefghijklmnopqrstuvwxyz";
[[maybe_unused]] constexpr std::string_view gUCLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

struct CharClass {
  bool mIn[256];
};

constexpr CharClass MakeClass(std::string_view members) {
  CharClass c{};
  for (char ch : members) c.mIn[static_cast<unsigned char>(ch)] = true;
  return c;
}

constexpr CharClass kWS = MakeClass(gWS);
constexpr CharClass kDigits = MakeClass(gNumbers);

inline bool IsWS(char c) { return kWS.mIn[static_cast<unsigned char>(c)]; }
inline bool IsDigit(char c) { return kDigits.mIn[static_cast<unsigned char>(c)]; }

// Length as an int position bound, with room for index arithmetic; text
// beyond that bound (2 GiB) is not scanned.
constexpr int kMaxScan = INT_MAX - 2;
inline int Length(const std::string& text) {
  return text.size() > static_cast<std::size_t>(kMaxScan) ? kMaxScan
                                                          : static_cast<int>(text.size());
}

// Start positions outside the text find nothing.
inline bool InText(const std::string& text, int pos) { return pos >= 0 && pos < Length(text); }

// Index of the first digit at or after `from`, or -1.
int FirstDigit(const std::string& text, int from) {
  if (!InText(text, from)) return -1;
  const char* s = text.data();
  const int n = Length(text);
  for (int i = from; i < n; ++i)
    if (IsDigit(s[i])) return i;
  return -1;
}

// Index of the last digit of the run that starts at `begin`.
int EndOfDigitRun(const std::string& text, int begin) {
  const char* s = text.data();
  const int n = Length(text);
  int i = begin;
  while (i + 1 < n && IsDigit(s[i + 1])) ++i;
  return i;
}

inline bool MinusBefore(const std::string& text, int begin) {
  return begin > 0 && text[begin - 1] == '-';
}

// Value of the digits begin..end as strtol would give it.
inline long DigitRunValue(const std::string& text, int begin, int end) {
  return ParseCLong(text.data() + begin, text.data() + end + 1);
}

// Value of `s` as sscanf "%lf" reads it; strtod applies the same rules to
// text that begins with an optional '-' and a digit.
double ConvertDouble(const char* s) { return std::strtod(s, nullptr); }

// Position of `pattern` at or after `from` (empty pattern: from itself while
// from <= length), or -1; negative `from` finds nothing.
int Find(const std::string& text, const std::string& pattern, int from) {
  if (from < 0) return -1;
  const std::size_t p = text.find(pattern, static_cast<std::size_t>(from));
  return p == std::string::npos || p > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(p);
}

inline const char* OrEmpty(const char* s) { return s ? s : ""; }

}  // namespace

void ShowHidden(const std::string& text, std::ostream& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    out << i << ':';
    switch (text[i]) {
      case ' ':
        out << "SPACE";
        break;
      case '\t':
        out << "TAB";
        break;
      case '\n':
        out << "NEWLINE";
        break;
      default:
        out << text[i];
    }
    out << std::endl;
  }
}

void Split(const std::string& text, std::vector<std::string>& pieces, std::string delimiter) {
  pieces.clear();
  std::size_t q = text.find(delimiter);
  if (q == std::string::npos) return;
  pieces.emplace_back(text, 0, q);
  std::size_t pos = q + delimiter.size();
  for (;;) {
    q = text.find(delimiter, pos);
    if (q == std::string::npos || q == pos) {
      pieces.emplace_back(text, pos);
      return;
    }
    pieces.emplace_back(text, pos, q - pos);
    pos = q + delimiter.size();
  }
}

int CutString(const std::string& text, std::string& field, int n, char delimiter) {
  if (n < 0) {
    field.clear();
    return 0;
  }
  if (n == 0) {
    field = text;
    return 1;
  }
  std::size_t start = 0;
  for (int k = 1; k < n; ++k) {
    const std::size_t d = text.find(delimiter, start);
    if (d == std::string::npos) {
      field.clear();
      return 0;
    }
    start = d + 1;
  }
  const std::size_t stop = text.find(delimiter, start);
  field.assign(text, start, stop == std::string::npos ? std::string::npos : stop - start);
  return 1;
}

int Cut(const std::string& text, std::string& field, int n, char delimiter) {
  return CutString(text, field, n, delimiter);
}

void StripLeadingSpaces(std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsWS(text[i])) ++i;
  text.erase(0, i);
}

void StripTrailingSpace(std::string& text) {
  std::size_t n = text.size();
  while (n > 0 && IsWS(text[n - 1])) --n;
  text.resize(n);
}

void StripWhiteSpace(std::string& text) {
  text.erase(std::remove_if(text.begin(), text.end(), IsWS), text.end());
}

void ToLowerCase(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void ToUpperCase(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool StartsWith(const std::string& text, const char* prefix) {
  prefix = OrEmpty(prefix);
  const std::size_t len = std::strlen(prefix);
  return text.size() >= len && text.compare(0, len, prefix, len) == 0;
}

bool Contains(const std::string& text, const std::string& pattern) {
  return text.find(pattern) != std::string::npos;
}

bool Contains(const std::string& text, const char* pattern) {
  return text.find(OrEmpty(pattern)) != std::string::npos;
}

bool ContainsOnlyWS(const std::string& text) {
  for (char c : text)
    if (!IsWS(c)) return false;
  return true;
}

bool ContainsOnlyDigits(const std::string& text, int from, int to) {
  int p = -1;
  if (InText(text, from)) {
    const char* s = text.data();
    const int n = Length(text);
    for (int i = from; i < n; ++i) {
      if (!IsDigit(s[i])) {
        p = i;
        break;
      }
    }
  }
  return p > to;
}

bool IsBase(char character) {
  switch (character) {
    case 'A': case 'C': case 'G': case 'T': case 'N': case 'X':
    case 'a': case 'c': case 'g': case 't': case 'n': case 'x':
      return true;
    default:
      return false;
  }
}

int FindNextInteger(const std::string& text, int from, int& begin, int& end) {
  begin = -1;
  end = -1;
  const int b = FirstDigit(text, from);
  if (b < 0) return -1;
  begin = b;
  end = EndOfDigitRun(text, b);
  return 0;
}

int FindNextDouble(const std::string& text, int from, int& begin, int& end) {
  if (FindNextInteger(text, from, begin, end) < 0) return -1;
  const char* s = text.data();
  const int n = Length(text);
  // Fraction: a point followed at once by digits.
  if (end + 2 < n && s[end + 1] == '.' && IsDigit(s[end + 2])) end = EndOfDigitRun(text, end + 2);
  // Exponent: 'e' or 'E', then the next digit run wherever it starts.
  if (end + 1 < n && (s[end + 1] == 'e' || s[end + 1] == 'E')) {
    const int d = FirstDigit(text, end + 2);
    if (d >= 0) end = EndOfDigitRun(text, d);
  }
  return 0;
}

int GetNextInteger(const std::string& text, int start, int& next) {
  int begin, end;
  if (FindNextInteger(text, start, begin, end) < 0) {
    next = -1;
    return 0;
  }
  next = end + 1;
  // atoi of the digits: the strtol value narrowed to int (low bits kept).
  const unsigned int magnitude = static_cast<unsigned int>(DigitRunValue(text, begin, end));
  // Negating in unsigned arithmetic keeps INT_MIN well defined.
  return static_cast<int>(MinusBefore(text, begin) ? 0U - magnitude : magnitude);
}

long GetNextLong(const std::string& text, int start, int& next) {
  int begin, end;
  if (FindNextInteger(text, start, begin, end) < 0) {
    next = -1;
    return 0;
  }
  next = end + 1;
  const long value = DigitRunValue(text, begin, end);  // 0..LONG_MAX
  return MinusBefore(text, begin) ? -value : value;
}

double GetNextDouble(const std::string& text, int start, int& next) {
  int begin, end;
  if (FindNextDouble(text, start, begin, end) < 0) {
    next = -1;
    return 0.0;
  }
  next = end + 1;
  const bool minus = MinusBefore(text, begin);
  const std::size_t len = static_cast<std::size_t>(end - begin + 1);
  char small[128];
  if (len + 2 <= sizeof small) {
    char* p = small;
    if (minus) *p++ = '-';
    std::memcpy(p, text.data() + begin, len);
    p[len] = '\0';
    return ConvertDouble(small);
  }
  std::string number = minus ? "-" : "";
  number.append(text, static_cast<std::size_t>(begin), len);
  return ConvertDouble(number.c_str());
}

int NextInt(const std::string& text, int& cursor) { return GetNextInteger(text, cursor, cursor); }

long NextLong(const std::string& text, int& cursor) { return GetNextLong(text, cursor, cursor); }

double NextDouble(const std::string& text, int& cursor) {
  return GetNextDouble(text, cursor, cursor);
}

float NextFloat(const std::string& text, int& cursor) {
  return static_cast<float>(GetNextDouble(text, cursor, cursor));
}

int GetAllIntegers(const std::string& text, std::vector<int>& values) {
  int cursor = 0;
  do {
    const int value = GetNextInteger(text, cursor, cursor);
    if (cursor >= 0) values.push_back(value);
  } while (cursor > 0);
  return static_cast<int>(values.size());
}

int GetAllDoubles(const std::string& text, std::vector<double>& values) {
  int cursor = 0;
  do {
    const double value = GetNextDouble(text, cursor, cursor);
    if (cursor >= 0) values.push_back(value);
  } while (cursor > 0);
  return static_cast<int>(values.size());
}

std::string GetNextWSDelimitedString(const std::string& text, int start, int& next) {
  next = -1;
  if (!InText(text, start)) return std::string();
  const char* s = text.data();
  const int n = Length(text);
  int b = start;
  while (b < n && IsWS(s[b])) ++b;
  if (b == n) return std::string();
  int e = b + 1;
  while (e < n && !IsWS(s[e])) ++e;
  if (e < n) next = e + 1;
  return std::string(s + b, s + e);
}

std::string SplitNext(const std::string& text, int& cursor) {
  return GetNextWSDelimitedString(text, cursor, cursor);
}

std::string NextString(const std::string& text, int& cursor) {
  return GetNextWSDelimitedString(text, cursor, cursor);
}

void GetIntsFromLine(char* line, std::vector<int>& values) {
  if (line == nullptr) return;
  const std::size_t n = std::strlen(line);
  std::size_t i = 0;
  std::size_t j;
  do {
    while (i < n && IsWS(line[i])) ++i;
    j = i;
    while (j < n && !IsWS(line[j])) ++j;
    line[j] = '\0';
    values.push_back(static_cast<int>(ParseCLong(line + i, line + j)));
    i = j + 1;
  } while (j + 1 < n);
}

void GetIntsFromLine(std::string line, std::vector<int>& values) {
  const std::size_t n = line.size();
  const char* s = line.data();
  std::size_t pos = 0;
  for (;;) {
    std::size_t b = pos;
    while (b < n && IsWS(s[b])) ++b;
    if (b == n) return;
    std::size_t e = b;
    while (e < n && !IsWS(s[e])) ++e;
    values.push_back(static_cast<int>(ParseCLong(s + b, s + e)));
    pos = e;
  }
}

int FindNextOf(const std::vector<std::string>& keys, const std::string& text, int from, int& begin,
               int& end) {
  begin = -1;
  end = -1;
  int which = 0;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const int p = Find(text, keys[k], from);
    if (p >= 0 && (begin < 0 || p < begin)) {
      begin = p;
      end = p + static_cast<int>(keys[k].size()) - 1;
      which = static_cast<int>(k);
    }
  }
  return which;
}

bool GetNextKeyword(const std::vector<std::string>& keys, const std::string& text, int from,
                    int& next, std::string& word) {
  int begin, end;
  FindNextOf(keys, text, from, begin, end);
  if (begin < 0) {
    next = -1;
    return false;
  }
  next = end + 1;
  word.assign(text, static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin + 1));
  return true;
}

void GetRemainderAfter(const char* marker, const std::string& text, std::string& remainder) {
  const std::size_t len = std::strlen(OrEmpty(marker));
  const std::size_t p = len == 0 ? std::string::npos : text.find(marker, 0, len);
  if (p == std::string::npos) {
    remainder.clear();
  } else {
    remainder.assign(text, p + len, std::string::npos);
  }
}

namespace {

// Reads lines until `matches` accepts one (true) or the input ends or the
// stream fails (false; `line` then holds what the last read gave).
template <typename Match>
bool ReadUntil(std::istream& in, std::string& line, Match matches) {
  for (;;) {
    const bool ok = GetLine(in, line);
    if (matches(line)) return true;
    if (!ok || in.eof()) return false;
  }
}

}  // namespace

bool GetNextLineContaining(std::istream& in, const std::string& pattern, std::string& line) {
  return ReadUntil(in, line, [&](const std::string& l) { return Contains(l, pattern); });
}

bool GetNextLineContaining(std::istream& in, const char* pattern, std::string& line) {
  return ReadUntil(in, line, [&](const std::string& l) { return Contains(l, pattern); });
}

bool GetNextLineContaining(std::istream& in, const char* first, const char* second,
                           std::string& line) {
  return ReadUntil(in, line, [&](const std::string& l) {
    return Contains(l, first) || Contains(l, second);
  });
}

bool GetNextLineContaining(std::istream& in, const std::vector<std::string>& keys,
                           std::string& line, int& which) {
  which = 0;
  return ReadUntil(in, line, [&](const std::string& l) {
    int begin, end;
    which = FindNextOf(keys, l, 0, begin, end);
    return begin >= 0;
  });
}
