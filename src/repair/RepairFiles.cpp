#include "repair/RepairFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Frame.h"

namespace {

constexpr size_t kMaxPieceText = 511;       // bytes of line text per piece
constexpr size_t kInputWindow = 64 * 1024;  // bytes of the source held at once

// The temporary file's name. A source that itself carries the temporary
// extension would otherwise be its own temporary file, and deleting the old
// temporary file would delete the source.
std::string TempName(const std::string& path) {
  std::string name = RepairSiblingName(path, ".t~p");
  return name == path ? path + ".t~p" : name;
}

}  // namespace

std::string RepairSiblingName(const std::string& path, const std::string& ext) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  // Only a "." inside the file name, and not its first character (".htaccess"
  // has no extension), starts the part that is replaced.
  if (dot == std::string::npos || dot <= nameStart) return path + ext;
  return path.substr(0, dot) + ext;
}

int CRepairFiles::BeginFileRepair(const std::string& path) {
  CloseAll();
  fsys::CopyFileNoReplace(path, RepairSiblingName(path, ".rep"));

  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return 0;
  struct stat info {};
  if (fstat(fileno(in), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(in);
    return 0;
  }

  const std::string temp = TempName(path);
  unlink(temp.c_str());
  // Readable by us alone until EndFileRepair gives it the source's bits.
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!out) {
    if (fd >= 0) close(fd);
    std::fclose(in);
    return 0;
  }
  std::setvbuf(out, nullptr, _IOFBF, 1 << 16);

  m_pRepairIn = in;
  m_pRepairOut = out;
  m_strLineEnd = "\n";
  m_bLineEndKnown = false;
  m_bCopyFailed = false;
  m_inBuf.resize(kInputWindow);
  m_nInPos = m_nInEnd = 0;
  m_bInEof = false;
  return 1;
}

int CRepairFiles::RepairLinkLine(const std::string& url, const std::string& path, int type) {
  if (!m_pRepairIn) return 0;
  Piece piece;
  while (ReadPiece(&piece)) {
    const void* hit = memmem(piece.data, piece.textLength, url.data(), url.size());
    if (!hit) {
      Write(piece.data, piece.textLength + piece.endLength);
      continue;
    }
    const size_t at = static_cast<const char*>(hit) - piece.data;
    if (type == 0) {
      Write("<!--", 4);
      Write(piece.data, piece.textLength);
      Write("-->", 3);
      WriteLineEnd(piece);
    } else if (type == 1) {
      const size_t slash = path.rfind('/');
      const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
      const size_t after = at + url.size();
      Write(piece.data, at);
      Write(name.data(), name.size());
      Write(piece.data + after, piece.textLength - after);
      Write("<!--", 4);
      Write(url.data(), url.size());
      Write("-->", 3);
      WriteLineEnd(piece);
    }
    return 1;
  }
  m_frame.MessageBox("We looked in file\n" + path + "\nbut could not file the URL\n" + url, MB_OK);
  return 0;
}

int CRepairFiles::EndFileRepair(const std::string& path) {
  if (!m_pRepairIn) return 0;
  Write(m_inBuf.data() + m_nInPos, m_nInEnd - m_nInPos);
  m_nInPos = m_nInEnd;
  while (!m_bInEof) {
    const size_t got = std::fread(m_inBuf.data(), 1, m_inBuf.size(), m_pRepairIn);
    if (got == 0) {
      if (std::ferror(m_pRepairIn)) m_bCopyFailed = true;
      m_bInEof = true;
    }
    Write(m_inBuf.data(), got);
  }
  bool copied = !m_bCopyFailed;
  if (m_pRepairOut && std::fclose(m_pRepairOut) != 0) copied = false;
  m_pRepairOut = nullptr;
  CloseAll();
  // An incomplete copy never takes the source's place.
  if (!copied) return 0;

  const std::string temp = TempName(path);
  struct stat source {};
  if (stat(path.c_str(), &source) != 0) return 0;
  struct stat copy {};
  if (stat(temp.c_str(), &copy) != 0) return 0;
  if (copy.st_uid != source.st_uid || copy.st_gid != source.st_gid) {
    // Only a privileged user can give the copy the source's owner; the group
    // may still be kept.
    if (chown(temp.c_str(), source.st_uid, source.st_gid) != 0)
      (void)chown(temp.c_str(), static_cast<uid_t>(-1), source.st_gid);
  }
  if (chmod(temp.c_str(), source.st_mode & 07777) != 0) return 0;
  return std::rename(temp.c_str(), path.c_str()) == 0 ? 1 : 0;
}

