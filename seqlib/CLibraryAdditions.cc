#include "CLibraryAdditions.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

char readbuf[kReadBufSize];

bool GetLineInBuffer(std::istream& in, std::size_t& length) {
  readbuf[0] = '\0';
  in.getline(readbuf, kReadBufSize);
  const bool ok = !in.fail();

  // The line is the buffer's text up to its first NUL.
  const void* nul = std::memchr(readbuf, '\0', kReadBufSize);
  std::size_t len = nul ? static_cast<const char*>(nul) - readbuf : kReadBufSize - 1;

  // A '\r' that is the last character stored, right before the consumed '\n'
  // or before the end of the input, belongs to the line end.
  if (ok && len > 0 && readbuf[len - 1] == '\r') {
    std::streamsize stored = in.gcount();
    if (!in.eof()) --stored;  // the '\n' was consumed as well
    if (stored == static_cast<std::streamsize>(len)) --len;
  }
  length = len;
  return ok;
}

bool GetLine(std::istream& in, std::string& line) {
  std::size_t len = 0;
  const bool ok = GetLineInBuffer(in, len);
  line.assign(readbuf, len);
  return ok;
}

std::string itoa(int value) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%d", value);
  return std::string(buf, n > 0 ? n : 0);
}

std::string itostring(int value) { return itoa(value); }

namespace {

// Largest text the formatted conversions produce (the rest is cut).
constexpr std::size_t kFormatBufSize = 64 * 1024;

// True when `format` consumes exactly one double: one conversion among
// f F e E g G a A (flags, width, precision and an 'l' allowed, no '*'),
// besides any number of "%%".
bool IsSingleDoubleFormat(const char* format) {
  int conversions = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p && std::strchr("-+ #0'", *p)) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == 'l') ++p;
    if (!*p || !std::strchr("fFeEgGaA", *p)) return false;
    ++conversions;
  }
  return conversions == 1;
}

}  // namespace

std::string ftoa(float value) {
  // "%f" of any float fits in well under 64 characters.
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%f", static_cast<double>(value));
  return std::string(buf, n > 0 ? n : 0);
}

std::string ftostring(float value) { return ftoa(value); }

std::string ftoa(float value, std::string format) {
  if (!IsSingleDoubleFormat(format.c_str())) return std::string();
  const double v = value;
  char small[128];
  const int n = std::snprintf(small, sizeof small, format.c_str(), v);
  if (n < 0) return std::string();
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, n);
  // Long result: format again straight into the string, cut to the buffer size.
  const std::size_t len = std::min<std::size_t>(n, kFormatBufSize - 1);
  std::string out(len, '\0');
  std::snprintf(&out[0], len + 1, format.c_str(), v);
  return out;
}

long ParseCLong(const char* first, const char* last) {
  const char* p = first;
  while (p < last && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  bool negative = false;
  if (p < last && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Accumulate the magnitude, stopping at the limit of the sign's side.
  const unsigned long limit =
      negative ? static_cast<unsigned long>(LONG_MAX) + 1UL : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  for (; p < last && *p >= '0' && *p <= '9'; ++p) {
    const unsigned long digit = static_cast<unsigned long>(*p - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (!negative) return static_cast<long>(magnitude);
  return magnitude == static_cast<unsigned long>(LONG_MAX) + 1UL ? LONG_MIN
                                                                  : -static_cast<long>(magnitude);
}

int atoi(const std::string& text) {
  // Narrowing keeps the low bits, as the C library's atoi does.
  return static_cast<int>(ParseCLong(text.data(), text.data() + text.size()));
}

void sprintf(int size, std::string& out, const char* format, ...) {
  out.clear();
  if (size <= 0 || format == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[256];
  const std::size_t room = std::min<std::size_t>(size, sizeof small);
  const int n = std::vsnprintf(small, room, format, args);
  if (n >= 0) {
    if (static_cast<std::size_t>(n) < room) {
      out.assign(small, n);
    } else {
      const std::size_t len = std::min<std::size_t>(n, static_cast<std::size_t>(size) - 1);
      out.assign(len, '\0');
      std::vsnprintf(&out[0], len + 1, format, again);
    }
  }
  va_end(again);
  va_end(args);
}
