// How the full check and the crawl list a judged link and a page's summary,
// the same way for both.
#pragma once

#include <string>

#include "results/ResultRows.h"

namespace linkward {

class IFullCheckHost;

// Inserts a row at index at (the end when at >= count): the link as written,
// its reason, its anchor text, then its details and last the file (a face
// lists a row once it has its file). The details' class is set from their
// code. Tells the host when the first row came.
void PutCheckRow(IFullCheckHost& host, int at, const std::string& written, const std::string& text,
                 const std::string& file, RowDetails details);

// "Results for FILE: URLs tested: T. URL errors: E." with " Not verified: V."
// when V > 0, then CR LF.
std::string ResultsLine(const std::string& file, int tested, int errors, int unverified);

}  // namespace linkward
