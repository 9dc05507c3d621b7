// Line reading through one shared buffer, and number <-> text conversions in
// the manner of the C library.
#ifndef PILEOGRAPH_CLIBRARYADDITIONS_H
#define PILEOGRAPH_CLIBRARYADDITIONS_H

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <string>
#include <vector>

// Size of the one line buffer that every GetLine call reads through; a line
// fits when it has fewer than this many characters.
constexpr int kReadBufSize = 300000;
extern char readbuf[kReadBufSize];

// The line rules that every line reader follows: a line ends at '\n', which
// is consumed and not stored; its text ends at its first NUL; a '\r' that is
// its last stored character is dropped. A line longer than GetLine's limit
// ends GetLine's reading, giving its first `limit` characters; LineReader
// takes lines of any length unless it is given a limit.

// Length of a line of `stored` characters by the NUL and '\r' rules. `mayHoldNul`
// false skips the NUL search; `whole` false (a line cut at the limit) keeps a
// final '\r'.
std::size_t LineLength(const char* text, std::size_t stored, bool mayHoldNul, bool whole);

// Reads one line of `in` into buf[0, size) with the stream's getline and the
// line rules (limit size - 1); `length` is its length by the rules, and
// `cutAtNul` says whether a NUL ended it. False when the read failed: end of
// input, a line over the limit, or a failed stream.
bool GetLineInto(std::istream& in, char* buf, std::size_t size, std::size_t& length,
                 bool& cutAtNul);

// Reads one line of `in` into `line` by the line rules, with the limit
// kReadBufSize - 1. Returns false when the read failed: end of input, or a
// longer line (its first kReadBufSize - 1 characters are returned and the
// stream is left failed). Not reentrant.
bool GetLine(std::istream& in, std::string& line);

// Splits a file or a stream into lines by the line rules, reading it in large
// blocks. A line costs memory of its own length. With the limit
// kReadBufSize - 1, Next answers as GetLine does on the same text; in every
// case it tells a failed read apart from the end of the input.
class LineReader {
 public:
  static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1) / 4;

  // Reads the named file. A directory cannot be opened.
  explicit LineReader(const std::string& path, std::size_t limit = kNoLimit);
  // Reads the stream's buffer, ahead of the lines it gives, and sets the
  // stream's state as GetLine would: eofbit at the end of the input, failbit
  // when Next gives no line, badbit when reading failed.
  explicit LineReader(std::istream& in, std::size_t limit = kNoLimit);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, NUL-terminated and valid until the next call. False when
  // none is left: at the end of the input or after a failed read (empty
  // text), or for a line over the limit (its first `limit` characters).
  bool Next(char*& text, std::size_t& length) {
    // A whole line in the buffer; anything else takes the slow path.
    if (mScanned == 0 && !mAtEnd && !mFailed) {
      char* start = mBuf.data() + mPos;
      const std::size_t avail = mEnd - mPos;
      const std::size_t look = avail <= mLimit ? avail : mLimit + 1;
      if (auto* nl = static_cast<char*>(std::memchr(start, '\n', look))) {
        const std::size_t stored = static_cast<std::size_t>(nl - start);
        mPos += stored + 1;
        length = stored;
        if (mNulSeen || (stored > 0 && start[stored - 1] == '\r')) {
          length = LineLength(start, stored, mNulSeen, true);
        }
        start[length] = '\0';
        text = start;
        return true;
      }
    }
    return NextSlow(text, length);
  }
  bool Skip() {
    char* text = nullptr;
    std::size_t length = 0;
    return Next(text, length);
  }
  // True when the input's first `n` bytes are `bytes`; reads no further
  // than it must, and the lines still begin with them.
  bool BeginsWith(const char* bytes, std::size_t n);
  // As the stream's eof() || fail() after the same GetLine calls.
  bool Ended() const { return mAtEnd || mFailed; }
  bool Opened() const { return mFd >= 0 || mIn != nullptr; }
  // errno of the open or read that failed; 0 when none did.
  int Error() const { return mError; }

 private:
  bool NextSlow(char*& text, std::size_t& length);
  bool Refill();
  void SetState(std::ios::iostate bits);

  std::istream* mIn = nullptr;
  int mFd = -1;
  std::size_t mLimit;
  std::vector<char> mBuf;
  std::size_t mPos = 0;      // first unread character
  std::size_t mEnd = 0;      // end of the characters read
  std::size_t mScanned = 0;  // characters after mPos known to hold no '\n'
  bool mNoMoreData = false;  // the input has no more characters
  bool mNulSeen = false;     // a NUL was read
  bool mAtEnd = false;       // a read reached the end of the input
  bool mFailed = false;      // a read gave no line
  int mError = 0;
};

std::string itoa(int value);                            // "%d"
std::string itostring(int value);                       // "%d"
std::string ftoa(float value);                          // "%f"
std::string ftostring(float value);                     // "%f"
std::string ftoa(float value, std::string format);      // caller's format, one double
int atoi(const std::string& text);                      // C library atoi of the characters

// strtol of the characters [first, last) in base 10: leading white space, an
// optional sign, then digits; saturates at the long range instead of
// overflowing. atoi-style results are this value narrowed to int.
long ParseCLong(const char* first, const char* last);

// Formats into a buffer of `size` bytes and replaces `out` by the result.
// The text is cut to size - 1 characters rather than overflowing.
void sprintf(int size, std::string& out, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif
