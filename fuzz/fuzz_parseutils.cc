// The scanning utilities on arbitrary text, walked with their own cursors.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "ParseUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int from = static_cast<int8_t>(data[0]);
  char delim = static_cast<char>(data[1]);
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

  int cursor = from;
  for (int guard = 0; cursor >= 0 && guard <= static_cast<int>(text.size()); ++guard) NextInt(text, cursor);
  cursor = from;
  for (int guard = 0; cursor >= 0 && guard <= static_cast<int>(text.size()); ++guard) NextDouble(text, cursor);
  cursor = from;
  for (int guard = 0; cursor >= 0 && guard <= static_cast<int>(text.size()); ++guard) SplitNext(text, cursor);

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
  std::vector<std::string> pieces;
  Split(text, pieces, std::string(1, delim));
  std::vector<std::string> keys = {std::string(1, delim), "ab", ""};
  int begin, end, next;
  FindNextOf(keys, text, from, begin, end);
  GetNextKeyword(keys, text, from, next, field);
  GetRemainderAfter("=>", text, field);
  ContainsOnlyDigits(text, from, from + 3);
  ContainsOnlyWS(text);
  StartsWith(text, "ab");
  Contains(text, field);

  std::istringstream in(text);
  std::string line;
  int which;
  GetNextLineContaining(in, keys, line, which);

  std::string copy = text;
  StripLeadingSpaces(copy);
  StripTrailingSpace(copy);
  StripWhiteSpace(copy);
  ToUpperCase(copy);
  return 0;
}
