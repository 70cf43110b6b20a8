#include "repair/RepairFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "platform/HostUi.h"

namespace linkward {

namespace {

bool EndsWith(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The temporary file's name.
std::string TempName(const std::string& path) {
  return RepairSiblingName(path, ".t~p");
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SyncDirectoryOf(const std::string& path) {
  const int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
}

// Copies the open file in (st_size bytes) to a new file backup, never
// replacing one: the copy is written under a temporary name, flushed to disk,
// checked to hold every byte, marked as the backup of page and only then
// given its name. A copy cut short (a file size limit, a full disk, the
// program killed) never carries the backup's name.
bool MakeBackup(int in, const struct stat& info, const std::string& backup, const std::string& page,
                int* error) {
  const std::string temp = backup + ".t~p";
  ::unlink(temp.c_str());
  const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  *error = errno;
  if (out < 0) return false;
  *error = 0;
  auto failed = [error] {
    if (*error == 0) *error = errno != 0 ? errno : EIO;
    return false;
  };
  bool ok = true;
  std::vector<char> buf(1 << 16);
  off_t at = 0;
  for (;;) {
    errno = 0;
    const ssize_t n = ::pread(in, buf.data(), buf.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = failed();
    if (n <= 0) break;
    if (!WriteAll(out, buf.data(), static_cast<size_t>(n))) {
      ok = failed();
      break;
    }
    at += n;
  }
  struct stat copy {};
  errno = 0;
  if (ok && (at != info.st_size || ::fstat(out, &copy) != 0 || copy.st_size != at)) ok = failed();
  const std::string mark = BackupMarkText(page, at);
  // The mark is a help, not a need: a file system without user attributes
  // still gets a whole backup.
  if (ok) (void)::fsetxattr(out, REPAIR_BACKUP_MARK, mark.data(), mark.size(), 0);
  errno = 0;
  if (ok && (::fchmod(out, info.st_mode & 0777) != 0 || ::fsync(out) != 0)) ok = failed();
  if (::close(out) != 0 && ok) ok = failed();
  if (ok && ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) != 0 &&
      (errno == EEXIST || ::link(temp.c_str(), backup.c_str()) != 0)) {
    ok = failed();
  }
  ::unlink(temp.c_str());
  if (ok) SyncDirectoryOf(backup);
  return ok;
}

// True when the file at path holds exactly the size bytes of the open file in.
bool SameContent(int in, off_t size, const std::string& path) {
  const int other = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (other < 0) return false;
  struct stat info {};
  bool same = ::fstat(other, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == size;
  std::vector<char> a(1 << 16), b(1 << 16);
  for (off_t at = 0; same && at < size;) {
    const ssize_t n = ::pread(in, a.data(), a.size(), at);
    const ssize_t m = n > 0 ? ::pread(other, b.data(), static_cast<size_t>(n), at) : -1;
    same = n > 0 && m == n && std::memcmp(a.data(), b.data(), static_cast<size_t>(n)) == 0;
    at += n;
  }
  ::close(other);
  return same;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

// True when an anchor start tag "<a" (any case, then a blank or ">") begins at i.
bool AnchorStartAt(const std::string& text, size_t i) {
  if (i + 2 > text.size() || text[i] != '<' || (text[i + 1] != 'a' && text[i + 1] != 'A'))
    return false;
  return i + 2 == text.size() || IsBlank(text[i + 2]) || text[i + 2] == '\n' || text[i + 2] == '>';
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

// True when text from i on is a srcset descriptor ("2x", "640w", "1.5x")
// followed by optional blanks and a "," or a quote.
bool DescriptorAt(const std::string& text, size_t i) {
  const size_t digits = i;
  while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
    ++i;
  if (i == digits || i == text.size() || (text[i] != 'x' && text[i] != 'w' && text[i] != 'h'))
    return false;
  ++i;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i < text.size() && (text[i] == ',' || IsQuote(text[i]));
}

// True when text[at, at + size) is a whole attribute value: in double quotes,
// in single quotes or unquoted, blanks inside the quotes allowed; or a whole
// candidate of a srcset list.
bool WholeValueAt(const std::string& text, size_t at, size_t size) {
  size_t before = at;
  while (before > 0 && IsBlank(text[before - 1])) --before;
  if (before == 0) return false;
  const char open = text[before - 1];
  size_t after = at + size;
  const char next = after < text.size() ? text[after] : '\n';
  while (after < text.size() && IsBlank(text[after])) ++after;
  const char close = after < text.size() ? text[after] : '\n';
  if (open == '=') return next == '\n' || next == '>' || IsBlank(next);  // unquoted
  if (!IsQuote(open) && open != ',') return false;
  if (close == open) return true;  // quoted
  // In a srcset list: after a quote or a ",", up to a descriptor, a "," or the quote.
  if (after > at + size && DescriptorAt(text, after)) return true;
  return open == ',' && (close == ',' || IsQuote(close));
}

size_t CountAnchors(const std::string& text) {
  size_t count = 0;
  for (size_t i = text.find('<'); i != std::string::npos; i = text.find('<', i + 1))
    count += AnchorStartAt(text, i) ? 1 : 0;
  return count;
}

// The end of the first "</a>" at or after from; npos when there is none.
size_t AnchorEndAfter(const std::string& text, size_t from) {
  for (size_t i = text.find("</", from); i != std::string::npos; i = text.find("</", i + 1)) {
    if (i + 4 <= text.size() && (text[i + 2] == 'a' || text[i + 2] == 'A') && text[i + 3] == '>')
      return i + 4;
  }
  return std::string::npos;
}

// The anchor element around [pos, end): from the last "<a" at or before pos
// to the end of the first "</a>" at or after end (the line end when there is
// none). A URL outside any anchor (an image's source, say) gets the tag that
// holds it, from its "<" to its ">".
std::pair<size_t, size_t> ElementAround(const std::string& text, size_t pos, size_t end) {
  size_t start = std::string::npos;
  for (size_t i = pos + 1; i-- > 0;) {
    if (AnchorStartAt(text, i)) {
      start = i;
      break;
    }
  }
  if (start != std::string::npos) {
    const size_t close = AnchorEndAfter(text, start);
    if (close == std::string::npos || close > pos) {
      const size_t stop = AnchorEndAfter(text, end);
      return {start, stop == std::string::npos ? text.size() : stop};
    }
  }
  const size_t open = pos == 0 ? std::string::npos : text.rfind('<', pos - 1);
  const size_t close = text.find('>', end);
  return {open == std::string::npos ? 0 : open,
          close == std::string::npos ? text.size() : close + 1};
}

// text made safe to stand inside a comment: nothing in it can end the comment
// early ("-->", "--!>", a leading ">" or "->" become "&gt;").
std::string CommentSafe(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const bool gt = text[i] == '>' && ((i == 0) || (i == 1 && text[0] == '-') ||
                                       (i >= 2 && text.compare(i - 2, 2, "--") == 0) ||
                                       (i >= 3 && text.compare(i - 3, 3, "--!") == 0));
    if (gt) {
      safe += "&gt;";
    } else {
      safe += text[i];
    }
  }
  return safe;
}

bool AllBlank(const std::string& text, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (!IsBlank(text[i])) return false;
  }
  return true;
}

// text put out of the page's markup: every run outside the comments it
// already holds goes inside a comment of its own (made safe); its comments
// stay as they are, and so does a comment that it opens and does not close.
std::string CommentedOut(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find("<!--", at);
    const size_t runEnd = open == std::string::npos ? text.size() : open;
    if (runEnd > at && (open == std::string::npos || at == 0 || !AllBlank(text, at, runEnd))) {
      out += "<!--" + CommentSafe(text.substr(at, runEnd - at)) + "-->";
    } else {
      out.append(text, at, runEnd - at);
    }
    if (open == std::string::npos) break;
    const size_t close = text.find("-->", open + 4);
    if (close == std::string::npos) {
      out.append(text, open, std::string::npos);
      break;
    }
    out.append(text, open, close + 3 - open);
    at = close + 3;
  }
  return out;
}

// A file name as the value of a double-quoted attribute.
std::string QuotedName(const std::string& name) {
  std::string quoted;
  for (char c : name) {
    if (c == '"') {
      quoted += "&quot;";
    } else {
      quoted += c;
    }
  }
  return quoted;
}

// One line of a diff: its mark, its text, and the note a line without a
// line end needs.
void DiffLine(std::string& out, char mark, const std::string& line) {
  out += mark;
  out += line;
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

// The unified diff (context 3) of lines after the changes (line index, its
// new text: none, one line, or one line without its end).
std::string UnifiedDiff(const std::string& label, const std::vector<std::string>& lines,
                        const std::vector<std::pair<size_t, std::string>>& changes) {
  constexpr size_t kContext = 3;
  std::string out;
  bool any = false;
  for (const auto& change : changes) any = any || change.second != lines[change.first];
  if (!any) return out;
  std::string name = label;
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  out += "--- a/" + name + "\n+++ b/" + name + "\n";
  long shift = 0;  // new line number minus old line number, before the hunk
  for (size_t k = 0; k < changes.size();) {
    if (changes[k].second == lines[changes[k].first]) {
      ++k;
      continue;
    }
    // The changes that join this hunk: those whose contexts meet or overlap.
    size_t last = k + 1;
    while (last < changes.size() && changes[last].first <= changes[last - 1].first + 2 * kContext + 1)
      ++last;
    const size_t from = changes[k].first > kContext ? changes[k].first - kContext : 0;
    const size_t to = std::min(lines.size(), changes[last - 1].first + kContext + 1);
    std::string body;
    size_t oldCount = to - from, newCount = 0;
    size_t c = k;
    for (size_t i = from; i < to; ++i) {
      if (c < last && changes[c].first == i) {
        if (changes[c].second != lines[i]) {
          DiffLine(body, '-', lines[i]);
          if (!changes[c].second.empty()) {
            DiffLine(body, '+', changes[c].second);
            ++newCount;
          }
        } else {
          DiffLine(body, ' ', lines[i]);
          ++newCount;
        }
        ++c;
      } else {
        DiffLine(body, ' ', lines[i]);
        ++newCount;
      }
    }
    const long newFrom = static_cast<long>(from) + shift;
    out += "@@ -" + std::to_string(from + 1) + "," + std::to_string(oldCount) + " +" +
           std::to_string(newCount == 0 ? newFrom : newFrom + 1) + "," + std::to_string(newCount) +
           " @@\n" + body;
    shift += static_cast<long>(newCount) - static_cast<long>(oldCount);
    k = last;
  }
  return out;
}

// The Markdown link whose destination is line[at, at + size): true with the
// link's span [*from, *to) (an inline link from its "[" or "![", an autolink
// from its "<", a bare address itself; a reference definition from its "["
// to the line's end, *definition set).
bool MarkdownLinkAt(const std::string& line, size_t at, size_t size, size_t* from, size_t* to,
                    bool* definition) {
  *definition = false;
  const size_t end = at + size;
  auto blank = [&](size_t i) { return i < line.size() && (line[i] == ' ' || line[i] == '\t'); };
  // After the destination: blanks, then a title in quotes or parentheses, or the end.
  auto titleOrEnd = [&](size_t i, char close, size_t* past) {
    while (blank(i)) ++i;
    if (i < line.size() && (line[i] == '"' || line[i] == '\'' || line[i] == '(')) {
      const char quote = line[i] == '(' ? ')' : line[i];
      const size_t shut = line.find(quote, i + 1);
      if (shut == std::string::npos) return false;
      i = shut + 1;
      while (blank(i)) ++i;
    }
    if (close == '\0') {
      *past = line.size();
      return i == line.size();
    }
    if (i >= line.size() || line[i] != close) return false;
    *past = i + 1;
    return true;
  };
  // A reference definition: "[ref]:" at the start of a block, which may sit
  // in block quotes ">" and list items ("-", "*", "+", "1.", "1)").
  size_t lead = 0;
  for (;;) {
    while (lead < line.size() && (blank(lead) || line[lead] == '>')) ++lead;
    size_t marker = lead;
    while (marker < line.size() && std::isdigit(static_cast<unsigned char>(line[marker]))) ++marker;
    const bool numbered =
        marker > lead && marker < line.size() && (line[marker] == '.' || line[marker] == ')');
    const bool bullet = marker == lead && marker < line.size() && std::strchr("-*+", line[marker]);
    if (!(numbered || bullet) || !blank(marker + 1)) break;
    lead = marker + 1;
  }
  if (lead < line.size() && line[lead] == '[') {
    const size_t colon = line.find("]:", lead + 1);
    if (colon != std::string::npos && colon > lead + 1) {
      size_t dest = colon + 2;
      while (blank(dest)) ++dest;
      const bool angle = dest < line.size() && line[dest] == '<';
      size_t past = 0;
      if (dest + (angle ? 1 : 0) == at && (!angle || (end < line.size() && line[end] == '>')) &&
          (angle || end == line.size() || blank(end)) &&
          titleOrEnd(end + (angle ? 1 : 0), '\0', &past)) {
        *from = lead;  // the quote and list markers stay
        *to = line.size();
        *definition = true;
        return true;
      }
    }
  }
  // An inline link or image: "](" before the destination, optionally in "<>".
  size_t open = at;
  const bool angle = open > 0 && line[open - 1] == '<';
  if (angle) --open;
  while (open > 0 && (line[open - 1] == ' ' || line[open - 1] == '\t')) --open;
  if (open >= 2 && line[open - 1] == '(' && line[open - 2] == ']') {
    if (angle && (end >= line.size() || line[end] != '>')) return false;
    size_t past = 0;
    if (!titleOrEnd(end + (angle ? 1 : 0), ')', &past)) return false;
    // Back to the "[" that opens the text; a text begun on an earlier line
    // starts the span at the line's start.
    size_t start = 0;
    int depth = 0;
    for (size_t i = open - 2; i-- > 0;) {
      if (line[i] == ']' && (i == 0 || line[i - 1] != '\\')) ++depth;
      if (line[i] == '[' && (i == 0 || line[i - 1] != '\\') && depth-- == 0) {
        start = i > 0 && line[i - 1] == '!' ? i - 1 : i;
        break;
      }
    }
    *from = start;
    *to = past;
    return true;
  }
  // An autolink.
  if (angle && end < line.size() && line[end] == '>') {
    *from = at - 1;
    *to = end + 1;
    return true;
  }
  // A bare address ("https://...", "www..."), as GitHub links it: after a
  // blank, the line's start or "*_~(", up to a blank, "<" or the line's end,
  // trailing punctuation aside.
  auto starts = [&](const char* scheme) {
    const size_t n = std::strlen(scheme);
    return size >= n && ::strncasecmp(line.c_str() + at, scheme, n) == 0;
  };
  if (!starts("http://") && !starts("https://") && !starts("ftp://") && !starts("www."))
    return false;
  const bool before = at == 0 || IsBlank(line[at - 1]) || std::strchr("*_~(", line[at - 1]);
  size_t after = end;
  while (after < line.size() && std::strchr("?!.,:*_~)'\"", line[after])) ++after;
  if (before && (after == line.size() || IsBlank(line[after]) || line[after] == '<')) {
    *from = at;
    *to = end;
    return true;
  }
  return false;
}

// True when the value at at follows "=" (after its quote and blanks) in a
// tag: an attribute value, not text that happens to be quoted.
bool AttributeValueAt(const std::string& line, size_t at) {
  size_t i = at;
  if (i > 0 && IsQuote(line[i - 1])) --i;
  while (i > 0 && IsBlank(line[i - 1])) --i;
  if (i == 0 || line[i - 1] != '=') return false;
  const size_t open = line.rfind('<', i - 1);
  return open != std::string::npos && line.find('>', open) >= i;
}

}  // namespace

bool IsMarkdownName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "md" || ext == "markdown";
}

std::string MarkdownDestination(const std::string& url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '(' || c == ')' || c == '<' || c == '>' || c == '\\' ||
        c == '"' || c == '\'') {
      text += '%';
      text += kHex[c >> 4];
      text += kHex[c & 15];
    } else {
      text += ch;
    }
  }
  return text;
}

std::string RepairSiblingName(const std::string& path, const std::string& ext) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  // Only a "." inside the file name, and not its first character (".htaccess"
  // has no extension), starts the part that is replaced.
  if (dot == std::string::npos || dot <= nameStart) return path + ext;
  return path.substr(0, dot) + ext;
}

