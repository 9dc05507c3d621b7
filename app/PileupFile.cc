#include "PileupFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>

#include "OutputFile.h"

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the file `written` from where `path` leads, while it is still
// that regular file. `links` gets its number of names before.
bool Unlink(const char* path, const struct stat& written, nlink_t& links) {
  bool removed = false;
  links = 0;
  if (char* target = realpath(path, nullptr)) {
    struct stat now;
    if (lstat(target, &now) == 0 && S_ISREG(now.st_mode) && SameFile(now, written)) {
      links = now.st_nlink;
      removed = unlink(target) == 0;
    }
    std::free(target);
  }
  return removed;
}

// Empties the file `written` that `fd` holds open and removes it from where
// `path` leads, while it is still that regular file; closes `fd`. Returns
// what is left of the partial pileup, "" for nothing.
const char* Discard(int fd, const char* path, const struct stat& written) {
  if (!S_ISREG(written.st_mode)) {
    close(fd);
    return "";
  }
  const bool emptied = ftruncate(fd, 0) == 0;
  nlink_t links;
  const bool removed = Unlink(path, written, links);
  struct stat after;
  const bool linked = fstat(fd, &after) != 0 || after.st_nlink > 0;
  close(fd);
  if (!linked) return "";
  if (!emptied) return " (the partial file remains)";
  return removed ? "" : " (left empty: it could not be removed)";
}

// Discard for a file whose descriptor is already closed: opened again while
// it is still the file written, or, when it cannot be opened (a read-only
// file), only removed.
const char* DiscardClosed(const char* path, const struct stat& written) {
  if (!S_ISREG(written.st_mode)) return "";
  const int fd = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    struct stat now;
    if (fstat(fd, &now) == 0 && SameFile(now, written)) return Discard(fd, path, written);
    close(fd);
    return "";
  }
  nlink_t links;
  return Unlink(path, written, links) && links == 1 ? "" : " (the partial file remains)";
}

}  // namespace

bool WritePileup(Pileograph& pg, const char* path, const char* contigPath, int start, int end,
                 std::string& failure) {
  bool regular = false;
  Written opened;
  FileId id;
  const int fd = OpenOutputFile(path, pg.ReadFiles(), true, regular, opened, id);
  if (fd < 0) {
    failure = std::strerror(errno != 0 ? errno : EIO);
    if (opened == Written::kInUse) failure = "is in use, not written";
    if (opened == Written::kIsInput) {
      failure = std::string("is the ") + (*pg.ReadFiles().Find(id) == contigPath ? "contig" : "report") +
                " file, not overwritten";
    }
    return false;
  }
  if (regular && ftruncate(fd, 0) != 0) {  // not cut: left as it was
    failure = std::strerror(errno);
    close(fd);
    return false;
  }
  struct stat written;
  if (fstat(fd, &written) != 0) written.st_mode = 0;  // unknown: never removed

  int error = 0;
  try {
    error = WriteThrough(fd, [&](std::ostream& os) { pg.PrintAlignment(os, start, end, 100); });
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  if (error != 0) {
    const char* left = Discard(fd, path, written);
    failure = std::string(std::strerror(error)) + left;
    return false;
  }
  if (close(fd) != 0) {
    error = errno != 0 ? errno : EIO;
    const char* left = DiscardClosed(path, written);
    failure = std::string(std::strerror(error)) + left;
    return false;
  }
  return true;
}

const char* InputAtPileupPath(const char* path, const char* contigPath, const char* reportPath) {
  FileId pileup;
  FileId input;
  if (!GetFileId(path, pileup)) return nullptr;
  if (GetFileId(contigPath, input) && SameFile(pileup, input)) return "contig";
  if (GetFileId(reportPath, input) && SameFile(pileup, input)) return "report";
  return nullptr;
}
