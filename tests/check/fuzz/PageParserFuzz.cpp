// libFuzzer target for the full check's page parser: any bytes must parse
// without a crash, and every link's written form must be bytes of the page.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check/PageParser.h"

using namespace linkward;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string page(reinterpret_cast<const char*>(data), size);
  ParsedPage parsed = ParsePage(page.data(), page.size());
  for (const PageLink& link : parsed.links) {
    if (page.find(link.written) == std::string::npos || link.line < 1) std::abort();
  }
  for (const std::string& address : SrcsetAddresses(page)) {
    if (address.empty()) std::abort();
  }
  return 0;
}
