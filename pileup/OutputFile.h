// Output files written through file descriptors: a stream buffer that keeps
// the errno of its first failed write, and files opened by name, cut and
// written.
#ifndef PILEOGRAPH_OUTPUTFILE_H
#define PILEOGRAPH_OUTPUTFILE_H

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

// An output buffer over a file descriptor. A flush keeps the bytes, so a
// writer that flushes every line still makes large writes; Drain writes them
// out. After the first failed write the rest is dropped and its errno kept,
// and the stream that writes here goes bad.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd);

  int Error() const { return mError; }
  bool Drain();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override { return mError == 0 ? 0 : -1; }

 private:
  bool WriteAll(const char* p, std::size_t n);

  int mFd;
  std::vector<char> mBuf;
  int mError = 0;
};

// Writes what `write` puts into a stream to `fd` through an FdBuffer; the
// errno of the first failed write, EIO when the stream went bad otherwise,
// 0 when all was written.
int WriteThrough(int fd, const std::function<void(std::ostream&)>& write);

// A file: its device, inode and, where the file system keeps one that lasts,
// its birth time, which tells a file apart from a later one given the same
// inode. Overlayfs gives a file a new birth time when it copies it up, so
// there none is kept.
struct FileId {
  dev_t mDev;
  ino_t mIno;
  bool mHasBirth;
  long long mBirthSec;
  unsigned mBirthNsec;
};

// The regular file that `path` leads to; false when it names none.
bool GetFileId(const std::string& path, FileId& id);
// Same device and inode, and the same birth time where both have one.
bool SameFile(const FileId& a, const FileId& b);

// The regular files an engine has read, remembered by identity and the path
// they were read by: nothing is held open.
class InputFiles {
 public:
  void Remember(const std::string& path);
  // The path the file `id` was read by; nullptr when it was not read.
  const std::string* Find(const FileId& id) const;
  bool Holds(const FileId& id) const { return Find(id) != nullptr; }

 private:
  std::vector<std::pair<FileId, std::string>> mFiles;
};

enum class Written { kWritten, kIsInput, kInUse, kNotOpened, kNotWritten };

// Opens `path` for writing as given (links followed by the kernel, with its
// protections), created when missing, not cut: the descriptor, or -1 and
// why in `failure` (errno for kNotOpened). A file in `inputs`, judged also
// on the file opened, is kIsInput (the file in `id`); a lease or another's
// lock of any kind, kInUse: neither is waited for. A regular file is locked
// (flock and an OFD write lock) until closed, a kind of lock the system
// lacks gone without. Only with `special`, a FIFO or a device is opened.
int OpenOutputFile(const std::string& path, const InputFiles& inputs, bool special, bool& regular,
                   Written& failure, FileId& id);

// Writes what `write` puts into a stream to the file OpenOutputFile opens.
// A regular file is cut, written, and cut again after a failed write: it
// never holds old content behind new.
Written WriteOutputFile(const std::string& path, const InputFiles& inputs, bool special,
                        const std::function<void(std::ostream&)>& write);

// The line on standard output for a file not written: "NAME file is an
// input, not written", "... is in use, not written", "... open failed" or
// "... write failed". Nothing for kWritten.
void ReportOutput(const std::string& name, Written result);

#endif
