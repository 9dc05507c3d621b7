#include "CLibraryAdditions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

char readbuf[kReadBufSize];

std::size_t LineLength(const char* text, std::size_t stored, bool mayHoldNul, bool whole) {
  std::size_t len = stored;
  if (mayHoldNul) {
    if (const void* nul = std::memchr(text, '\0', stored)) {
      return static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    }
  }
  if (whole && len > 0 && text[len - 1] == '\r') --len;
  return len;
}

bool GetLineInto(std::istream& in, char* buf, std::size_t size, std::size_t& length,
                 bool& cutAtNul) {
  buf[0] = '\0';
  in.getline(buf, static_cast<std::streamsize>(size));
  const bool ok = !in.fail();
  // What was stored: the characters taken, less a consumed '\n'. A failed
  // stream may have stored part of a line; its NUL bounds it.
  std::size_t taken = static_cast<std::size_t>(in.gcount());
  if (ok && !in.eof() && taken > 0) --taken;
  if (!ok) {
    const void* nul = std::memchr(buf, '\0', size);
    taken = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buf) : size - 1;
  }
  length = LineLength(buf, taken, true, ok);
  cutAtNul = length < taken && buf[length] == '\0';
  buf[length] = '\0';
  return ok;
}

bool GetLine(std::istream& in, std::string& line) {
  std::size_t len = 0;
  bool cut = false;
  const bool ok = GetLineInto(in, readbuf, kReadBufSize, len, cut);
  line.assign(readbuf, len);
  return ok;
}

namespace {

constexpr std::size_t kReadBlock = 64 * 1024;

}  // namespace

LineReader::LineReader(const std::string& path, std::size_t limit) : mLimit(limit) {
  do {
    mFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (mFd < 0 && errno == EINTR);
  if (mFd < 0) {
    mError = errno != 0 ? errno : EIO;
    mFailed = true;
    return;
  }
  struct stat st;
  if (fstat(mFd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(mFd);
    mFd = -1;
    mError = EISDIR;
    mFailed = true;
    return;
  }
  mBuf.resize(kReadBlock + 1);
}

LineReader::LineReader(std::istream& in, std::size_t limit) : mIn(&in), mLimit(limit) {
  const std::istream::sentry ready(in, true);
  if (!ready) {
    mFailed = true;  // the sentry has set failbit
    return;
  }
  mBuf.resize(kReadBlock + 1);
}

LineReader::~LineReader() {
  if (mFd >= 0) close(mFd);
}

void LineReader::SetState(std::ios::iostate bits) {
  if (mIn == nullptr) return;
  try {
    mIn->setstate(bits);
  } catch (...) {
    // A stream that throws on failure has recorded the state all the same.
  }
}

bool LineReader::NextSlow(char*& text, std::size_t& length) {
  if (mAtEnd || mFailed) {
    mFailed = true;
    SetState(std::ios::failbit);
    if (mBuf.empty()) mBuf.resize(1);
    mBuf[0] = '\0';
    text = mBuf.data();
    length = 0;
    return false;
  }
  for (;;) {
    char* start = mBuf.data() + mPos;
    const std::size_t avail = mEnd - mPos;
    // A '\n' counts when at most mLimit characters precede it.
    const std::size_t look = std::min(avail, mLimit + 1);
    if (mScanned < look) {
      if (auto* nl = static_cast<char*>(std::memchr(start + mScanned, '\n', look - mScanned))) {
        const std::size_t stored = static_cast<std::size_t>(nl - start);
        mPos += stored + 1;
        mScanned = 0;
        length = LineLength(start, stored, mNulSeen, true);
        start[length] = '\0';
        text = start;
        return true;
      }
      mScanned = look;
    }
    if (avail > mLimit) {
      // mLimit characters and no line end after them: the reading ends here.
      mFailed = true;
      SetState(std::ios::failbit);
      length = LineLength(start, mLimit, mNulSeen, false);
      start[length] = '\0';
      text = start;
      return false;
    }
    if (mNoMoreData || !Refill()) {
      if (mError != 0) {
        mFailed = true;
        SetState(std::ios::badbit | std::ios::failbit);
        start = mBuf.data();
        start[0] = '\0';
        text = start;
        length = 0;
        return false;
      }
      // The end of the input: the last line has no '\n', or there is none.
      start = mBuf.data() + mPos;
      mAtEnd = true;
      mPos = mEnd;
      if (avail == 0) {
        mFailed = true;
        SetState(std::ios::eofbit | std::ios::failbit);
      } else {
        SetState(std::ios::eofbit);
      }
      length = avail == 0 ? 0 : LineLength(start, avail, mNulSeen, true);
      start[length] = '\0';
      text = start;
      return avail != 0;
    }
  }
}

bool LineReader::BeginsWith(const char* bytes, std::size_t n) {
  while (mEnd - mPos < n && !mNoMoreData && !mFailed && Refill()) {
  }
  if (mError != 0 && !mFailed) {
    mFailed = true;
    SetState(std::ios::badbit | std::ios::failbit);
  }
  return mEnd - mPos >= n && std::memcmp(mBuf.data() + mPos, bytes, n) == 0;
}

// Moves the unread characters to the front and reads after them; the buffer
// doubles when they leave less than half a block free. False at the end of the
// input or when the read failed (mError).
bool LineReader::Refill() {
  if (mPos > 0) {
    std::memmove(mBuf.data(), mBuf.data() + mPos, mEnd - mPos);
    mEnd -= mPos;
    mPos = 0;
  }
  if (mBuf.size() - 1 - mEnd < kReadBlock / 2) mBuf.resize(2 * mBuf.size());
  char* to = mBuf.data() + mEnd;
  const std::size_t room = mBuf.size() - 1 - mEnd;
  std::size_t got = 0;
  if (mFd >= 0) {
    ssize_t n;
    do {
      n = read(mFd, to, room);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      mError = errno != 0 ? errno : EIO;
      return false;
    }
    got = static_cast<std::size_t>(n);
  } else {
    try {
      const std::streamsize n = mIn->rdbuf()->sgetn(to, static_cast<std::streamsize>(room));
      got = n > 0 ? static_cast<std::size_t>(n) : 0;
    } catch (const std::system_error& e) {
      mError = e.code().value() != 0 ? e.code().value() : EIO;
      return false;
    } catch (...) {
      mError = EIO;
      return false;
    }
  }
  if (got == 0) {
    mNoMoreData = true;
    return false;
  }
  if (!mNulSeen && std::memchr(to, '\0', got) != nullptr) mNulSeen = true;
  mEnd += got;
  return true;
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
