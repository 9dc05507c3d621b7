// Output files written through file descriptors: a stream buffer that keeps
// the errno of its first failed write, and files replaced whole.
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

enum class Replaced { kWritten, kIsInput, kNotOpened, kNotWritten };

// Writes the file that `path` leads to whole or not at all: `write` fills a
// new file in the same folder, which then takes its place, so a symbolic
// link at `path` keeps leading there. A file in `inputs`, one that is not a
// regular file (a FIFO, a device), and one that cannot be opened for writing
// are left alone. Only where no new file can be made beside an existing
// writable one (a read-only folder) is that file rewritten in place. A new
// file that fails is removed.
Replaced ReplaceFile(const std::string& path, const std::vector<FileId>& inputs,
                     const std::function<void(std::ostream&)>& write);

#endif
