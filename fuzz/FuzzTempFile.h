// A file holding the fuzz input, for readers that take a file name.
#ifndef PILEOGRAPH_FUZZTEMPFILE_H
#define PILEOGRAPH_FUZZTEMPFILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

class FuzzTempFile {
 public:
  FuzzTempFile(const uint8_t* data, size_t size) {
    mPath = "/tmp/pileograph-fuzz-" + std::to_string(getpid());
    if (FILE* f = std::fopen(mPath.c_str(), "wb")) {
      if (size > 0) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
  }
  ~FuzzTempFile() { std::remove(mPath.c_str()); }
  const std::string& Path() const { return mPath; }

 private:
  std::string mPath;
};

#endif
