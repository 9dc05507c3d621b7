// The scanning utilities, line reading, number text and padded printing on
// arbitrary text, walked with their own cursors; the coordinate maps of a
// sequence made of that text.
#include <climits>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "CLibraryAdditions.h"
#include "FuzzTempFile.h"
#include "ParseUtils.h"
#include "PrintUtils.h"
#include "Sequence.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// A cursor walk ends: every step moves forward or ends at -1.
template <typename Step>
void Walk(const std::string& text, int from, Step step) {
  int cursor = from;
  for (size_t guard = 0; cursor >= 0; ++guard) {
    Check(guard <= text.size() + 1);
    const int before = cursor;
    step(text, cursor);
    Check(cursor == -1 || cursor > before);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int from = static_cast<int8_t>(data[0]);
  char delim = static_cast<char>(data[1]);
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const int n = static_cast<int>(text.size());

  Walk(text, from, [](const std::string& t, int& c) { NextInt(t, c); });
  Walk(text, from, [](const std::string& t, int& c) { NextLong(t, c); });
  Walk(text, from, [](const std::string& t, int& c) { NextDouble(t, c); });
  Walk(text, from, [](const std::string& t, int& c) { NextFloat(t, c); });
  Walk(text, from, [](const std::string& t, int& c) { SplitNext(t, c); });
  Walk(text, from, [](const std::string& t, int& c) { NextString(t, c); });

  const int starts[] = {from, -1, INT_MIN, n, n - 1, INT_MAX};
  for (int s : starts) {
    int begin, end, next;
    if (FindNextInteger(text, s, begin, end) == 0) Check(begin >= 0 && begin <= end && end < n);
    if (FindNextDouble(text, s, begin, end) == 0) Check(begin >= 0 && begin <= end && end < n);
    GetNextInteger(text, s, next);
    GetNextLong(text, s, next);
    GetNextDouble(text, s, next);
    const std::string token = GetNextWSDelimitedString(text, s, next);
    Check(token.size() <= text.size());
    ContainsOnlyDigits(text, s, s > INT_MAX - 3 ? INT_MAX : s + 3);
    ContainsOnlyDigits(text, s, INT_MAX);
  }

  std::vector<int> ints;
  std::vector<double> doubles;
  GetAllIntegers(text, ints);
  GetAllDoubles(text, doubles);
  GetIntsFromLine(text, ints);
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  GetIntsFromLine(buf.data(), ints);

  std::string field;
  CutString(text, field, from, delim);
  Cut(text, field, INT_MAX, delim);
  std::vector<std::string> pieces;
  Split(text, pieces, std::string(1, delim));
  Split(text, pieces, std::string());
  std::vector<std::string> keys = {std::string(1, delim), "ab", ""};
  int begin, end, next;
  FindNextOf(keys, text, from, begin, end);
  FindNextOf(keys, text, n, begin, end);
  GetNextKeyword(keys, text, from, next, field);
  GetRemainderAfter("=>", text, field);
  GetRemainderAfter("", text, field);
  ContainsOnlyWS(text);
  StartsWith(text, "ab");
  StartsWith(text, field);
  Contains(text, field);
  Contains(text, "");
  IsBase(delim);

  std::ostringstream out;
  if (text.size() < 4096) ShowHidden(text, out);
  PrintSpacePaddedString(out, from, text);
  PrintSpacePaddedNum(out, from, static_cast<int>(text.size()) * (delim & 1 ? -1 : 1));
  PrintSpacePaddedNum(out, 12, INT_MIN);
  PrintSpacePaddedFloat(out, from, static_cast<float>(doubles.empty() ? 0.0 : doubles.back()));
  itoa(ints.empty() ? INT_MIN : ints.back());
  ftoa(static_cast<float>(doubles.empty() ? 1e38 : doubles.back()));
  atoi(text);
  std::string formatted;
  sprintf(16, formatted, "%s", text.c_str());
  Check(formatted.size() <= 15);

  // Line search and line reading over the text as a stream.
  {
    std::istringstream in(text);
    std::string line;
    int which;
    GetNextLineContaining(in, keys, line, which);
    GetNextLineContaining(in, "ab", "cd", line);
    GetNextLineContaining(in, std::string(1, delim), line);
  }
  {
    std::istringstream in(text);
    std::string line;
    size_t lines = 0;
    while (GetLine(in, line)) {
      Check(++lines <= text.size() + 1);
      Check(line.size() < static_cast<size_t>(kReadBufSize));
    }
  }

  // The block line reader, from a file and from a stream, answers as the
  // getline step with the same limit.
  {
    const size_t limit = 1 + (text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 40);
    const FuzzTempFile file(data + 2, size - 2);
    std::istringstream ref(text);
    std::istringstream in(text);
    LineReader fromFile(file.Path(), limit);
    LineReader fromStream(in, limit);
    std::vector<char> buf(limit + 1);
    for (bool ok = true; ok;) {
      size_t want = 0;
      bool cut = false;
      ok = GetLineInto(ref, buf.data(), buf.size(), want, cut);
      const bool ended = ref.eof() || ref.fail();
      for (LineReader* reader : {&fromFile, &fromStream}) {
        char* line = nullptr;
        size_t n = 0;
        Check(reader->Next(line, n) == ok);
        Check(n == want && std::memcmp(line, buf.data(), n) == 0 && line[n] == '\0');
        Check(reader->Ended() == ended);
      }
      Check(in.eof() == ref.eof() && in.fail() == ref.fail());
    }
  }

  std::string copy = text;
  StripLeadingSpaces(copy);
  StripTrailingSpace(copy);
  StripWhiteSpace(copy);
  ToUpperCase(copy);
  ToLowerCase(copy);

  // Coordinate maps of a padded sequence: depadded then padded again is
  // the identity on its bases.
  Sequence seq;
  seq.ConcatenateString(text);
  const int len = static_cast<int>(seq.mSeq.size());
  for (int i = -2; i <= len + 2 && i < 300; ++i) {
    const int k = seq.Padded2Depadded(i);
    if (i >= 0 && i < len && seq.mSeq[i] != '-' && seq.mSeq[i] != '*') Check(seq.Depadded2Padded(k) == i);
  }
  seq.Depadded2Padded(INT_MAX);
  seq.Depadded2Padded(INT_MIN);
  seq.Padded2Depadded(INT_MAX);
  seq.Padded2Depadded(INT_MIN);
  Sequence sub;
  seq.GetSubSequence(sub, from, from + 40);
  seq.GetSubSequence(sub, LONG_MIN, LONG_MAX);
  seq.Trim(from, len - from);
  seq.ReverseComplement();
  int length, gc, cpg;
  seq.ComputeGCStats(length, gc, cpg);
  return 0;
}