bool IsRepairByproduct(const std::string& path) {
  return EndsWith(path, ".rep") || EndsWith(path, ".t~p");
}

std::string BackupMarkText(const std::string& page, long long size) {
  return BaseName(page) + "\n" + std::to_string(size);
}

bool ReadBackupMark(const std::string& backup, std::string* page, long long* size) {
  char text[4096];
  const ssize_t n = ::lgetxattr(backup.c_str(), REPAIR_BACKUP_MARK, text, sizeof text);
  if (n <= 0) return false;
  const std::string mark(text, static_cast<size_t>(n));
  const size_t nl = mark.rfind('\n');
  if (nl == std::string::npos || nl == 0) return false;
  char* end = nullptr;
  const long long value = std::strtoll(mark.c_str() + nl + 1, &end, 10);
  if (end != mark.c_str() + mark.size() || value < 0) return false;
  *page = mark.substr(0, nl);
  *size = value;
  return true;
}

std::string RepairBackupName(const std::string& path) {
  const std::string shared = RepairSiblingName(path, ".rep");
  const std::string dir = DirectoryOf(path);
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string sharedName = RepairSiblingName(name, ".rep");
  // Only names that begin with the part before the extension can share it.
  const std::string stem = RepairSiblingName(name, "");
  const std::string prefix = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  DIR* listing = ::opendir(dir.c_str());
  if (!listing) return shared;
  bool taken = false;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string other = entry->d_name;
    if (other >= name || other.compare(0, stem.size(), stem) != 0 || IsRepairByproduct(other))
      continue;
    struct stat info {};
    if (RepairSiblingName(other, ".rep") == sharedName &&
        ::stat((prefix + other).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      taken = true;
      break;
    }
  }
  ::closedir(listing);
  return taken ? path + ".rep" : shared;
}

