#include "check/PageParser.h"

#include <fcntl.h>
#include <gumbo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string Trim(const char* data, size_t length) {
  size_t begin = 0;
  size_t end = length;
  while (begin < end && IsSpace(data[begin])) ++begin;
  while (end > begin && IsSpace(data[end - 1])) --end;
  return std::string(data + begin, end - begin);
}

// The attribute value as it stands in the page, quotes removed.
std::string WrittenValue(const GumboAttribute* attr) {
  const char* data = attr->original_value.data;
  size_t length = attr->original_value.length;
  if (!data || length == 0) return std::string();
  if (data[0] == '"' || data[0] == '\'') {
    char quote = data[0];
    ++data;
    --length;
    // An unterminated value at the end of the page has no closing quote.
    if (length > 0 && data[length - 1] == quote) --length;
  }
  return Trim(data, length);
}

// Collapses runs of white space to one space and trims both ends.
std::string Collapse(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool pendingSpace = false;
  for (char c : text) {
    if (IsSpace(c)) {
      pendingSpace = !out.empty();
    } else {
      if (pendingSpace) out += ' ';
      pendingSpace = false;
      out += c;
    }
  }
  return out;
}

// The line of the attribute's value; an empty value has no position of its
// own, so the attribute name's line stands for it.
int ValueLine(const GumboAttribute* attr) {
  unsigned line = attr->original_value.length > 0 && attr->value_start.line ? attr->value_start.line
                                                                            : attr->name_start.line;
  return static_cast<int>(std::max(line, 1u));
}

struct RawLink {
  PageLink link;
  unsigned offset;  // of the attribute in the page
  int part;         // the candidate's place within a srcset
};

class Extractor {
 public:
  explicit Extractor(bool namesOnly) : m_bNamesOnly(namesOnly) {}

  void Walk(const GumboNode* root, ParsedPage* page);

 private:
  struct Frame {
    const GumboNode* node;
    unsigned next;       // the next child to visit
    int anchor;          // index of the link whose text this <a> gathers, or -1
    size_t savedAnchor;  // the enclosing <a>'s link index (+1; 0 when none)
  };

  void Enter(const GumboElement& element, Frame* frame);
  void AddLink(const GumboAttribute* attr, std::string text);
  void AddSrcset(const GumboAttribute* attr);

  bool m_bNamesOnly;
  std::vector<RawLink> m_links;
  std::vector<std::string> m_names;
  std::string m_base;
  bool m_bHaveBase = false;
  int m_nAnchor = -1;  // the innermost open <a> with a link
  std::string m_anchorText;
  std::string m_anchorAlt;
};

void Extractor::AddLink(const GumboAttribute* attr, std::string text) {
  RawLink raw;
  raw.link.written = WrittenValue(attr);
  raw.link.url = Trim(attr->value, std::strlen(attr->value));
  raw.link.text = std::move(text);
  raw.link.line = ValueLine(attr);
  raw.offset = attr->name_start.offset;
  raw.part = 0;
  m_links.push_back(std::move(raw));
}

void Extractor::AddSrcset(const GumboAttribute* attr) {
  std::vector<std::string> urls = SrcsetAddresses(attr->value);
  std::vector<std::string> written = SrcsetAddresses(WrittenValue(attr));
  // A character reference that stands for a comma or a space can split the
  // two differently; then the decoded form is the best written form known.
  if (written.size() != urls.size()) written = urls;
  for (size_t i = 0; i < urls.size(); ++i) {
    RawLink raw;
    raw.link.written = std::move(written[i]);
    raw.link.url = std::move(urls[i]);
    raw.link.line = ValueLine(attr);
    raw.offset = attr->name_start.offset;
    raw.part = static_cast<int>(i);
    m_links.push_back(std::move(raw));
  }
}

