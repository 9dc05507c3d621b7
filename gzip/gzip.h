// Standard streams over gzip-compressed files (zlib).
//
// GzipStreamBuf reads through gzread and writes through gzwrite, one direction
// per open. Its one 303-byte buffer serves both directions:
//   reading: bytes 0..3 keep up to 4 bytes for putting back, bytes 4..302
//            receive up to 299 decompressed bytes per refill;
//   writing: bytes 0..301 are the put area, byte 302 takes the character that
//            overflows it, so a full buffer goes out in one gzwrite of 303.
//
// Construction order of GzipInputStream / GzipOutputStream: the virtual base
// std::ios is built first (uninitialised, by its protected default
// constructor), then GzipStreamBase with its member mStreamBuf, whose body
// calls init(&mStreamBuf); then std::istream / std::ostream, which are handed
// rdbuf() explicitly (their own init would otherwise install null) and reset
// the state to good. Therefore the derived constructors open the file in their
// body, after every base is built, so that a failed open's badbit survives.
// Destruction runs the other way: ~GzipStreamBase closes the buffer (flushing
// pending output), and ~GzipStreamBuf then finds nothing open.
#ifndef PILEOGRAPH_GZIP_H
#define PILEOGRAPH_GZIP_H

#include <zlib.h>

#include <ios>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

class GzipStreamBuf : public std::streambuf {
 public:
  static constexpr int kBufferSize = 303;
  static constexpr int kPutBack = 4;
  static constexpr int kRefillSize = kBufferSize - kPutBack;  // 299
  static constexpr int kPutAreaSize = kBufferSize - 1;        // 302

  GzipStreamBuf();
  ~GzipStreamBuf() override;
  GzipStreamBuf(const GzipStreamBuf&) = delete;
  GzipStreamBuf& operator=(const GzipStreamBuf&) = delete;

  // Opens `name` for reading (in) or writing (out). Returns null when a file
  // is already open, the mode has ate or app, both in and out, or neither,
  // or zlib cannot open the file.
  GzipStreamBuf* open(const char* name, std::ios::openmode mode);
  // Flushes pending output and closes the file. Returns null when nothing was
  // open, the pending output could not be written or gzclose failed; the file
  // is closed in every case.
  GzipStreamBuf* close();
  bool is_open() const { return mIsOpen; }

 protected:
  int_type overflow(int_type ch) override;
  int_type underflow() override;
  int sync() override;

 private:
  // Writes the put area in one gzwrite; returns the bytes written or EOF.
  int FlushBuffer();
  void ResetAreas();

  gzFile mGzFile;
  char mBuffer[kBufferSize];
  bool mIsOpen;
  std::ios::openmode mMode;
};

class GzipStreamBase : virtual public std::ios {
 public:
  GzipStreamBase();
  GzipStreamBase(const char* name, std::ios::openmode mode);
  ~GzipStreamBase() override;

  // Sets badbit when the buffer refuses to open.
  void open(const char* name, std::ios::openmode mode);
  // Sets badbit when an open buffer fails to close; a closed one is left alone.
  void close();
  bool is_open() const { return mStreamBuf.is_open(); }
  GzipStreamBuf* rdbuf() const { return const_cast<GzipStreamBuf*>(&mStreamBuf); }

 protected:
  GzipStreamBuf mStreamBuf;
};

// Reads a gzip file; `in` is always added to the mode.
class GzipInputStream : public GzipStreamBase, public std::istream {
 public:
  GzipInputStream();
  explicit GzipInputStream(const char* name, std::ios::openmode mode = std::ios::in);
  explicit GzipInputStream(const std::string& name, std::ios::openmode mode = std::ios::in);

  void open(const char* name, std::ios::openmode mode = std::ios::in);
  void open(const std::string& name, std::ios::openmode mode = std::ios::in);
};

// Writes a gzip file; `out` is always added to the mode.
class GzipOutputStream : public GzipStreamBase, public std::ostream {
 public:
  GzipOutputStream();
  explicit GzipOutputStream(const char* name, std::ios::openmode mode = std::ios::out);
  explicit GzipOutputStream(const std::string& name, std::ios::openmode mode = std::ios::out);

  void open(const char* name, std::ios::openmode mode = std::ios::out);
  void open(const std::string& name, std::ios::openmode mode = std::ios::out);
};

#endif  // PILEOGRAPH_GZIP_H