bool CRepairFiles::EnsureBackup(int fd, const struct stat& info, const std::string& target) {
  // The usual name first; when a file that is not this page's backup holds
  // it, that file is kept as it is and the page's whole name is used.
  const std::string names[2] = {RepairBackupName(target), target + ".rep"};
  for (int k = 0; k < 2 && (k == 0 || names[1] != names[0]); ++k) {
    const std::string& backup = names[k];
    struct stat kept {};
    if (::lstat(backup.c_str(), &kept) != 0) {
      if (errno != ENOENT) return false;
      int error = 0;
      if (!MakeBackup(fd, info, backup, target, &error)) {
        m_frame.MessageBox("The backup\n" + backup + "\ncould not be written whole (" +
                               std::strerror(error) + "), so\n" + target + "\nwas not repaired.",
                           BoxStyle::Ok | BoxStyle::IconExclamation);
        return false;
      }
      if (k == 1) {
        m_frame.MessageBox(names[0] + "\nis not a backup of\n" + target +
                               "\nIt is kept as it is; the backup is\n" + backup,
                           BoxStyle::Ok | BoxStyle::IconInformation);
      }
      return true;
    }
    if (!S_ISREG(kept.st_mode)) return false;
    std::string page;
    long long size = 0;
    if (ReadBackupMark(backup, &page, &size)) {
      // Made by an earlier pass for this page; it must still be whole.
      if (page == BaseName(target)) {
        if (size == kept.st_size) return true;
        m_frame.MessageBox("The backup\n" + backup + "\nholds " + std::to_string(kept.st_size) +
                               " bytes, but " + std::to_string(size) + " were backed up, so\n" +
                               target + "\nwas not repaired.",
                           BoxStyle::Ok | BoxStyle::IconExclamation);
        return false;
      }
      continue;  // another page's
    }
    if (SameContent(fd, info.st_size, backup)) {
      const std::string mark = BackupMarkText(target, info.st_size);
      (void)::lsetxattr(backup.c_str(), REPAIR_BACKUP_MARK, mark.data(), mark.size(), 0);
      return true;  // a whole copy of the page as it is
    }
  }
  m_frame.MessageBox(target + "\nis not repaired: " + names[0] +
                         (names[1] != names[0] ? " and " + names[1] : "") +
                         " exist and are not backups of it.",
                     BoxStyle::Ok | BoxStyle::IconExclamation);
  return false;
}