void Extractor::Enter(const GumboElement& element, Frame* frame) {
  const GumboVector& attrs = element.attributes;
  const GumboAttribute* href = nullptr;
  for (unsigned i = 0; i < attrs.length; ++i) {
    const auto* attr = static_cast<const GumboAttribute*>(attrs.data[i]);
    if (std::strcmp(attr->name, "id") == 0 && attr->value[0]) m_names.emplace_back(attr->value);
    if (element.tag == GUMBO_TAG_A && std::strcmp(attr->name, "name") == 0 && attr->value[0])
      m_names.emplace_back(attr->value);
  }
  auto find = [&](const char* name) { return gumbo_get_attribute(&attrs, name); };
  if (element.tag == GUMBO_TAG_BASE) {
    if (!m_bHaveBase && (href = find("href")) != nullptr) {
      m_base = Trim(href->value, std::strlen(href->value));
      m_bHaveBase = true;
    }
    return;
  }
  if (m_bNamesOnly) return;
  auto alt = [&] {
    const GumboAttribute* a = find("alt");
    return a ? Collapse(a->value) : std::string();
  };
  const GumboAttribute* attr = nullptr;
  switch (element.tag) {
    case GUMBO_TAG_A:
      if ((attr = find("href")) != nullptr) {
        frame->anchor = static_cast<int>(m_links.size());
        frame->savedAnchor = static_cast<size_t>(m_nAnchor + 1);
        AddLink(attr, std::string());
        m_nAnchor = frame->anchor;
        m_anchorText.clear();
        m_anchorAlt.clear();
      }
      break;
    case GUMBO_TAG_AREA:
      if ((attr = find("href")) != nullptr) AddLink(attr, alt());
      break;
    case GUMBO_TAG_LINK:
      if ((attr = find("href")) != nullptr) AddLink(attr, std::string());
      break;
    case GUMBO_TAG_OBJECT:
      if ((attr = find("data")) != nullptr) AddLink(attr, std::string());
      break;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_SOURCE: {
      std::string text = element.tag == GUMBO_TAG_IMG ? alt() : std::string();
      if (m_nAnchor >= 0 && !text.empty()) m_anchorAlt += (m_anchorAlt.empty() ? "" : " ") + text;
      if ((attr = find("src")) != nullptr) AddLink(attr, text);
      if ((attr = find("srcset")) != nullptr) {
        size_t first = m_links.size();
        AddSrcset(attr);
        for (size_t i = first; i < m_links.size(); ++i) m_links[i].link.text = text;
      }
      break;
    }
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_VIDEO:
      if ((attr = find("src")) != nullptr) AddLink(attr, std::string());
      break;
    default:
      break;
  }
}

void Extractor::Walk(const GumboNode* root, ParsedPage* page) {
  std::vector<Frame> stack;
  stack.push_back(Frame{root, 0, -1, 0});
  if (root->type == GUMBO_NODE_ELEMENT) Enter(root->v.element, &stack.back());
  while (!stack.empty()) {
    Frame& top = stack.back();
    const GumboVector& children = top.node->type == GUMBO_NODE_DOCUMENT
                                      ? top.node->v.document.children
                                      : top.node->v.element.children;
    if (top.next < children.length) {
      const auto* child = static_cast<const GumboNode*>(children.data[top.next++]);
      // <template> contents (GUMBO_NODE_TEMPLATE) are not part of the page.
      if (child->type == GUMBO_NODE_ELEMENT) {
        stack.push_back(Frame{child, 0, -1, 0});
        Enter(child->v.element, &stack.back());
      } else if (m_nAnchor >= 0 &&
                 (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE ||
                  child->type == GUMBO_NODE_CDATA)) {
        m_anchorText += child->v.text.text;
      }
      continue;
    }
    if (top.anchor >= 0) {
      std::string text = Collapse(m_anchorText);
      m_links[top.anchor].link.text = text.empty() ? m_anchorAlt : std::move(text);
      m_nAnchor = static_cast<int>(top.savedAnchor) - 1;
      m_anchorText.clear();
      m_anchorAlt.clear();
    }
    stack.pop_back();
  }

  // Page order is the order of the attributes in the page. An element the
  // parser cloned (a reopened <a>) repeats a link that is written only once.
  std::stable_sort(m_links.begin(), m_links.end(), [](const RawLink& a, const RawLink& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.part < b.part;
  });
  page->links.clear();
  page->links.reserve(m_links.size());
  for (size_t i = 0; i < m_links.size(); ++i) {
    if (i > 0 && m_links[i].offset == m_links[i - 1].offset &&
        m_links[i].part == m_links[i - 1].part) {
      // The text may have gone to the clone.
      if (page->links.back().text.empty())
        page->links.back().text = std::move(m_links[i].link.text);
      continue;
    }
    page->links.push_back(std::move(m_links[i].link));
  }
  std::sort(m_names.begin(), m_names.end());
  m_names.erase(std::unique(m_names.begin(), m_names.end()), m_names.end());
  page->names = std::move(m_names);
  page->base = std::move(m_base);
}

}  // namespace

