#pragma once

#include "model/Article.h"

#include <string>

class CUsenetSettings;

// Backslash, tab, CR and LF written as \\, \t, \r, \n so one article stays
// one line of tab-separated fields.
std::string EscapeCliText(const std::string& str);
// One article as a line (without its LF): state, retries, service, size,
// author, date, download path, file name, subject, decode query.
std::string FormatArticleLine(const CArticle& article);
// Section "Usenet" as "Usenet/Key=value" lines on stdout, the password as ***.
void PrintUsenetSettings(const CUsenetSettings& settings);
