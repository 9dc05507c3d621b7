// The report parser followed by the whole merge, a printed window and the queries.
// Input: the first line is the contig's characters, the rest is the report.
#include <cstdint>
#include <sstream>
#include <string>

#include "Pileograph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t nl = text.find('\n');
  std::string contig = nl == std::string::npos ? text : text.substr(0, nl);
  std::string report = nl == std::string::npos ? std::string() : text.substr(nl + 1);

  Pileograph p;
  p.mSource.ConcatenateString(contig);
  std::istringstream in(report);
  p.mCM.Parse(in);
  p.mCM.NormalizeToAlignment();
  p.mCM.RemoveAllButBestMatches();
  p.ConstructSourceWithUnionOfReadPads();
  p.InitWithQueries();
  p.MergeReadPads();

  int len = p.GetSourceSize();
  std::ostringstream out;
  p.PrintAlignment(out, len / 2, len / 2, 60);
  p.PrintAlignment(out, -70, 10, 1);
  int n = p.GetNumReadsInWindow(0, 80);
  for (int i = 0; i <= n; ++i) p.GetWindowReadName(0, 80, i);
  p.GetAlignedCharacters(0, 80, 40);
  for (int r = 0; r < p.GetNumReads(); ++r) {
    p.GetReadName(r);
    p.RIdx2SIdx(p.SIdx2RIdx(5, r), r);
  }
  p.GetSourceBase(len - 1);
  return 0;
}
