#include "OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

// Counts what is put into it and keeps nothing.
class CountingBuffer : public std::streambuf {
 public:
  std::streamsize Count() const { return mCount; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++mCount;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    mCount += n;
    return n;
  }

 private:
  std::streamsize mCount = 0;
};

// Closes a descriptor on the way out, thrown exceptions included.
class Descriptor {
 public:
  explicit Descriptor(int fd) : mFd(fd) {}
  ~Descriptor() {
    if (mFd >= 0) close(mFd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  bool Close() {
    const int fd = mFd;
    mFd = -1;
    return close(fd) == 0;
  }

 private:
  int mFd;
};

enum class Opened { kOpened, kIsInput, kNotOpened };

// Opens `path` for writing as given (the kernel follows a symbolic link with
// its own protections), created when missing and not emptied. A file in
// `inputs` is not opened, judged on the file as opened. A regular file is
// locked (flock, exclusive) until it is closed, so writers of this program
// take turns; a file system without locks is written unlocked. With
// `regularOnly`, a FIFO or a device is never opened. `fd` is -1 unless kOpened.
Opened OpenOutput(const std::string& path, const InputFiles& inputs, bool regularOnly, int& fd) {
  fd = -1;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    if (regularOnly && !S_ISREG(st.st_mode)) return Opened::kNotOpened;  // a FIFO would block
    if (S_ISREG(st.st_mode) && inputs.Holds({st.st_dev, st.st_ino})) return Opened::kIsInput;
  }
  const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
  int opened;
  do {
    opened = open(path.c_str(), flags, 0666);
  } while (opened < 0 && errno == EINTR);
  if (opened < 0) return Opened::kNotOpened;
  if (fstat(opened, &st) != 0 || (regularOnly && !S_ISREG(st.st_mode))) {
    close(opened);
    return Opened::kNotOpened;
  }
  if (S_ISREG(st.st_mode)) {
    if (inputs.Holds({st.st_dev, st.st_ino})) {
      close(opened);
      return Opened::kIsInput;
    }
    // Held until closed. Any failure but an interruption (ENOLCK: no locks
    // here) leaves the file unlocked.
    while (flock(opened, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  fd = opened;
  return Opened::kOpened;
}

// Writes what `write` renders over the content of the regular file `fd`.
bool Rewrite(int fd, const std::function<void(std::ostream&)>& write) {
  struct stat old;
  if (fstat(fd, &old) != 0) return false;
  CountingBuffer counter;
  {
    std::ostream os(&counter);
    write(os);
  }
  const off_t size = static_cast<off_t>(counter.Count());
  if (size > 0) {
    int rc;
    do {
      rc = fallocate(fd, 0, 0, size);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
      (void)!ftruncate(fd, old.st_size);  // drops what a partial reservation added
      return false;
    }
  }
  if (WriteThrough(fd, write) != 0) return false;
  const off_t end = lseek(fd, 0, SEEK_CUR);
  return end >= 0 && ftruncate(fd, end) == 0;
}

}  // namespace

FdBuffer::FdBuffer(int fd) : mFd(fd), mBuf(kBufferBytes) { setp(mBuf.data(), mBuf.data() + mBuf.size()); }

bool FdBuffer::Drain() {
  const bool ok = WriteAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(mBuf.data(), mBuf.data() + mBuf.size());
  return ok;
}

FdBuffer::int_type FdBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize FdBuffer::xsputn(const char* s, std::streamsize n) {
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

bool FdBuffer::WriteAll(const char* p, std::size_t n) {
  if (mError != 0) return false;
  while (n > 0) {
    const ssize_t done = ::write(mFd, p, n);
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

int WriteThrough(int fd, const std::function<void(std::ostream&)>& write) {
  FdBuffer buffer(fd);
  std::ostream os(&buffer);
  write(os);
  buffer.Drain();
  return buffer.Error() != 0 ? buffer.Error() : (os.good() ? 0 : EIO);
}

bool GetFileId(const std::string& path, FileId& id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

bool IsOneOf(const FileId& id, const std::vector<FileId>& ids) {
  return std::any_of(ids.begin(), ids.end(),
                     [&](const FileId& o) { return o.mDev == id.mDev && o.mIno == id.mIno; });
}

InputFiles::~InputFiles() {
  for (int fd : mFds) close(fd);
}

void InputFiles::Remember(const std::string& path) {
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 ? fstat(fd, &st) != 0 : stat(path.c_str(), &st) != 0) st.st_mode = 0;
  const FileId id = {st.st_dev, st.st_ino};
  if (S_ISREG(st.st_mode) && !Holds(id)) {
    mIds.push_back(id);
    if (fd >= 0) mFds.push_back(fd);  // without it, a number that may pass on
  } else if (fd >= 0) {
    close(fd);
  }
}

Rewritten RewriteFile(const std::string& path, const InputFiles& inputs,
                      const std::function<void(std::ostream&)>& write) {
  int fd;
  switch (OpenOutput(path, inputs, true, fd)) {
    case Opened::kOpened:
      break;
    case Opened::kIsInput:
      return Rewritten::kIsInput;
    case Opened::kNotOpened:
      return Rewritten::kNotOpened;
  }
  Descriptor file(fd);
  const bool ok = Rewrite(fd, write);
  return file.Close() && ok ? Rewritten::kWritten : Rewritten::kNotWritten;
}

bool StreamToFile(const std::string& path, const InputFiles& inputs,
                  const std::function<void(std::ostream&)>& write) {
  int fd;
  if (OpenOutput(path, inputs, false, fd) != Opened::kOpened) return false;
  Descriptor file(fd);
  // Emptied only now that it is locked; a pipe or a device takes the stream as it is.
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) return false;
  const bool ok = WriteThrough(fd, write) == 0;
  return file.Close() && ok;
}
