#include "gzip.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Exposes the buffer's areas and watches overflow.
class ProbeBuf : public GzipStreamBuf {
 public:
  using GzipStreamBuf::eback;
  using GzipStreamBuf::egptr;
  using GzipStreamBuf::epptr;
  using GzipStreamBuf::gptr;
  using GzipStreamBuf::pbase;
  using GzipStreamBuf::pptr;
  std::vector<long> mPendingBeforeOverflow;
  std::vector<long> mPendingAfterOverflow;

 protected:
  int_type overflow(int_type ch) override {
    mPendingBeforeOverflow.push_back(pptr() - pbase());
    const int_type r = GzipStreamBuf::overflow(ch);
    mPendingAfterOverflow.push_back(pptr() - pbase());
    return r;
  }
};

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

std::string ReadPlain(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WritePlain(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

// Compresses `data` into `path` with the gzip tool.
void GzipTool(const std::string& path, const std::string& data) {
  WritePlain(path + ".plain", data);
  Run("gzip -c -n " + path + ".plain > " + path);
}

std::string GunzipTool(const std::string& path) {
  Run("gzip -dc " + path + " > " + path + ".out");
  return ReadPlain(path + ".out");
}

std::string ReadAll(GzipInputStream& in) {
  std::string all;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) all.append(chunk, static_cast<size_t>(in.gcount()));
  return all;
}

class GzipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mOldDir = fs::current_path();
    char tmpl[] = "/tmp/gzip_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
    fs::current_path(mDir);
  }
  void TearDown() override {
    fs::current_path(mOldDir);
    fs::remove_all(mDir);
  }
  fs::path mOldDir, mDir;
};

TEST_F(GzipTest, RefusedModesOpenNothing) {
  GzipTool("exists.gz", "abc");
  const std::ios::openmode refused[] = {
      std::ios::in | std::ios::out, std::ios::in | std::ios::ate, std::ios::out | std::ios::ate,
      std::ios::in | std::ios::app, std::ios::out | std::ios::app, std::ios::app,
      std::ios::openmode(),  // neither: gzopen refuses the bare "b"
      std::ios::binary};
  for (std::ios::openmode mode : refused) {
    SCOPED_TRACE(static_cast<int>(mode));
    GzipStreamBuf buf;
    EXPECT_EQ(buf.open("new.gz", mode), nullptr);
    EXPECT_EQ(buf.open("exists.gz", mode), nullptr);
    EXPECT_FALSE(buf.is_open());
    EXPECT_FALSE(fs::exists("new.gz"));
  }
  GzipOutputStream out("new.gz", std::ios::app);
  EXPECT_TRUE(out.bad());
  EXPECT_FALSE(out.is_open());
  GzipInputStream in("exists.gz", std::ios::out);  // in is added: in|out
  EXPECT_TRUE(in.bad());
  EXPECT_FALSE(fs::exists("new.gz"));
}

TEST_F(GzipTest, SecondOpenIsRefusedAndCloseAllowsReuse) {
  GzipTool("a.gz", "first");
  GzipStreamBuf buf;
  ASSERT_EQ(buf.open("a.gz", std::ios::in), &buf);
  EXPECT_EQ(buf.open("b.gz", std::ios::out), nullptr);
  EXPECT_TRUE(buf.is_open());
  EXPECT_FALSE(fs::exists("b.gz"));
  char got[6] = {};
  EXPECT_EQ(buf.sgetn(got, 5), 5);
  EXPECT_STREQ(got, "first");
  EXPECT_EQ(buf.close(), &buf);
  EXPECT_EQ(buf.close(), nullptr);  // already closed: no second gzclose

  ASSERT_EQ(buf.open("b.gz", std::ios::out | std::ios::trunc | std::ios::binary), &buf);
  EXPECT_EQ(buf.sputn("second", 6), 6);
  EXPECT_EQ(buf.close(), &buf);
  EXPECT_EQ(GunzipTool("b.gz"), "second");

  GzipInputStream in("a.gz");
  ASSERT_TRUE(in.good());
  in.open("b.gz");
  EXPECT_TRUE(in.bad());
  EXPECT_TRUE(in.is_open());
}

