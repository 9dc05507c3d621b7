// Files written where memory runs short: every allocation the writing makes
// fails in turn, and the file is left as it was, empty or whole.
#include "OutputFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "FASTAFile.h"
#include "TestSupport.h"

namespace {
long gAllocationsLeft = -1;  // allocations that may still succeed; -1: any number
}  // namespace

void* operator new(std::size_t n) {
  if (gAllocationsLeft == 0) throw std::bad_alloc();
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(OutputFile, MemoryRunningShortLeavesEarlierEmptyOrWhole) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("outputfile_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "usrctest.fa").string();
  const std::string earlier = "earlier\n";
  Sequence contig;
  contig.mName = "UnionSource";
  contig.mSeq.assign(306000, 'A');
  const std::string whole = ">UnionSource \n" + [] {
    std::string lines;
    for (int i = 0; i < 306000 / 50; ++i) lines += std::string(50, 'A') + "\n";
    return lines;
  }();
  for (long allowed = 0;; ++allowed) {
    WriteFile(path, earlier);
    bool threw = false;
    Written result = Written::kNotWritten;
    gAllocationsLeft = allowed;
    try {
      result = WriteOutputFile(path, InputFiles(), false, [&](std::ostream& os) { FASTAFile().Write(os, contig); });
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    gAllocationsLeft = -1;
    const std::string left = ReadFile(path);
    EXPECT_TRUE(left == earlier || left.empty() || left == whole) << allowed << ": " << left.size() << " B";
    if (!threw) {
      EXPECT_EQ(result, Written::kWritten);
      EXPECT_TRUE(left == whole) << left.size() << " B";
      break;
    }
    ASSERT_LT(allowed, 1000) << "still failing";
  }
  std::filesystem::remove_all(dir);
}
