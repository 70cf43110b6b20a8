#include "engine/LinkExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

namespace linkward {

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kLineLimit = 999;  // a line is read with a 1000-byte buffer

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  // Closes now; false when the close reports a failure (a lost write).
  bool Close() {
    int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int m_fd;
};

// Reads the next block; a read error counts as the end of the file.
ssize_t ReadBlock(int fd, unsigned char* buffer) {
  ssize_t n;
  do {
    n = ::read(fd, buffer, kBlockSize);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

bool WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// Pass 1: one line per "<A" (any case), the file's own line breaks removed.
// A window of two characters slides over the bytes other than CR and LF; a
// match writes "\r\n" and refills the window with the next two characters,
// otherwise the first character is written once copying is on. The window's
// second character is never written, so neither is the file's last one.
// False when the scratch copy could not be written completely.
bool WriteAnchorLines(int htmlFd, int scratchFd) {
  std::unique_ptr<unsigned char[]> in(new unsigned char[kBlockSize]);
  // A block of n bytes writes at most n + 1 bytes (a match writes two for two,
  // and one of them may be the character carried in the window).
  std::unique_ptr<char[]> out(new char[kBlockSize + 2]);
  bool copying = false;
  bool haveFirst = false;
  unsigned char first = 0;
  ssize_t n;
  while ((n = ReadBlock(htmlFd, in.get())) > 0) {
    char* put = out.get();
    for (const unsigned char *p = in.get(), *end = p + n; p < end; ++p) {
      unsigned char c = *p;
      if (c == '\r' || c == '\n') continue;
      if (!haveFirst) {
        first = c;
        haveFirst = true;
      } else if (first == '<' && (c == 'A' || c == 'a')) {
        copying = true;
        *put++ = '\r';
        *put++ = '\n';
        haveFirst = false;
      } else {
        if (copying) *put++ = static_cast<char>(first);
        first = c;
      }
    }
    if (!WriteAll(scratchFd, out.get(), static_cast<size_t>(put - out.get()))) return false;
  }
  return true;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void TrimRight(std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  text.resize(end);
}

void TrimLeft(std::string& text) {
  size_t begin = 0;
  while (begin < text.size() && IsSpace(text[begin])) ++begin;
  text.erase(0, begin);
}

// Pass 2: reads the scratch copy as text ("\r\n" is one line end, kept as
// "\n") in lines of at most kLineLimit characters, the newline included.
void ReadAnchorLines(int scratchFd, StringList& links, StringList& anchors, StringList* skipped) {
  std::unique_ptr<unsigned char[]> in(new unsigned char[kBlockSize]);
  std::string line;
  line.reserve(kLineLimit + 1);
  std::string url, anchor;
  auto deliver = [&] {
    if (!line.empty() && LinkFromLine(line, &url, &anchor)) {
      links.push_back(url);
      anchors.push_back(anchor);
    } else if (skipped && line.size() == kLineLimit && line.back() != '\n') {
      // Cut by the limit: a link in it lost its quote, its ">" or its end mark.
      std::string upper = line;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      size_t start = upper.find("HTTP://");
      if (start == std::string::npos) start = upper.find("FTP://");
      if (start != std::string::npos) skipped->push_back(line.substr(start, 60));
    }
    line.clear();
  };
  bool crPending = false;  // a "\r" ended the last block; its meaning needs the next byte
  ssize_t n;
  while ((n = ReadBlock(scratchFd, in.get())) > 0) {
    const unsigned char* p = in.get();
    const unsigned char* end = p + n;
    if (crPending) {
      crPending = false;
      if (*p == '\n') {
        line.push_back('\n');
        deliver();
        ++p;
      } else {
        line.push_back('\r');
        if (line.size() == kLineLimit) deliver();
      }
    }
    while (p < end) {
      // Copy the run of ordinary bytes that still fits into the line.
      const unsigned char* stop = p + std::min<size_t>(end - p, kLineLimit - line.size());
      const unsigned char* q = p;
      while (q < stop && *q != '\r' && *q != '\n') ++q;
      line.append(reinterpret_cast<const char*>(p), q - p);
      p = q;
      if (line.size() == kLineLimit) {
        deliver();
        continue;
      }
      if (p == end) break;
      if (*p == '\n') {
        line.push_back('\n');
        deliver();
        ++p;
      } else if (p + 1 == end) {  // "\r" at the end of the block
        crPending = true;
        ++p;
      } else if (p[1] == '\n') {
        line.push_back('\n');
        deliver();
        p += 2;
      } else {
        line.push_back('\r');
        ++p;
        if (line.size() == kLineLimit) deliver();
      }
    }
  }
  if (crPending) line.push_back('\r');
  deliver();
}

}  // namespace

bool LinkFromLine(const std::string& line, std::string* url, std::string* anchor) {
  std::string upper = line;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  size_t start = upper.find("HTTP://");
  if (start == std::string::npos) start = upper.find("FTP://");
  if (start == std::string::npos) return false;
  size_t quote = line.find('"', start);
  if (quote == std::string::npos) return false;
  size_t close = line.find('>', quote);
  if (close == std::string::npos) return false;
  size_t end = line.find("</A", close);
  if (end == std::string::npos) end = line.find("</a", close);
  if (end == std::string::npos) end = line.find('<', close);
  if (end == std::string::npos) return false;

  *url = line.substr(start, quote - start);
  TrimRight(*url);
  *anchor = line.substr(close + 1, end - close - 1);
  if (anchor->empty()) {
    *anchor = SUPPLIED_ANCHOR_NAME;
  } else {
    for (char& c : *anchor) {
      if (c == '\t') c = ' ';
    }
    TrimRight(*anchor);
    TrimLeft(*anchor);
  }
  return true;
}

bool ExtractLinksToLists(const std::string& htmlPath, const std::string& scratchPath,
                         StringList& links, StringList& anchors, StringList* skipped) {
  // Non-blocking open, then only regular files: a fifo or a device such as
  // /dev/zero would otherwise block or never end.
  FileDescriptor html(::open(htmlPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!html.valid()) return false;
  struct stat htmlStat, scratchStat;
  if (::fstat(html.get(), &htmlStat) != 0) return false;
  if (!S_ISREG(htmlStat.st_mode)) return true;
  // Never let the scratch copy truncate the file being read.
  if (::stat(scratchPath.c_str(), &scratchStat) == 0 && htmlStat.st_dev == scratchStat.st_dev &&
      htmlStat.st_ino == scratchStat.st_ino) {
    errno = EINVAL;
    return false;
  }

  FileDescriptor scratch(
      ::open(scratchPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!scratch.valid()) return false;
  bool written = WriteAnchorLines(html.get(), scratch.get());
  if (!written) return false;
  if (!scratch.Close()) return false;
  html.Close();

  FileDescriptor copy(::open(scratchPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!copy.valid()) return false;
  ReadAnchorLines(copy.get(), links, anchors, skipped);
  return true;
}

}  // namespace linkward
