#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

// `path` with the symbolic links at its last component followed, however
// far the file they lead to exists. After too many links, the last one,
// which then opens as no regular file.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::vector<char> buf(static_cast<std::size_t>(std::max<off_t>(st.st_size, 255)) + 1);
    const ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) break;
    std::string target(buf.data(), static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (target[0] != '/' && slash != std::string::npos) target.insert(0, path, 0, slash + 1);
    path = std::move(target);
  }
  return path;
}

// A new file beside the one it is to replace; removed unless Keep is called.
class NewFile {
 public:
  NewFile(const std::string& target, const struct stat* old) {
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = "." + target.substr(slash == std::string::npos ? 0 : slash + 1) + "." +
                             std::to_string(static_cast<long>(getpid())) + "-";
    for (int attempt = 0; attempt < 100 && mFd < 0; ++attempt) {
      mPath = dir + base + std::to_string(attempt);
      mFd = open(mPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                 old != nullptr ? 0600 : 0666);
      if (mFd < 0 && errno != EEXIST) break;
    }
    mError = mFd < 0 ? errno : 0;
    if (mFd >= 0 && old != nullptr) {
      // The replacement keeps the owner and mode of the file it replaces.
      if (old->st_uid != geteuid() || old->st_gid != getegid()) {
        (void)!fchown(mFd, old->st_uid, old->st_gid);
      }
      fchmod(mFd, old->st_mode & 07777);
    }
  }
  ~NewFile() {
    if (mFd >= 0) close(mFd);
    if (!mKept && mError == 0) unlink(mPath.c_str());
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  int Fd() const { return mFd; }
  int Error() const { return mError; }
  const std::string& Path() const { return mPath; }
  bool Close() {
    const int fd = mFd;
    mFd = -1;
    return close(fd) == 0;
  }
  void Keep() { mKept = true; }

 private:
  std::string mPath;
  int mFd = -1;
  int mError = 0;
  bool mKept = false;
};

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

Replaced ReplaceFile(const std::string& path, const std::vector<FileId>& inputs,
                     const std::function<void(std::ostream&)>& write) {
  const std::string target = FollowLinks(path);
  struct stat old;
  int oldFd = -1;
  if (lstat(target.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return Replaced::kNotOpened;  // never opened: a FIFO would block
    if (IsOneOf({old.st_dev, old.st_ino}, inputs)) return Replaced::kIsInput;
    // Only a file that could be written in place is replaced.
    oldFd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (oldFd < 0) return Replaced::kNotOpened;
    struct stat now;
    if (fstat(oldFd, &now) != 0 || !S_ISREG(now.st_mode)) {
      close(oldFd);
      return Replaced::kNotOpened;
    }
    old = now;
  } else if (errno != ENOENT) {
    return Replaced::kNotOpened;
  }

  NewFile fresh(target, oldFd >= 0 ? &old : nullptr);
  if (fresh.Fd() < 0) {
    const bool folderShut = fresh.Error() == EACCES || fresh.Error() == EPERM;
    if (oldFd < 0 || !folderShut) {
      if (oldFd >= 0) close(oldFd);
      return Replaced::kNotOpened;
    }
    bool ok = ftruncate(oldFd, 0) == 0;
    try {
      ok = ok && WriteThrough(oldFd, write) == 0;
    } catch (...) {
      close(oldFd);
      throw;
    }
    ok = close(oldFd) == 0 && ok;
    return ok ? Replaced::kWritten : Replaced::kNotWritten;
  }
  if (oldFd >= 0) close(oldFd);
  const bool written = WriteThrough(fresh.Fd(), write) == 0;
  if (!fresh.Close() || !written) return Replaced::kNotWritten;
  if (rename(fresh.Path().c_str(), target.c_str()) != 0) return Replaced::kNotWritten;
  fresh.Keep();
  return Replaced::kWritten;
}
