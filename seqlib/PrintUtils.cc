#include "PrintUtils.h"

#include <cstdio>
#include <ctime>

namespace {

// Writes `count` blanks (nothing when count <= 0).
void WriteBlanks(std::ostream& out, long count) {
  static const char kBlanks[] = "                                                                ";
  constexpr long kChunk = sizeof kBlanks - 1;
  while (count > 0) {
    const long n = count < kChunk ? count : kChunk;
    out.write(kBlanks, n);
    count -= n;
  }
}

// Writes `text` right-aligned in a field of `width`.
void WriteRightAligned(std::ostream& out, int width, const char* text, int len) {
  WriteBlanks(out, static_cast<long>(width) - len);
  out.write(text, len);
}

}  // namespace

std::string GetDateStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
    return "00000000";
  }
  char buf[512];
  const int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d", local.tm_year + 1900,
                              local.tm_mon + 1, local.tm_mday);
  return std::string(buf, n > 0 ? n : 0);
}

void PrintSpacePaddedNum(std::ostream& out, int width, int value) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%d", value);
  WriteRightAligned(out, width, buf, n > 0 ? n : 0);
}

void PrintSpacePaddedFloat(std::ostream& out, int width, float value) {
  // "%3.3f" of any float fits in well under 64 characters.
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%3.3f", static_cast<double>(value));
  WriteRightAligned(out, width, buf, n > 0 ? n : 0);
}

void PrintSpacePaddedString(std::ostream& out, int width, std::string text) {
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  WriteBlanks(out, static_cast<long>(width) - static_cast<long>(text.size()));
}
