#include "gzip.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

bool Has(std::ios::openmode mode, std::ios::openmode bits) { return (mode & bits) != std::ios::openmode(); }

}  // namespace

GzipStreamBuf::GzipStreamBuf() : mGzFile(nullptr), mIsOpen(false), mMode() {
  std::memset(mBuffer, 0, sizeof mBuffer);
  ResetAreas();
}

GzipStreamBuf::~GzipStreamBuf() { close(); }

// Empty get area with the whole put-back room in front of it; no put area, so
// that writing is refused unless a file is open for writing.
void GzipStreamBuf::ResetAreas() {
  setg(mBuffer + kPutBack, mBuffer + kPutBack, mBuffer + kPutBack);
  setp(mBuffer, mBuffer);
}

GzipStreamBuf* GzipStreamBuf::open(const char* name, std::ios::openmode mode) {
  if (mIsOpen) return nullptr;
  mMode = mode;
  const bool in = Has(mode, std::ios::in);
  const bool out = Has(mode, std::ios::out);
  if (Has(mode, std::ios::ate | std::ios::app) || (in && out)) return nullptr;
  if (name == nullptr) return nullptr;

  char text[3];
  int len = 0;
  if (in) {
    text[len++] = 'r';
  } else if (out) {
    text[len++] = 'w';
  }
  text[len++] = 'b';
  text[len] = '\0';

  mGzFile = gzopen(name, text);
  if (mGzFile == nullptr) return nullptr;
  mIsOpen = true;
  ResetAreas();
  if (out) setp(mBuffer, mBuffer + kPutAreaSize);
  return this;
}

GzipStreamBuf* GzipStreamBuf::close() {
  if (!mIsOpen) return nullptr;
  const bool flushed = sync() == 0;
  mIsOpen = false;
  const int rc = gzclose(mGzFile);
  mGzFile = nullptr;
  ResetAreas();
  return (flushed && rc == Z_OK) ? this : nullptr;
}

GzipStreamBuf::int_type GzipStreamBuf::underflow() {
  if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!Has(mMode, std::ios::in) || !mIsOpen) return traits_type::eof();

  // Keep the last bytes read in front of the new data; the ranges may overlap.
  const std::ptrdiff_t n = std::min<std::ptrdiff_t>(gptr() - eback(), kPutBack);
  std::memmove(mBuffer + kPutBack - n, gptr() - n, static_cast<std::size_t>(n));

  const int num = gzread(mGzFile, mBuffer + kPutBack, kRefillSize);
  if (num <= 0) {
    setg(mBuffer + kPutBack - n, mBuffer + kPutBack, mBuffer + kPutBack);
    return traits_type::eof();
  }
  setg(mBuffer + kPutBack - n, mBuffer + kPutBack, mBuffer + kPutBack + num);
  return traits_type::to_int_type(mBuffer[kPutBack]);
}

int GzipStreamBuf::FlushBuffer() {
  if (!mIsOpen) return traits_type::eof();
  const int w = static_cast<int>(pptr() - pbase());
  if (gzwrite(mGzFile, pbase(), static_cast<unsigned>(w)) != w) return traits_type::eof();
  setp(mBuffer, mBuffer + kPutAreaSize);
  return w;
}

GzipStreamBuf::int_type GzipStreamBuf::overflow(int_type ch) {
  if (!Has(mMode, std::ios::out) || !mIsOpen) return traits_type::eof();
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    // A failed write leaves all 303 bytes pending: retry it before storing more.
    if (pptr() >= mBuffer + kBufferSize && FlushBuffer() == traits_type::eof()) return traits_type::eof();
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  if (FlushBuffer() == traits_type::eof()) {
    // The pending bytes now run one past the put area: end the area there,
    // so that bulk writes see no room and come back here to retry.
    if (pptr() > epptr()) {
      const int pending = static_cast<int>(pptr() - pbase());
      setp(mBuffer, mBuffer + pending);
      pbump(pending);
    }
    return traits_type::eof();
  }
  return ch;
}

int GzipStreamBuf::sync() {
  if (pptr() != nullptr && pptr() > pbase() && FlushBuffer() == traits_type::eof()) return -1;
  return 0;
}

GzipStreamBase::GzipStreamBase() { init(&mStreamBuf); }

GzipStreamBase::GzipStreamBase(const char* name, std::ios::openmode mode) {
  init(&mStreamBuf);
  open(name, mode);
}

GzipStreamBase::~GzipStreamBase() { mStreamBuf.close(); }

void GzipStreamBase::open(const char* name, std::ios::openmode mode) {
  if (mStreamBuf.open(name, mode) == nullptr) setstate(std::ios::badbit);
}

void GzipStreamBase::close() {
  if (mStreamBuf.is_open() && mStreamBuf.close() == nullptr) setstate(std::ios::badbit);
}

GzipInputStream::GzipInputStream() : GzipStreamBase(), std::istream(GzipStreamBase::rdbuf()) {}

GzipInputStream::GzipInputStream(const char* name, std::ios::openmode mode)
    : GzipStreamBase(), std::istream(GzipStreamBase::rdbuf()) {
  open(name, mode);
}

GzipInputStream::GzipInputStream(const std::string& name, std::ios::openmode mode)
    : GzipStreamBase(), std::istream(GzipStreamBase::rdbuf()) {
  open(name.c_str(), mode);
}

void GzipInputStream::open(const char* name, std::ios::openmode mode) {
  GzipStreamBase::open(name, mode | std::ios::in);
}

void GzipInputStream::open(const std::string& name, std::ios::openmode mode) { open(name.c_str(), mode); }

GzipOutputStream::GzipOutputStream() : GzipStreamBase(), std::ostream(GzipStreamBase::rdbuf()) {}

GzipOutputStream::GzipOutputStream(const char* name, std::ios::openmode mode)
    : GzipStreamBase(), std::ostream(GzipStreamBase::rdbuf()) {
  open(name, mode);
}

GzipOutputStream::GzipOutputStream(const std::string& name, std::ios::openmode mode)
    : GzipStreamBase(), std::ostream(GzipStreamBase::rdbuf()) {
  open(name.c_str(), mode);
}

void GzipOutputStream::open(const char* name, std::ios::openmode mode) {
  GzipStreamBase::open(name, mode | std::ios::out);
}

void GzipOutputStream::open(const std::string& name, std::ios::openmode mode) { open(name.c_str(), mode); }