// Each refill brings at most 299 bytes and keeps up to 4 bytes before the
// current position for putting back, also once the end is reached.
TEST_F(GzipTest, RefillsAndPutBack) {
  const struct {
    size_t size;
    std::vector<long> refills;
  } cases[] = {{1000, {299, 299, 299, 103}}, {300, {299, 1}}, {299, {299}}, {2, {2}}, {0, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string data = RandomBytes(c.size, 7);
    GzipTool("r.gz", data);
    ProbeBuf buf;
    ASSERT_EQ(buf.open("r.gz", std::ios::in), &buf);
    size_t pos = 0;
    for (long refill : c.refills) {
      ASSERT_EQ(buf.sgetc(), static_cast<unsigned char>(data[pos]));
      EXPECT_EQ(buf.egptr() - buf.gptr(), refill);
      const long back = std::min<long>(static_cast<long>(pos), 4);
      EXPECT_EQ(buf.gptr() - buf.eback(), back);
      for (long k = 1; k <= back; ++k) EXPECT_EQ(buf.sungetc(), static_cast<unsigned char>(data[pos - k]));
      EXPECT_EQ(buf.sungetc(), EOF);
      std::string got(static_cast<size_t>(back + refill), '\0');
      ASSERT_EQ(buf.sgetn(&got[0], back + refill), back + refill);
      EXPECT_EQ(got, data.substr(pos - back, static_cast<size_t>(back + refill)));
      pos += static_cast<size_t>(refill);
    }
    EXPECT_EQ(pos, c.size);
    EXPECT_EQ(buf.sgetc(), EOF);
    EXPECT_EQ(buf.sgetc(), EOF);
    const size_t back = std::min<size_t>(c.size, 4);
    for (size_t k = 1; k <= back; ++k) EXPECT_EQ(buf.sungetc(), static_cast<unsigned char>(data[c.size - k]));
    EXPECT_EQ(buf.sungetc(), EOF);
  }
}

TEST_F(GzipTest, PutAreaFlushesWholeBufferAtOnceAndOnClose) {
  const std::string data = RandomBytes(313, 3);
  ProbeBuf buf;
  ASSERT_EQ(buf.open("w.gz", std::ios::out), &buf);
  EXPECT_EQ(buf.pubsync(), 0);  // nothing pending
  EXPECT_EQ(buf.sputn(data.data(), 302), 302);
  EXPECT_TRUE(buf.mPendingBeforeOverflow.empty());
  EXPECT_EQ(buf.pptr() - buf.pbase(), 302);
  EXPECT_EQ(buf.pptr(), buf.epptr());
  EXPECT_EQ(buf.sputc(data[302]), static_cast<unsigned char>(data[302]));
  EXPECT_EQ(buf.mPendingBeforeOverflow, std::vector<long>{302});
  EXPECT_EQ(buf.mPendingAfterOverflow, std::vector<long>{0});
  EXPECT_EQ(buf.sputn(data.data() + 303, 10), 10);
  EXPECT_EQ(buf.mPendingBeforeOverflow.size(), 1u);
  EXPECT_EQ(buf.close(), &buf);  // writes the 10 pending bytes
  EXPECT_EQ(GunzipTool("w.gz"), data);
}

TEST_F(GzipTest, ClosedOrWrongDirectionBufferRefusesIo) {
  GzipTool("r.gz", "xyz");
  GzipStreamBuf never;
  GzipStreamBuf reader;
  ASSERT_EQ(reader.open("r.gz", std::ios::in), &reader);
  GzipStreamBuf writer;
  ASSERT_EQ(writer.open("w.gz", std::ios::out), &writer);
  GzipStreamBuf closed;
  ASSERT_EQ(closed.open("r.gz", std::ios::in), &closed);
  EXPECT_EQ(closed.sgetc(), 'x');
  ASSERT_EQ(closed.close(), &closed);

  EXPECT_EQ(never.sgetc(), EOF);
  EXPECT_EQ(never.sputc('a'), EOF);
  EXPECT_EQ(never.pubsync(), 0);
  EXPECT_EQ(never.close(), nullptr);
  EXPECT_EQ(reader.sputc('a'), EOF);
  EXPECT_EQ(reader.sgetc(), 'x');  // the write did not disturb the data
  EXPECT_EQ(reader.pubsync(), 0);
  EXPECT_EQ(writer.sgetc(), EOF);
  EXPECT_EQ(closed.sgetc(), EOF);  // nothing left over from the closed file
  EXPECT_EQ(closed.sputc('a'), EOF);

  GzipInputStream in;
  EXPECT_EQ(in.rdbuf(), static_cast<std::istream&>(in).std::ios::rdbuf());
  in.close();
  EXPECT_EQ(in.rdstate(), std::ios::goodbit);
  EXPECT_EQ(in.get(), EOF);
  GzipOutputStream out;
  out.close();
  EXPECT_EQ(out.rdstate(), std::ios::goodbit);
  out << "lost";
  EXPECT_TRUE(out.bad());
}

TEST_F(GzipTest, InteroperatesWithGzipTool) {
  for (size_t size : {0, 1, 302, 303, 1000, 3 << 20}) {
    SCOPED_TRACE(size);
    const std::string data = RandomBytes(size, static_cast<unsigned>(size));
    {
      GzipOutputStream out("ours.gz");
      ASSERT_TRUE(out.good());
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
      out.close();
      EXPECT_TRUE(out.good());
    }
    EXPECT_EQ(GunzipTool("ours.gz"), data);

    GzipTool("theirs.gz", data);
    GzipInputStream in(std::string("theirs.gz"));
    ASSERT_TRUE(in.good());
    EXPECT_EQ(ReadAll(in), data);
    EXPECT_TRUE(in.eof());
  }
}

TEST_F(GzipTest, FormattedTextAndDestructorFlush) {
  const std::string expected = "line 1 of 3\nline 2 of 3\nline 3 of 3\n";
  {
    GzipOutputStream out("t.gz");
    for (int i = 1; i <= 3; ++i) out << "line " << i << " of " << 3 << '\n';
  }  // destroyed without close
  EXPECT_EQ(GunzipTool("t.gz"), expected);
  {
    GzipStreamBuf buf;
    ASSERT_EQ(buf.open("b.gz", std::ios::out), &buf);
    buf.sputn("abc", 3);
  }
  EXPECT_EQ(GunzipTool("b.gz"), "abc");

  GzipInputStream in("t.gz");
  std::string line, joined;
  while (std::getline(in, line)) joined += line + "\n";
  EXPECT_EQ(joined, expected);
}

TEST_F(GzipTest, UnopenableFilesSetBadbit) {
  fs::create_directory("dir");
  GzipInputStream missing("missing.gz");
  EXPECT_TRUE(missing.bad());
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(missing.get(), EOF);
  GzipOutputStream noDir("nodir/x.gz");
  EXPECT_TRUE(noDir.bad());
  GzipOutputStream isDir("dir");
  EXPECT_TRUE(isDir.bad());
  GzipStreamBuf buf;
  EXPECT_EQ(buf.open(nullptr, std::ios::in), nullptr);

  GzipTool("locked.gz", "secret");
  fs::permissions("locked.gz", fs::perms::none);
  if (access("locked.gz", R_OK) != 0) {  // root reads anything
    GzipInputStream locked("locked.gz");
    EXPECT_TRUE(locked.bad());
    EXPECT_EQ(locked.get(), EOF);
  }
}

// Broken input ends the stream with what zlib delivered.
TEST_F(GzipTest, CorruptInputEndsQuietly) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "row " + std::to_string(i * 7919 % 10007) + "\n";
  GzipTool("good.gz", data);
  const std::string gz = ReadPlain("good.gz");
  std::string flipped = gz;
  flipped[gz.size() / 2] = static_cast<char>(flipped[gz.size() / 2] ^ 0x55);
  const struct {
    const char* name;
    std::string bytes;
    bool prefix;  // delivered bytes are a proper prefix of data
  } cases[] = {{"half", gz.substr(0, gz.size() / 2), true},
               {"header only", gz.substr(0, 5), true},
               {"no trailer", gz.substr(0, gz.size() - 8), false},
               {"magic then junk", std::string("\x1f\x8b") + RandomBytes(500, 1), true},
               {"flipped", flipped, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WritePlain("bad.gz", c.bytes);
    GzipInputStream in("bad.gz");
    ASSERT_TRUE(in.good());
    const std::string got = ReadAll(in);
    EXPECT_TRUE(in.eof());
    EXPECT_LE(got.size(), data.size());
    if (c.prefix) {
      EXPECT_LT(got.size(), data.size());
      EXPECT_EQ(got, data.substr(0, got.size()));
    }
  }
  WritePlain("plain.txt", "not compressed\n");  // zlib passes plain files through
  GzipInputStream plain("plain.txt");
  EXPECT_EQ(ReadAll(plain), "not compressed\n");
}

TEST_F(GzipTest, WriteFailuresAreReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  GzipOutputStream small("/dev/full");
  small << "tiny";
  EXPECT_TRUE(small.good());  // still inside zlib's buffer
  small.close();
  EXPECT_TRUE(small.bad());

  const std::string big = RandomBytes(1 << 20, 5);
  GzipOutputStream large("/dev/full");
  large.write(big.data(), static_cast<std::streamsize>(big.size()));
  EXPECT_TRUE(large.bad());
  large.clear();  // a retry fails again, and nothing is written out of place
  large << "retry" << std::string(400, 'x');
  EXPECT_TRUE(large.bad());

  // After a failed flush the full buffer stays pending; more characters are
  // refused without being stored beyond it.
  ProbeBuf buf;
  ASSERT_EQ(buf.open("/dev/full", std::ios::out), &buf);
  EXPECT_LT(buf.sputn(big.data(), static_cast<std::streamsize>(big.size())), static_cast<std::streamsize>(big.size()));
  EXPECT_EQ(buf.pptr() - buf.pbase(), GzipStreamBuf::kBufferSize);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(buf.sputc('\0'), EOF);
  EXPECT_EQ(buf.sputn("retry", 5), 0);
  EXPECT_EQ(buf.pptr() - buf.pbase(), GzipStreamBuf::kBufferSize);
  EXPECT_TRUE(buf.is_open());
  EXPECT_EQ(buf.pubsync(), -1);
  EXPECT_EQ(buf.close(), nullptr);
  EXPECT_FALSE(buf.is_open());
}

}  // namespace