int CRepairFiles::BeginFileRepair(const std::string& path) {
  CloseAll();
  if (IsRepairByproduct(path)) return 0;
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return 0;
  const std::string target = resolved;
  if (IsRepairByproduct(target)) return 0;

  const int fd = ::open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat info {};
  // A file without write permission is not rewritten, whoever runs the pass.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 ||
      ::access(target.c_str(), W_OK) != 0) {
    ::close(fd);
    return 0;
  }
  const bool backedUp = m_bDryRun || EnsureBackup(fd, info, target);
  std::FILE* in = backedUp ? ::fdopen(fd, "rb") : nullptr;
  if (!in) {
    ::close(fd);
    return 0;
  }

  m_strLabel = path;
  m_bMarkdown = IsMarkdownName(path);
  m_defined.clear();
  m_nLineIndex = m_nLinesRead = 0;
  m_srcLines.clear();
  m_changes.clear();
  if (m_bDryRun) {
    m_pRepairIn = in;
    m_strTarget = target;
    m_strLineEnd = "\n";
    m_bLineEndKnown = false;
    m_bCopyFailed = false;
    m_bLineHeld = false;
    m_matches.clear();
    return 1;
  }
  const std::string temp = TempName(target);
  ::unlink(temp.c_str());
  // Readable by us alone until EndFileRepair gives it the source's bits.
  const int outFd =
      ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  std::FILE* out = outFd >= 0 ? ::fdopen(outFd, "wb") : nullptr;
  if (!out) {
    if (outFd >= 0) {
      ::close(outFd);
      ::unlink(temp.c_str());
    }
    std::fclose(in);
    return 0;
  }
  std::setvbuf(out, nullptr, _IOFBF, 1 << 16);

  m_pRepairIn = in;
  m_pRepairOut = out;
  m_strTarget = target;
  m_strTemp = temp;
  m_nDev = info.st_dev;
  m_nIno = info.st_ino;
  m_nSize = info.st_size;
  m_mtime = info.st_mtim;
  m_strLineEnd = "\n";
  m_bLineEndKnown = false;
  m_bCopyFailed = false;
  m_bLineHeld = false;
  m_matches.clear();
  return 1;
}

int CRepairFiles::RepairLinkLine(const std::string& url, const std::string& path, RepairType type,
                                 const std::string& replacement) {
  if (!m_pRepairIn) return 0;
  m_nType = type;
  const size_t slash = path.rfind('/');
  m_strName = slash == std::string::npos ? path : path.substr(slash + 1);
  // Every reference link to a definition already rewritten is rewritten with it.
  if (m_bMarkdown && std::find(m_defined.begin(), m_defined.end(), url) != m_defined.end())
    return 1;
  if (m_bLineHeld && FindInLine(url, replacement)) return 1;
  FlushLine();
  while (ReadLine()) {
    if (FindInLine(url, replacement)) return 1;
    FlushLine();
  }
  m_frame.MessageBox("We looked in file\n" + path + "\nbut could not file the URL\n" + url,
                     BoxStyle::Ok);
  return 0;
}

int CRepairFiles::EndFileRepair(const std::string& path) {
  (void)path;  // the file opened by BeginFileRepair, through any link
  if (!m_pRepairIn) return 0;
  FlushLine();
  if (m_bDryRun) {
    while (ReadLine()) FlushLine();
    const bool read = !m_bCopyFailed;
    if (read) m_strDiff += UnifiedDiff(m_strLabel, m_srcLines, m_changes);
    m_srcLines.clear();
    m_changes.clear();
    CloseAll();
    return read ? 1 : 0;
  }
  std::vector<char> buf(1 << 16);
  for (;;) {
    const size_t got = std::fread(buf.data(), 1, buf.size(), m_pRepairIn);
    if (got == 0) {
      if (std::ferror(m_pRepairIn)) m_bCopyFailed = true;
      break;
    }
    Write(buf.data(), got);
  }
  bool copied =
      !m_bCopyFailed && std::fflush(m_pRepairOut) == 0 && ::fsync(fileno(m_pRepairOut)) == 0;
  copied = std::fclose(m_pRepairOut) == 0 && copied;
  m_pRepairOut = nullptr;
  CloseAll();
  const std::string& temp = m_strTemp;
  // An incomplete copy never takes the source's place, nor stays behind.
  if (!copied) {
    ::unlink(temp.c_str());
    return 0;
  }

  // The source must still be the file that was copied: a file changed or
  // replaced meanwhile is not overwritten.
  struct stat source {};
  if (::lstat(m_strTarget.c_str(), &source) != 0 || !S_ISREG(source.st_mode) ||
      source.st_dev != m_nDev || source.st_ino != m_nIno || source.st_size != m_nSize ||
      source.st_mtim.tv_sec != m_mtime.tv_sec || source.st_mtim.tv_nsec != m_mtime.tv_nsec)
    return 0;
  struct stat copy {};
  if (::lstat(temp.c_str(), &copy) != 0) return 0;
  if (copy.st_uid != source.st_uid || copy.st_gid != source.st_gid) {
    // Only a privileged user can give the copy the source's owner; the group
    // may still be kept.
    if (::chown(temp.c_str(), source.st_uid, source.st_gid) != 0)
      (void)::chown(temp.c_str(), static_cast<uid_t>(-1), source.st_gid);
  }
  if (::chmod(temp.c_str(), source.st_mode & 07777) != 0) return 0;
  if (std::rename(temp.c_str(), m_strTarget.c_str()) != 0) return 0;
  SyncDirectoryOf(m_strTarget);
  // Renaming keeps the page whole at every moment, but a hard-linked page
  // parts from its other names: they keep the original, and the user is told.
  if (source.st_nlink > 1) {
    m_frame.MessageBox(m_strTarget + "\nhad " + std::to_string(source.st_nlink - 1) +
                           " other name(s) (hard links). They keep the file as it was before "
                           "this repair; only this name holds the repaired copy.",
                       BoxStyle::Ok | BoxStyle::IconInformation);
  }
  return 1;
}

