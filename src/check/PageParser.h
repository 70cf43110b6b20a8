// Page parsing for the full check: libxml2's HTML parser, in SAX mode, reads
// a page as a browser would and hands back only what the checks need: the
// links in page order and the names a #fragment can point at. No document
// tree is built; memory follows the page's size.
//
// Links: a/area href, img/script/iframe/frame/embed/source/audio/video/track
// src, img and source srcset (one link per candidate), link href, object
// data, the address of a <meta http-equiv=refresh>, and href (else
// xlink:href) of any element inside <svg>. Names: ids, <a name>s, and the id
// of an <html> or <body> tag the parser drops as a repeat (a browser gives it
// to the element when that has none). Tags inside
// <template>, script, style, comments and the elements a browser reads as
// text (title, textarea, iframe, xmp, noembed, noframes, plaintext) are not
// links a browser follows and are skipped, as is a tag cut off by the end of
// the page. The page's encoding is found and decoded as PageEncoding.h says.
//
// Each link carries its address twice:
//  - written: the bytes of the attribute value as they stand in the page
//    (quotes and surrounding white space removed, character references left
//    as they are). This is what the results list shows and what the repair
//    pass searches for, and the repair pass matches raw page bytes: for
//    href="a.html?x=1&amp;y=2" it is "a.html?x=1&amp;y=2".
//  - url: the value a browser uses, character references decoded,
//    surrounding controls and spaces removed and tab, LF and CR inside
//    dropped ("a.html?x=1&y=2"). Links are resolved and judged by this one.
// Lines end at LF, CR LF or a lone CR.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace linkward {

struct PageLink {
  std::string written;  // as written in the page
  std::string url;      // decoded
  std::string text;     // anchor text (white space collapsed), or an image's alt
  int line = 0;         // line of the attribute value, from 1
};

struct ParsedPage {
  bool isPage = true;              // false: a file read as a link target only
  std::vector<PageLink> links;     // in page order
  std::string base;                // the first <base href>, decoded; empty when none
  std::vector<std::string> names;  // ids and <a name>s, sorted, without repeats
  bool HasName(const std::string& name) const;
};

// Parses length bytes of HTML (any bytes: NUL bytes and invalid UTF-8 are
// read as a browser reads them). namesOnly skips collecting links. encoding:
// the one the HTTP answer named (as PageEncoding takes it), "" when none.
ParsedPage ParsePage(const char* data, size_t length, bool namesOnly = false,
                     const std::string& encoding = std::string());

// What a file is by its name: a page (HTML by its extension: .html, .htm,
// .xhtml, .shtml, .asp...; Markdown: .md, .markdown), no page (any other
// extension: JSON, text, images), or to be told by its content (no
// extension).
enum class FileKind { Html, Markdown, Other, ByContent };
FileKind FileKindOf(const std::string& path);

// Whether bytes without a telling name are HTML: after a byte order mark,
// white space, an XML declaration and comments, the first tag within the
// first kilobyte is <!doctype html>, <html>, <head> or <body>.
bool LooksLikeHtml(const char* data, size_t length);

// Reads the file at path and parses it when it is a page (by FileKindOf,
// then by LooksLikeHtml; Markdown as MarkdownPage.h says); any other file gets isPage false, no
// links and no names. Returns false when it cannot be read.
bool ParsePageFile(const std::string& path, ParsedPage* page, bool namesOnly = false);

// Splits a srcset value into its candidates' addresses (descriptors dropped),
// by the HTML rules: an address is a run of non-white-space characters whose
// trailing commas are not part of it; descriptors run up to the next comma
// outside parentheses.
std::vector<std::string> SrcsetAddresses(const std::string& srcset);

}  // namespace linkward