bool ParsedPage::HasName(const std::string& name) const {
  return std::binary_search(names.begin(), names.end(), name);
}

std::vector<std::string> SrcsetAddresses(const std::string& srcset) {
  std::vector<std::string> out;
  size_t pos = 0;
  const size_t n = srcset.size();
  while (pos < n) {
    while (pos < n && (IsSpace(srcset[pos]) || srcset[pos] == ',')) ++pos;
    if (pos >= n) break;
    size_t start = pos;
    while (pos < n && !IsSpace(srcset[pos])) ++pos;
    std::string url = srcset.substr(start, pos - start);
    if (!url.empty() && url.back() == ',') {
      while (!url.empty() && url.back() == ',') url.pop_back();
    } else {
      int depth = 0;
      while (pos < n && (srcset[pos] != ',' || depth > 0)) {
        if (srcset[pos] == '(') ++depth;
        if (srcset[pos] == ')' && depth > 0) --depth;
        ++pos;
      }
    }
    if (!url.empty()) out.push_back(std::move(url));
  }
  return out;
}

namespace {

// The parser makes and frees a great many small blocks; a region released in
// one go after the parse takes a third off the time of a whole site. It
// never reuses freed space, yet measures no larger than the heap's peak (the
// parser's tree is some 25 times the page); pages past kRegionPageLimit use
// the heap all the same.
constexpr size_t kRegionPageLimit = 64u << 20;

class Region {
 public:
  // Blocks in proportion to the page: the parser needs some 25 bytes a byte.
  explicit Region(size_t pageLength)
      : m_nBlock(std::clamp<size_t>(pageLength * 8, 64u << 10, 4u << 20)) {}
  ~Region() { Release(); }
  // Zeroed, as the heap's fresh memory mostly is: the parser leaves the
  // position of an empty attribute value unset.
  void* Allocate(size_t size) {
    size = (size + 15) & ~size_t{15};
    if (size > m_nBlock / 4) {
      m_blocks.push_back(static_cast<char*>(std::calloc(1, size)));
      return m_blocks.back();
    }
    if (m_nLeft < size) {
      m_blocks.push_back(static_cast<char*>(std::calloc(1, m_nBlock)));
      m_pNext = m_blocks.back();
      m_nLeft = m_nBlock;
    }
    void* p = m_pNext;
    m_pNext += size;
    m_nLeft -= size;
    return p;
  }
  void Release() {
    for (char* block : m_blocks) std::free(block);
    m_blocks.clear();
    m_pNext = nullptr;
    m_nLeft = 0;
  }

 private:
  size_t m_nBlock;
  std::vector<char*> m_blocks;
  char* m_pNext = nullptr;
  size_t m_nLeft = 0;
};

void* RegionAllocate(void* region, size_t size) {
  return static_cast<Region*>(region)->Allocate(size);
}

void RegionFree(void*, void*) {}

}  // namespace

ParsedPage ParsePage(const char* data, size_t length, bool namesOnly) {
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;  // the errors are not wanted; recording them costs time
  Region region(length);
  if (length <= kRegionPageLimit) {
    options.allocator = RegionAllocate;
    options.deallocator = RegionFree;
    options.userdata = &region;
  }
  GumboOutput* output = gumbo_parse_with_options(&options, data, length);
  ParsedPage page;
  Extractor(namesOnly).Walk(output->document, &page);
  if (length > kRegionPageLimit) gumbo_destroy_output(&options, output);
  return page;
}

bool ParsePageFile(const std::string& path, ParsedPage* page, bool namesOnly) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string data;
  data.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < data.size()) {
    ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  // An image, archive or other binary file among the files has no links.
  std::string_view head(data.data(), std::min<size_t>(data.size(), 1024));
  if (head.find('\0') != std::string_view::npos && head.find('<') == std::string_view::npos) {
    *page = ParsedPage();
    return true;
  }
  *page = ParsePage(data.data(), data.size(), namesOnly);
  return true;
}