void CRepairFiles::CloseAll() {
  if (m_pRepairOut) {
    std::fclose(m_pRepairOut);
    ::unlink(m_strTemp.c_str());
  }
  if (m_pRepairIn) std::fclose(m_pRepairIn);
  m_pRepairOut = nullptr;
  m_pRepairIn = nullptr;
  m_bLineHeld = false;
  m_matches.clear();
  m_strLine.clear();
  m_strLine.shrink_to_fit();
  std::free(m_pReadBuf);
  m_pReadBuf = nullptr;
  m_nReadCap = 0;
}

bool CRepairFiles::ReadLine() {
  const ssize_t got = ::getdelim(&m_pReadBuf, &m_nReadCap, '\n', m_pRepairIn);
  if (got <= 0) {
    if (std::ferror(m_pRepairIn)) m_bCopyFailed = true;
    return false;
  }
  size_t text = static_cast<size_t>(got);
  m_strLineEndOfLine.clear();
  if (m_pReadBuf[text - 1] == '\n') {
    const bool crlf = text >= 2 && m_pReadBuf[text - 2] == '\r';
    m_strLineEndOfLine = crlf ? "\r\n" : "\n";
    text -= m_strLineEndOfLine.size();
    if (!m_bLineEndKnown) {
      m_strLineEnd = m_strLineEndOfLine;
      m_bLineEndKnown = true;
    }
  }
  m_strLine.assign(m_pReadBuf, text);
  m_nLineIndex = m_nLinesRead++;
  m_bLineHeld = true;
  m_matches.clear();
  return true;
}

