// The gzip input stream on arbitrary bytes.
#include <cstdint>
#include <string>

#include "FuzzTempFile.h"
#include "gzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTempFile file(data, size);
  GzipInputStream in(file.Path().c_str());
  char buf[1024];
  size_t total = 0;
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    total += static_cast<size_t>(in.gcount());
    if (total > (64u << 20)) break;
  }
  return 0;
}
