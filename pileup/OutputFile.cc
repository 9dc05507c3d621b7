#include "OutputFile.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

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

// True on overlayfs, where a copy-up gives a file a new birth time.
bool OnOverlay(int dirfd, const char* path) {
  struct statfs fs;
  const int rc = *path == '\0' ? fstatfs(dirfd, &fs) : statfs(path, &fs);
  return rc == 0 && fs.f_type == OVERLAYFS_SUPER_MAGIC;
}

// The identity and type of `path` (AT_EMPTY_PATH with "": of the descriptor
// `dirfd` itself; else a path from the current folder). Where statx fails
// (an old kernel, a filter), no birth time.
bool Identify(int dirfd, const char* path, int flags, FileId& id, mode_t& mode) {
  struct statx sx;
  if (statx(dirfd, path, flags, STATX_TYPE | STATX_INO | STATX_BTIME, &sx) == 0) {
    const bool birth = (sx.stx_mask & STATX_BTIME) != 0 && !OnOverlay(dirfd, path);
    id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, birth, sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    mode = sx.stx_mode;
    return true;
  }
  struct stat st;
  if (fstatat(dirfd, path, &st, flags) != 0) return false;
  id = {st.st_dev, st.st_ino, false, 0, 0};
  mode = st.st_mode;
  return true;
}

// A system call, again while a signal interrupts it.
template <typename Call>
int Retrying(Call call) {
  int rc;
  do {
    rc = call();
  } while (rc < 0 && errno == EINTR);
  return rc;
}

// One try at an flock and an OFD write lock over the whole file, which meets
// POSIX and OFD locks alike; false when another holds a lock. A kind of lock
// that the kernel or the file system lacks is gone without.
bool TryLock(int fd) {
  if (Retrying([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0 && errno == EWOULDBLOCK) return false;
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  return Retrying([&] { return fcntl(fd, F_OFD_SETLK, &whole); }) == 0 || (errno != EAGAIN && errno != EACCES);
}

bool Cut(int fd) {
  return Retrying([&] { return ftruncate(fd, 0); }) == 0;
}

// Writes what `write` renders through `buffer`; the errno of the first
// failure or 0.
int Render(FdBuffer& buffer, const std::function<void(std::ostream&)>& write) {
  std::ostream os(&buffer);
  write(os);
  buffer.Drain();
  return buffer.Error() != 0 ? buffer.Error() : (os.good() ? 0 : EIO);
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
  return Render(buffer, write);
}

bool GetFileId(const std::string& path, FileId& id) {
  mode_t mode;
  return Identify(AT_FDCWD, path.c_str(), 0, id, mode) && S_ISREG(mode);
}

bool SameFile(const FileId& a, const FileId& b) {
  return a.mDev == b.mDev && a.mIno == b.mIno &&
         (!a.mHasBirth || !b.mHasBirth || (a.mBirthSec == b.mBirthSec && a.mBirthNsec == b.mBirthNsec));
}

void InputFiles::Remember(const std::string& path) {
  FileId id;
  if (GetFileId(path, id) && !Holds(id)) mFiles.emplace_back(id, path);
}

const std::string* InputFiles::Find(const FileId& id) const {
  for (const auto& [read, path] : mFiles) {
    if (SameFile(read, id)) return &path;
  }
  return nullptr;
}

int OpenOutputFile(const std::string& path, const InputFiles& inputs, bool special, bool& regular,
                   Written& failure, FileId& id) {
  mode_t mode;
  failure = Written::kNotOpened;
  if (Identify(AT_FDCWD, path.c_str(), 0, id, mode)) {
    if (!special && !S_ISREG(mode)) return -1;
    if (S_ISREG(mode) && inputs.Holds(id)) {
      failure = Written::kIsInput;
      return -1;
    }
  }
  // Not waiting: a lease makes the open fail at once.
  auto openAs = [&](int flags) { return Retrying([&] { return open(path.c_str(), flags, 0666); }); };
  const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC;
  int fd = openAs(flags | O_NONBLOCK);
  if (fd < 0 && errno == ENXIO && special) fd = openAs(flags);  // a FIFO without a reader yet
  if (fd < 0) {
    if (errno == EWOULDBLOCK) failure = Written::kInUse;
    return -1;
  }
  Descriptor file(fd);
  if (!Identify(fd, "", AT_EMPTY_PATH, id, mode) || (!special && !S_ISREG(mode))) return -1;
  regular = S_ISREG(mode);
  if (!regular) {
    const int now = fcntl(fd, F_GETFL);
    if (now == -1 || fcntl(fd, F_SETFL, now & ~O_NONBLOCK) == -1) return -1;  // a pipe's writes wait for room
    return file.Release();
  }
  if (inputs.Holds(id)) {
    failure = Written::kIsInput;
    return -1;
  }
  if (!TryLock(fd)) {
    failure = Written::kInUse;
    return -1;
  }
  return file.Release();
}

Written WriteOutputFile(const std::string& path, const InputFiles& inputs, bool special,
                        const std::function<void(std::ostream&)>& write) {
  Written failure;
  bool regular = false;
  FileId id;
  const int fd = OpenOutputFile(path, inputs, special, regular, failure, id);
  if (fd < 0) return failure;
  Descriptor file(fd);
  FdBuffer buffer(fd);  // before the cut: memory that runs short leaves the file as it was
  if (regular && !Cut(fd)) return Written::kNotWritten;
  int error;
  try {
    error = Render(buffer, write);
  } catch (...) {
    if (regular) Cut(fd);
    throw;
  }
  if (error != 0 && regular) Cut(fd);  // no partial file that looks whole
  return file.Close() && error == 0 ? Written::kWritten : Written::kNotWritten;
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
