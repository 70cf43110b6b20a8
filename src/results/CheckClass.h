// The four classes every full-check result falls in, shown in the rows, the
// reports and the exit status. The standard test has no classes: its rows
// carry Broken.
#pragma once

#include <cstdint>

namespace linkward {

enum class CheckClass : uint8_t {
  Ok,           // the link leads to a working page, file or fragment
  Moved,        // a redirect that ends at a working page
  Broken,       // the page, file or fragment is not there
  NotVerified,  // the server refused the checker, not the page, or told nothing
};

// "OK", "Moved", "Broken", "Not Verified".
inline const char* CheckClassName(CheckClass c) {
  switch (c) {
    case CheckClass::Ok: return "OK";
    case CheckClass::Moved: return "Moved";
    case CheckClass::Broken: return "Broken";
    case CheckClass::NotVerified: return "Not Verified";
  }
  return "Broken";
}

}  // namespace linkward
