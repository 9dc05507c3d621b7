// The FASTA readers (list reader, Append, GetNextRead, Read0) and the writer.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "FASTAFile.h"
#include "FuzzTempFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  FASTAFile fasta;

  SequenceVector list;
  std::istringstream in(text);
  fasta.Read(in, list);
  std::ostringstream out;
  fasta.Write(out, list);
  std::istringstream in2(text);
  fasta.Append(in2, list);

  std::istringstream in3(text);
  std::vector<char> buf(256);
  buf[0] = '1';
  Sequence seq;
  for (int records = 0; records < 10000 && in3; ++records) {
    if (!fasta.GetNextRead(in3, buf.data(), static_cast<int>(buf.size()), seq)) break;
  }

  FuzzTempFile file(data, size);
  SequenceVector list0;
  fasta.Read0(file.Path(), list0);
  Sequence first;
  fasta.Read(file.Path(), first);
  return 0;
}