bool CRepairFiles::FindInLine(const std::string& url, const std::string& replacement) {
  if (url.empty()) return false;
  for (size_t at = m_strLine.find(url); at != std::string::npos; at = m_strLine.find(url, at + 1)) {
    size_t from = 0, to = 0;
    bool definition = false;
    bool html = false;
    if (m_bMarkdown) {
      // A link of the HTML the page holds is rewritten as in an HTML page.
      html = !MarkdownLinkAt(m_strLine, at, url.size(), &from, &to, &definition);
      if (html && (!WholeValueAt(m_strLine, at, url.size()) || !AttributeValueAt(m_strLine, at)))
        continue;
      if (html) std::tie(from, to) = ElementAround(m_strLine, at, at + url.size());
    } else if (ReplacesLinkText(m_nType)) {
      if (!WholeValueAt(m_strLine, at, url.size())) continue;
    } else {
      size_t after = at + url.size();
      while (after < m_strLine.size() && IsBlank(m_strLine[after])) ++after;
      if (after == m_strLine.size() || m_strLine[after] != '"') continue;
    }
    const bool taken = std::any_of(m_matches.begin(), m_matches.end(), [&](const Match& m) {
      return at < m.pos + m.url.size() && m.pos < at + url.size();
    });
    if (taken) continue;
    m_matches.push_back({at, url, replacement, from, to, definition, html});
    if (definition) m_defined.push_back(url);
    return true;
  }
  return false;
}

void CRepairFiles::FlushLine() {
  if (!m_bLineHeld) return;
  m_bLineHeld = false;
  if (m_bDryRun) {
    m_srcLines.push_back(m_strLine + m_strLineEndOfLine);
    if (!m_matches.empty()) {
      m_strPending.clear();
      WriteRewritten();
      m_changes.emplace_back(m_nLineIndex, std::move(m_strPending));
    }
  } else if (m_matches.empty()) {
    Write(m_strLine);
    Write(m_strLineEndOfLine);
  } else {
    WriteRewritten();
  }
  m_matches.clear();
}

