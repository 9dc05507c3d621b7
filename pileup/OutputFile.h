// Output files written through file descriptors: a stream buffer that keeps
// the errno of its first failed write, and files opened for writing and
// rewritten in place.
#ifndef PILEOGRAPH_OUTPUTFILE_H
#define PILEOGRAPH_OUTPUTFILE_H

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

// An output buffer over a file descriptor. A flush keeps the bytes, so a
// writer that flushes every line still makes large writes; Drain writes them
// out. After the first failed write the rest is dropped and its errno kept,
// and the stream that writes here goes bad.
class FdBuffer : public std::streambuf {
 public:
  explicit FdBuffer(int fd);

  int Error() const { return mError; }
  off_t BytesWritten() const { return mWritten; }
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
  off_t mWritten = 0;  // bytes that reached the file
};

// Writes what `write` puts into a stream to `fd` through an FdBuffer; the
// errno of the first failed write, EIO when the stream went bad otherwise,
// 0 when all was written.
int WriteThrough(int fd, const std::function<void(std::ostream&)>& write);

// A file: its device, inode and, where the file system keeps one, its birth
// time, which tells a file apart from a later one given the same inode.
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
bool IsOneOf(const FileId& id, const std::vector<FileId>& ids);

// The regular files an engine has read, remembered by identity: nothing is
// held open.
class InputFiles {
 public:
  void Remember(const std::string& path);
  bool Holds(const FileId& id) const { return IsOneOf(id, mIds); }

 private:
  std::vector<FileId> mIds;
};

enum class Written { kWritten, kIsInput, kInUse, kNotOpened, kNotWritten };

// Rewrites the regular file at `path` in place with what `write` puts into a
// stream: the space is reserved (fallocate), the file written from the start
// and cut to the new size. A failure before any byte was overwritten leaves
// the file as it was; a later one cuts it to empty, so old and new never mix.
// The file is opened as given (a symbolic link followed by the kernel, with
// its protections) and locked (flock) until closed; a file another holds a
// lock on is left alone (kInUse), never waited for. A file in `inputs`, a
// FIFO or a device is never opened.
Written RewriteFile(const std::string& path, const InputFiles& inputs,
                    const std::function<void(std::ostream&)>& write);

// Empties the file `path` leads to and writes into it what `write` puts into
// a stream; a pipe or a device takes it as it is. Opened and locked as for
// RewriteFile, but a FIFO waits for its reader. A regular file whose write
// fails is cut to empty.
Written StreamToFile(const std::string& path, const InputFiles& inputs,
                     const std::function<void(std::ostream&)>& write);

// The line on standard output for a file not written: "NAME file is an
// input, not written", "... is in use, not written", "... open failed" or
// "... write failed". Nothing for kWritten.
void ReportOutput(const std::string& name, Written result);

#endif
