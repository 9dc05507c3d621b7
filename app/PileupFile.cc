#include "PileupFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <streambuf>
#include <vector>

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

// An output buffer over a file descriptor. A flush keeps the bytes, so the
// printer's flush after every line still leaves large writes; Drain writes
// them out. After the first failed write the rest is dropped and its errno
// kept.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd) : mFd(fd), mBuf(kBufferBytes) { setp(mBuf.data(), mBuf.data() + mBuf.size()); }

  int Error() const { return mError; }

  bool Drain() {
    const bool ok = WriteAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(mBuf.data(), mBuf.data() + mBuf.size());
    return ok;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    std::streamsize done = 0;
    while (done < n) {
      if (pptr() == epptr() && !Drain()) break;
      const std::streamsize part = std::min<std::streamsize>(n - done, epptr() - pptr());
      std::memcpy(pptr(), s + done, static_cast<std::size_t>(part));
      pbump(static_cast<int>(part));
      done += part;
    }
    return done;
  }

  int sync() override { return mError == 0 ? 0 : -1; }

 private:
  bool WriteAll(const char* p, std::size_t n) {
    if (mError != 0) return false;
    while (n > 0) {
      const ssize_t done = write(mFd, p, n);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) {
        mError = done < 0 && errno != 0 ? errno : EIO;
        return false;
      }
      p += done;
      n -= static_cast<std::size_t>(done);
    }
    return true;
  }

  int mFd;
  std::vector<char> mBuf;
  int mError = 0;
};

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Empties the file `written` that `fd` holds open and removes it from where
// `path` leads, while it is still that regular file; closes `fd`. Returns
// what is left of the partial pileup, "" for nothing.
const char* Discard(int fd, const char* path, const struct stat& written) {
  if (!S_ISREG(written.st_mode)) {
    close(fd);
    return "";
  }
  const bool emptied = ftruncate(fd, 0) == 0;
  bool removed = false;
  if (char* target = realpath(path, nullptr)) {
    struct stat now;
    if (lstat(target, &now) == 0 && S_ISREG(now.st_mode) && SameFile(now, written)) {
      removed = unlink(target) == 0;
    }
    std::free(target);
  }
  struct stat after;
  const bool linked = fstat(fd, &after) != 0 || after.st_nlink > 0;
  close(fd);
  if (!linked) return "";
  if (!emptied) return " (the partial file remains)";
  return removed ? "" : " (left empty: it could not be removed)";
}

// Discard for a file whose descriptor is already closed: opened again, and
// only when it is still the file written.
const char* DiscardClosed(const char* path, const struct stat& written) {
  if (!S_ISREG(written.st_mode)) return "";
  const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat now;
  if (fd < 0) return " (the partial file remains)";
  if (fstat(fd, &now) != 0 || !SameFile(now, written)) {
    close(fd);
    return "";
  }
  return Discard(fd, path, written);
}

}  // namespace

bool WritePileup(Pileograph& pg, const char* path, int start, int end, std::string& failure) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    failure = std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  struct stat written;
  if (fstat(fd, &written) != 0) written.st_mode = 0;  // unknown: never removed

  int error = 0;
  try {
    FdBuffer buffer(fd);
    std::ostream os(&buffer);
    pg.PrintAlignment(os, start, end, 100);
    buffer.Drain();
    error = buffer.Error() != 0 ? buffer.Error() : (os.good() ? 0 : EIO);
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  if (error != 0) {
    const char* left = Discard(fd, path, written);
    failure = std::string(std::strerror(error)) + left;
    return false;
  }
  if (close(fd) != 0) {
    error = errno != 0 ? errno : EIO;
    const char* left = DiscardClosed(path, written);
    failure = std::string(std::strerror(error)) + left;
    return false;
  }
  return true;
}
