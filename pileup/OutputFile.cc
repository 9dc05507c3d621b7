#include "OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

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

  int Release() {
    const int fd = mFd;
    mFd = -1;
    return fd;
  }
  bool Close() { return close(Release()) == 0; }

 private:
  int mFd;
};

// The identity and type of `path` under `dirfd` (AT_EMPTY_PATH with "": of
// `dirfd` itself). Where statx fails (an old kernel, a filter), no birth time.
bool Identify(int dirfd, const char* path, int flags, FileId& id, mode_t& mode) {
  struct statx sx;
  if (statx(dirfd, path, flags, STATX_TYPE | STATX_INO | STATX_BTIME, &sx) == 0) {
    id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, (sx.stx_mask & STATX_BTIME) != 0,
          sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    mode = sx.stx_mode;
    return true;
  }
  struct stat st;
  if (fstatat(dirfd, path, &st, flags) != 0) return false;
  id = {st.st_dev, st.st_ino, false, 0, 0};
  mode = st.st_mode;
  return true;
}

// Opens `path` for writing as given (the kernel follows a symbolic link with
// its own protections), created when missing and not emptied. A file in
// `inputs` is not opened, judged on the file as opened. A regular file is
// locked (flock, exclusive) until it is closed, tried once: a file another
// holds a lock on is not taken, and a file system without locks is written
// unlocked. With `regularOnly`, a FIFO or a device is never opened. -1, and
// why in `failure`, when not opened.
int OpenOutput(const std::string& path, const InputFiles& inputs, bool regularOnly, Written& failure) {
  FileId id;
  mode_t mode;
  failure = Written::kNotOpened;
  if (Identify(AT_FDCWD, path.c_str(), 0, id, mode)) {
    if (regularOnly && !S_ISREG(mode)) return -1;  // a FIFO would block
    if (S_ISREG(mode) && inputs.Holds(id)) {
      failure = Written::kIsInput;
      return -1;
    }
  }
  const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
  int fd;
  do {
    fd = open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  Descriptor file(fd);
  if (!Identify(fd, "", AT_EMPTY_PATH, id, mode) || (regularOnly && !S_ISREG(mode))) return -1;
  if (S_ISREG(mode)) {
    if (inputs.Holds(id)) {
      failure = Written::kIsInput;
      return -1;
    }
    int rc;
    do {
      rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) {
      failure = Written::kInUse;
      return -1;
    }
  }
  return file.Release();
}

// Writes what `write` renders into `fd` from where it stands; the errno of
// the first failure or 0, and in `written` how many bytes reached the file.
int Render(int fd, const std::function<void(std::ostream&)>& write, off_t& written) {
  FdBuffer buffer(fd);
  std::ostream os(&buffer);
  write(os);
  buffer.Drain();
  written = buffer.BytesWritten();
  return buffer.Error() != 0 ? buffer.Error() : (os.good() ? 0 : EIO);
}

// Writes what `write` renders over the content of the regular file `fd`.
// After a failure the file is as it was when nothing was overwritten yet,
// else empty.
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
  off_t written = 0;
  if (Render(fd, write, written) == 0 && ftruncate(fd, written) == 0) return true;
  // The old size drops what the reservation added; nothing old may stay behind new bytes.
  (void)!ftruncate(fd, written == 0 ? old.st_size : 0);
  return false;
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
    mWritten += done;
  }
  return true;
}

int WriteThrough(int fd, const std::function<void(std::ostream&)>& write) {
  off_t written;
  return Render(fd, write, written);
}

bool GetFileId(const std::string& path, FileId& id) {
  mode_t mode;
  return Identify(AT_FDCWD, path.c_str(), 0, id, mode) && S_ISREG(mode);
}

bool IsOneOf(const FileId& id, const std::vector<FileId>& ids) {
  return std::any_of(ids.begin(), ids.end(), [&](const FileId& o) {
    return o.mDev == id.mDev && o.mIno == id.mIno &&
           (!o.mHasBirth || !id.mHasBirth || (o.mBirthSec == id.mBirthSec && o.mBirthNsec == id.mBirthNsec));
  });
}

void InputFiles::Remember(const std::string& path) {
  FileId id;
  if (GetFileId(path, id) && !Holds(id)) mIds.push_back(id);
}

Written RewriteFile(const std::string& path, const InputFiles& inputs,
                    const std::function<void(std::ostream&)>& write) {
  Written failure;
  const int fd = OpenOutput(path, inputs, true, failure);
  if (fd < 0) return failure;
  Descriptor file(fd);
  const bool ok = Rewrite(fd, write);
  return file.Close() && ok ? Written::kWritten : Written::kNotWritten;
}

Written StreamToFile(const std::string& path, const InputFiles& inputs,
                     const std::function<void(std::ostream&)>& write) {
  Written failure;
  const int fd = OpenOutput(path, inputs, false, failure);
  if (fd < 0) return failure;
  Descriptor file(fd);
  // Emptied only now that it is locked; a pipe or a device takes the stream as it is.
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular && ftruncate(fd, 0) != 0) return Written::kNotWritten;
  off_t written;
  bool ok = Render(fd, write, written) == 0;
  if (!ok && regular) (void)!ftruncate(fd, 0);  // no partial pileup that looks whole
  ok = file.Close() && ok;
  return ok ? Written::kWritten : Written::kNotWritten;
}

void ReportOutput(const std::string& name, Written result) {
  const char* why = nullptr;
  switch (result) {
    case Written::kWritten:
      return;
    case Written::kIsInput:
      why = " file is an input, not written";
      break;
    case Written::kInUse:
      why = " file is in use, not written";
      break;
    case Written::kNotOpened:
      why = " file open failed";
      break;
    case Written::kNotWritten:
      why = " file write failed";
      break;
  }
  std::cout << name << why << std::endl;
}
