// Writes the query dump of QueryDump.java from the engine called directly.
// Usage: engine_dump contig report dumpfile
#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "Pileograph.h"

namespace {

void File(std::ostream& out, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  out << "file " << path << "\n"
      << std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) << "\n";
}

// A Java char holds the engine's char sign-extended to 16 bits.
int JavaChar(char c) { return static_cast<unsigned short>(static_cast<signed char>(c)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: engine_dump contig report dumpfile\n";
    return 2;
  }
  std::ostringstream out;
  Pileograph e;
  e.ReadSource(argv[1]);
  out << "contig " << e.GetSourceSize() << "\n";
  e.ReadCM(argv[2]);
  e.MergeAlignments();
  const int size = e.GetSourceSize();
  out << "size " << size << "\nbases";
  for (int i = 0; i < size; i++) out << ' ' << JavaChar(e.GetSourceBase(i));
  out << "\n";
  const int reads = e.GetNumReads();
  out << "reads " << reads << "\n";
  for (int r = 0; r < reads; r++) {
    out << "read " << r << " " << e.GetReadName(r) << " " << e.RIdx2SIdx(0, r) << " "
        << e.SIdx2RIdx(0, r) << "\n";
  }
  const int step = std::max(1, size / 25);
  for (int start = -2; start <= size + 2; start += step) {
    for (int width : {0, 1, 5, 37}) {
      const int end = start + width;
      const int n = e.GetNumReadsInWindow(start, end);
      out << "window " << start << " " << end << " " << n << "\nnames";
      for (int k = -1; k <= n; k++) out << ' ' << e.GetWindowReadName(start, end, k);
      out << "\n";
      for (int col = start - 1; col <= end; col++) {
        out << "col " << col << " [" << e.GetAlignedCharacters(start, end, col) << "]\n";
      }
    }
  }
  const int prints[][3] = {{0, -1, 60}, {-7, 25, 9}, {size + 3, -1, 10}, {5, 5, 1}};
  for (const auto& p : prints) {
    e.PrintAlignment("pileup.txt", p[0], p[1], p[2]);
    out << "print " << p[0] << " " << p[1] << " " << p[2] << "\n";
    File(out, "pileup.txt");
  }
  e.WriteMerged();
  File(out, "usrctest.fa");
  File(out, "usource.out");
  File(out, "ureads.out");
  std::ofstream(argv[3], std::ios::binary) << out.str();
  return 0;
}
