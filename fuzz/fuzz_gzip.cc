// The gzip input stream on arbitrary bytes (block reads, line reads, put
// back), and the output stream's round trip of the same bytes.
#include <cstdint>
#include <string>

#include "CLibraryAdditions.h"
#include "FuzzTempFile.h"
#include "gzip.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

constexpr size_t kMaxInflated = 16u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTempFile file(data, size);
  {
    GzipInputStream in(file.Path().c_str());
    char buf[1024];
    size_t total = 0;
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
      total += static_cast<size_t>(in.gcount());
      if (total > kMaxInflated) break;
    }
  }
  {
    GzipInputStream in(file.Path());
    std::string line;
    size_t total = 0;
    while (GetLine(in, line) && total <= kMaxInflated) {
      total += line.size() + 1;
      if (!line.empty()) {
        in.unget();
        in.get();
      }
    }
  }
  {
    // What goes out through the output stream comes back unchanged.
    const std::string copy = file.Path() + ".gz";
    {
      GzipOutputStream out(copy);
      Check(out.good());
      out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
      out.close();
      Check(out.good());
    }
    std::string back;
    {
      GzipInputStream in(copy);
      char buf[4096];
      while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        back.append(buf, static_cast<size_t>(in.gcount()));
        if (back.size() > size) break;
      }
    }
    std::remove(copy.c_str());
    Check(back == std::string(reinterpret_cast<const char*>(data), size));
  }
  return 0;
}