void CRepairFiles::WriteRewritten() {
  std::sort(m_matches.begin(), m_matches.end(),
            [](const Match& a, const Match& b) { return a.pos < b.pos; });
  if (ReplacesLinkText(m_nType)) {  // only the links change, not even a missing line end
    size_t at = 0;
    for (const Match& match : m_matches) {
      Write(m_strLine.data() + at, match.pos - at);
      Write(match.replacement);
      at = match.pos + match.url.size();
    }
    Write(m_strLine.data() + at, m_strLine.size() - at);
    Write(m_strLineEndOfLine);
    return;
  }
  const std::string& eol = m_strLineEndOfLine.empty() ? m_strLineEnd : m_strLineEndOfLine;
  if (m_bMarkdown) {
    WriteMarkdownRewritten(eol);
    return;
  }
  // Rewrites text[from, to) by type, holding the matches [first, last).
  auto rewrite = [&](size_t from, size_t to, size_t first, size_t last) {
    if (m_nType == RepairType::Comment) {
      Write(CommentedOut(m_strLine.substr(from, to - from)));
    } else if (m_nType == RepairType::FileName) {
      size_t at = from;
      for (size_t k = first; k < last; ++k) {
        Write(m_strLine.data() + at, m_matches[k].pos - at);
        Write(QuotedName(m_strName));
        at = m_matches[k].pos + m_matches[k].url.size();
      }
      Write(m_strLine.data() + at, to - at);
      for (size_t k = first; k < last; ++k) Write("<!--" + CommentSafe(m_matches[k].url) + "-->");
    }
  };

  // A line with one anchor is rewritten whole, unless it is not a line of a
  // page but the page itself (its only line, or lines split by lone "\r").
  if (CountAnchors(m_strLine) <= 1 && m_strLine.find('\r') == std::string::npos && !OnlyLine()) {
    if (m_nType != RepairType::Comment && m_nType != RepairType::FileName)
      return;  // the whole line is left out
    rewrite(0, m_strLine.size(), 0, m_matches.size());
    Write(eol);
    return;
  }
  // Element by element: each element that holds a match is rewritten alone;
  // elements that overlap are taken together.
  size_t at = 0;
  size_t kept = 0;  // bytes of the line written as they stand
  for (size_t k = 0; k < m_matches.size();) {
    auto [from, to] =
        ElementAround(m_strLine, m_matches[k].pos, m_matches[k].pos + m_matches[k].url.size());
    from = std::max(from, at);
    size_t last = k + 1;
    while (last < m_matches.size() && m_matches[last].pos < to) {
      const size_t end = m_matches[last].pos + m_matches[last].url.size();
      to = std::max(to, ElementAround(m_strLine, m_matches[last].pos, end).second);
      ++last;
    }
    Write(m_strLine.data() + at, from - at);
    kept += from - at;
    rewrite(from, to, k, last);
    at = to;
    k = last;
  }
  Write(m_strLine.data() + at, m_strLine.size() - at);
  kept += m_strLine.size() - at;
  // A line of nothing but the elements left out is left out whole.
  if (m_nType == RepairType::Comment || m_nType == RepairType::FileName || kept > 0) Write(eol);
}

void CRepairFiles::WriteMarkdownRewritten(const std::string& eol) {
  if (m_nType != RepairType::Comment && m_nType != RepairType::FileName) return;  // left out
  size_t at = 0;
  for (size_t k = 0; k < m_matches.size();) {
    // Links that overlap (two destinations of one definition line) go together.
    size_t from = std::max(m_matches[k].from, at), to = m_matches[k].to;
    size_t last = k + 1;
    while (last < m_matches.size() && m_matches[last].from < to) {
      to = std::max(to, m_matches[last].to);
      ++last;
    }
    Write(m_strLine.data() + at, from - at);
    if (m_nType == RepairType::Comment) {
      Write(CommentedOut(m_strLine.substr(from, to - from)));
    } else {
      const std::string name = MarkdownDestination(m_strName);
      size_t in = from;
      for (size_t j = k; j < last; ++j) {
        const Match& match = m_matches[j];
        const bool autolink = !match.html && !match.definition &&
                              (match.from + 1 == match.pos || match.from == match.pos);
        if (autolink) {  // "<url>" or a bare url becomes a link to the file, its text the URL
          Write(m_strLine.data() + in, match.from - in);
          std::string text;
          for (char c : match.url) {
            if (c == '[' || c == ']' || c == '\\') text += '\\';
            text += c;
          }
          Write("[" + text + "](" + name + ")");
          in = match.to;
          continue;
        }
        Write(m_strLine.data() + in, match.pos - in);
        Write(match.html ? QuotedName(m_strName) : name);
        in = match.pos + match.url.size();
      }
      Write(m_strLine.data() + in, to - in);
      for (size_t j = k; j < last; ++j) {
        if (!m_matches[j].definition) Write("<!--" + CommentSafe(m_matches[j].url) + "-->");
      }
    }
    at = to;
    k = last;
  }
  Write(m_strLine.data() + at, m_strLine.size() - at);
  Write(eol);
}

bool CRepairFiles::OnlyLine() {
  if (m_nLineIndex != 0) return false;
  const int next = std::getc(m_pRepairIn);
  if (next == EOF) return true;
  std::ungetc(next, m_pRepairIn);
  return false;
}

void CRepairFiles::Write(const char* data, size_t size) {
  if (m_bDryRun) {
    m_strPending.append(data, size);
    return;
  }
  if (size > 0 && std::fwrite(data, 1, size, m_pRepairOut) != size) m_bCopyFailed = true;
}

}  // namespace linkward
