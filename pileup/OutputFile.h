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

// A regular file: its device and inode.
struct FileId {
  dev_t mDev;
  ino_t mIno;
};

// The regular file that `path` leads to; false when it names none.
bool GetFileId(const std::string& path, FileId& id);
bool IsOneOf(const FileId& id, const std::vector<FileId>& ids);

// The regular files an engine has read. Each is held open (O_PATH) while it
// is remembered, so its inode number cannot pass to a file made later.
class InputFiles {
 public:
  InputFiles() = default;
  ~InputFiles();
  InputFiles(const InputFiles&) = delete;
  InputFiles& operator=(const InputFiles&) = delete;

  void Remember(const std::string& path);
  bool Holds(const FileId& id) const { return IsOneOf(id, mIds); }

 private:
  std::vector<FileId> mIds;
  std::vector<int> mFds;
};

enum class Rewritten { kWritten, kIsInput, kNotOpened, kNotWritten };

// Rewrites the regular file at `path` in place with what `write` puts into a
// stream. The space is reserved (fallocate) before a byte of the old content
// is overwritten: when there is not enough, the file keeps its old content
// and size (a file system that cannot reserve space is written as it is).
// Then written from the start and cut to the new size. The file is opened as
// given (a symbolic link followed by the kernel, with its protections) and
// locked (flock) until closed, so writers of this program take turns; a file
// in `inputs`, a FIFO or a device is never opened.
Rewritten RewriteFile(const std::string& path, const InputFiles& inputs,
                      const std::function<void(std::ostream&)>& write);

// Empties the file `path` leads to and writes into it what `write` puts into
// a stream; a pipe or a device takes it as it is. Opened and locked as for
// RewriteFile, but a FIFO waits for its reader. False when a file in `inputs`,
// or not opened or written whole.
bool StreamToFile(const std::string& path, const InputFiles& inputs,
                  const std::function<void(std::ostream&)>& write);

#endif