void CRepairFiles::CloseAll() {
  if (m_pRepairOut) std::fclose(m_pRepairOut);
  if (m_pRepairIn) std::fclose(m_pRepairIn);
  m_pRepairOut = nullptr;
  m_pRepairIn = nullptr;
  m_inBuf.clear();
  m_inBuf.shrink_to_fit();
  m_nInPos = m_nInEnd = 0;
}

bool CRepairFiles::FillInput(size_t wanted) {
  if (m_nInEnd - m_nInPos >= wanted || m_bInEof) return m_nInEnd > m_nInPos;
  std::memmove(m_inBuf.data(), m_inBuf.data() + m_nInPos, m_nInEnd - m_nInPos);
  m_nInEnd -= m_nInPos;
  m_nInPos = 0;
  while (m_nInEnd < m_inBuf.size() && !m_bInEof) {
    const size_t got =
        std::fread(m_inBuf.data() + m_nInEnd, 1, m_inBuf.size() - m_nInEnd, m_pRepairIn);
    if (got == 0) {
      if (std::ferror(m_pRepairIn)) m_bCopyFailed = true;
      m_bInEof = true;
    }
    m_nInEnd += got;
  }
  return m_nInEnd > m_nInPos;
}

bool CRepairFiles::ReadPiece(Piece* piece) {
  // The longest piece is its text and a two-byte line end.
  if (!FillInput(kMaxPieceText + 2)) return false;
  const char* data = m_inBuf.data() + m_nInPos;
  const size_t avail = m_nInEnd - m_nInPos;
  size_t text = std::min(avail, kMaxPieceText);
  size_t end = 0;
  const void* nl = std::memchr(data, '\n', std::min(avail, kMaxPieceText + 2));
  if (nl) {
    const size_t at = static_cast<const char*>(nl) - data;
    if (at > 0 && data[at - 1] == '\r' && at - 1 <= kMaxPieceText) {
      text = at - 1;
      end = 2;
    } else if (at <= kMaxPieceText) {
      text = at;
      end = 1;
    }
  }
  if (end > 0 && !m_bLineEndKnown) {
    m_strLineEnd = end == 2 ? "\r\n" : "\n";
    m_bLineEndKnown = true;
  }
  piece->data = data;
  piece->textLength = text;
  piece->endLength = end;
  m_nInPos += text + end;
  return true;
}

void CRepairFiles::Write(const char* data, size_t size) {
  if (size > 0 && std::fwrite(data, 1, size, m_pRepairOut) != size) m_bCopyFailed = true;
}

void CRepairFiles::WriteLineEnd(const Piece& piece) {
  if (piece.endLength > 0) {
    Write(piece.data + piece.textLength, piece.endLength);
    return;
  }
  if (!m_bLineEndKnown) {
    // The piece is cut from a line longer than a piece: the file's first line
    // end may still lie ahead in the window.
    const char* rest = m_inBuf.data() + m_nInPos;
    const void* nl = std::memchr(rest, '\n', m_nInEnd - m_nInPos);
    if (nl) {
      const char* at = static_cast<const char*>(nl);
      const bool crlf = at > m_inBuf.data() && at[-1] == '\r';
      Write(crlf ? "\r\n" : "\n", crlf ? 2 : 1);
      return;
    }
  }
  Write(m_strLineEnd.data(), m_strLineEnd.size());
}
