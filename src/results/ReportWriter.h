// The two report formats of Export. Both list the rows in list order, one
// section per file group. The text report writes the texts raw; the HTML
// report writes "&", "<", ">" and '"' of every row text as entities.
#pragma once

#include <cstdio>
#include <string>

class CResultRows;

constexpr const char* LINKWARD_HOME_PAGE = "http://linkward.example.com/";

void WriteTextReport(std::FILE* file, const CResultRows& rows);
// dateText: the start-of-report date ("Sunday, December 6, 2026, 22:26:25").
void WriteHtmlReport(std::FILE* file, const CResultRows& rows, const std::string& owner,
                     const std::string& dateText);
std::string HtmlEscape(const std::string& text);
// The user's full name from the account database, else the login name.
std::string ReportOwnerName();
