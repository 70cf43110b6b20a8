#include "engine/LinkExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kLineLimit = 999;  // a line is read with a 1000-byte buffer
constexpr int kEnd = -1;

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

// Buffered byte reader; a read error counts as the end of the file.
class BlockReader {
 public:
  explicit BlockReader(int fd) : m_fd(fd), m_buffer(new unsigned char[kBlockSize]) {}

  int Next() {
    if (m_pos == m_len && !Refill()) return kEnd;
    return m_buffer[m_pos++];
  }

 private:
  bool Refill() {
    if (m_eof) return false;
    ssize_t n;
    do {
      n = ::read(m_fd, m_buffer.get(), kBlockSize);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      m_eof = true;
      return false;
    }
    m_pos = 0;
    m_len = static_cast<size_t>(n);
    return true;
  }

  int m_fd;
  std::unique_ptr<unsigned char[]> m_buffer;
  size_t m_pos = 0;
  size_t m_len = 0;
  bool m_eof = false;
};

// Buffered writer that remembers whether any write failed.
class BlockWriter {
 public:
  explicit BlockWriter(int fd) : m_fd(fd), m_buffer(new char[kBlockSize]) {}

  void Put(char c) {
    if (m_len == kBlockSize) Flush();
    m_buffer[m_len++] = c;
  }

  bool Flush() {
    size_t done = 0;
    while (done < m_len && m_ok) {
      ssize_t n = ::write(m_fd, m_buffer.get() + done, m_len - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        m_ok = false;
        break;
      }
      done += static_cast<size_t>(n);
    }
    m_len = 0;
    return m_ok;
  }

 private:
  int m_fd;
  std::unique_ptr<char[]> m_buffer;
  size_t m_len = 0;
  bool m_ok = true;
};

// Bytes of the file other than CR and LF.
inline int NextCharacter(BlockReader& in) {
  int c;
  do {
    c = in.Next();
  } while (c == '\r' || c == '\n');
  return c;
}

// Pass 1: one line per "<A" (any case), the file's own line breaks removed.
// False when the scratch copy could not be written completely.
bool WriteAnchorLines(int htmlFd, int scratchFd) {
  BlockReader in(htmlFd);
  BlockWriter out(scratchFd);
  bool copying = false;
  int first = NextCharacter(in);
  int second = first == kEnd ? kEnd : NextCharacter(in);
  while (first != kEnd && second != kEnd) {
    if (first == '<' && (second == 'A' || second == 'a')) {
      copying = true;
      out.Put('\r');
      out.Put('\n');
      first = NextCharacter(in);
      if (first == kEnd) break;
      second = NextCharacter(in);
    } else {
      if (copying) out.Put(static_cast<char>(first));
      first = second;
      second = NextCharacter(in);
    }
  }
  return out.Flush();
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
// "\n") in lines of at most kLineLimit characters.
void ReadAnchorLines(int scratchFd, StringList& links, StringList& anchors) {
  BlockReader in(scratchFd);
  std::string line;
  line.reserve(kLineLimit + 1);
  std::string url, anchor;
  int pending = kEnd;  // a character read ahead after a lone "\r"
  bool done = false;
  while (!done) {
    line.clear();
    while (line.size() < kLineLimit) {
      int c = pending;
      pending = kEnd;
      if (c == kEnd) c = in.Next();
      if (c == kEnd) {
        done = true;
        break;
      }
      if (c == '\r') {
        int next = in.Next();
        if (next == '\n') {
          c = '\n';
        } else {
          pending = next;
        }
      }
      line.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    if (!line.empty() && LinkFromLine(line, &url, &anchor)) {
      links.push_back(url);
      anchors.push_back(anchor);
    }
  }
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

void ExtractLinksToLists(const std::string& htmlPath, const std::string& scratchPath,
                         StringList& links, StringList& anchors) {
  FileDescriptor html(::open(htmlPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!html.valid()) return;

  // Never let the scratch copy truncate the file being read.
  struct stat htmlStat, scratchStat;
  if (::fstat(html.get(), &htmlStat) == 0 && ::stat(scratchPath.c_str(), &scratchStat) == 0 &&
      htmlStat.st_dev == scratchStat.st_dev && htmlStat.st_ino == scratchStat.st_ino) {
    return;
  }

  FileDescriptor scratch(
      ::open(scratchPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!scratch.valid()) return;
  bool written = WriteAnchorLines(html.get(), scratch.get());
  if (!scratch.Close() || !written) return;
  html.Close();

  FileDescriptor copy(::open(scratchPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!copy.valid()) return;
  ReadAnchorLines(copy.get(), links, anchors);
}
