// Support for the hostile-input tests: scratch directories, files, and a
// child process run with a time limit and its peak memory measured.
#ifndef PILEOGRAPH_HOSTILESUPPORT_H
#define PILEOGRAPH_HOSTILESUPPORT_H

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace hostile {

// Sanitizer builds run slower and hold more memory (shadow, quarantine).
#if HOSTILE_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A fresh directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pileograph-hostile-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) mPath = buf.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!mPath.empty()) std::filesystem::remove_all(mPath, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return mPath; }
  std::string operator/(const std::string& name) const { return mPath + "/" + name; }

 private:
  std::string mPath;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

inline long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

struct ChildResult {
  bool mExited = false;    // ended by exit (not by a signal or the time limit)
  int mStatus = -1;        // exit status when mExited
  int mSignal = 0;         // terminating signal otherwise
  bool mTimedOut = false;  // killed at the time limit
  long mPeakRssKb = 0;     // peak resident memory of the child
  double mSeconds = 0;     // wall time
  double mCpuSeconds = 0;  // user and system time, less swayed by other load
  std::string mStdout;
  std::string mStderr;
};

// Runs `args` (args[0] the program) in `dir`, standard input from /dev/null,
// standard output and error captured; kills it after `limitSeconds`. With
// `stdoutFd` set, standard output goes there instead and nothing of it is
// captured.
inline ChildResult RunChild(const std::vector<std::string>& args, const std::string& dir,
                            double limitSeconds, int stdoutFd = -1) {
  ChildResult result;
  const std::string outPath = dir + "/.child-stdout";
  const std::string errPath = dir + "/.child-stderr";
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // A forked child starts with this process's resident pages counted in its
  // peak; give free heap back first so that only a few megabytes remain.
  malloc_trim(0);
  const auto begin = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(stdoutFd >= 0 ? stdoutFd : out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return result;

  int status = 0;
  struct rusage usage {};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (done < 0 || elapsed > limitSeconds) {
      kill(pid, SIGKILL);
      wait4(pid, &status, 0, &usage);
      result.mTimedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.mSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  result.mPeakRssKb = usage.ru_maxrss;
  result.mCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!result.mTimedOut && WIFEXITED(status)) {
    result.mExited = true;
    result.mStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.mSignal = WTERMSIG(status);
  }
  result.mStdout = ReadFile(outPath);
  result.mStderr = ReadFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

// Deterministic bytes for garbage files (a 64-bit LCG, high bits).
inline std::string Garbage(size_t n, unsigned long long seed) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    bytes[i] = static_cast<char>(seed >> 56);
  }
  return bytes;
}

// gen_cm's synthetic contig.fa and report.cm (700-base reads) in `dir`.
inline bool Generate(const std::string& dir, int contigLength, int reads, int seed = 1) {
  const ChildResult r = RunChild({GEN_CM, dir, "--contig", std::to_string(contigLength), "--reads",
                                  std::to_string(reads), "--seed", std::to_string(seed)},
                                 dir, 60);
  return r.mExited && r.mStatus == 0;
}

// strace, which makes chosen system calls of a child fail; empty when absent.
inline std::string Strace() {
  for (const char* path : {"/usr/bin/strace", "/bin/strace", "/usr/local/bin/strace"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return "";
}

// `args` run under strace so that the `calls` (e.g. "read") on `file` (""
// for any) fail with `error` (e.g. "EIO") from their `when`-th on ("2+"),
// and so does a further fault `also` ("ftruncate:error=EIO") when given.
// Leak checking does not work under a tracer, so it is off for the child.
inline std::vector<std::string> FailingCalls(const std::string& file, const std::string& calls,
                                             const std::string& error, const std::string& when,
                                             const std::vector<std::string>& args,
                                             const std::string& also = "") {
  std::vector<std::string> traced = {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0", Strace(), "-o", "/dev/null"};
  if (!file.empty()) traced.insert(traced.end(), {"-P", file});
  traced.insert(traced.end(), {"-e", "inject=" + calls + ":error=" + error + ":when=" + when});
  if (!also.empty()) traced.insert(traced.end(), {"-e", "inject=" + also});
  traced.insert(traced.end(), args.begin(), args.end());
  return traced;
}

}  // namespace hostile

#endif
