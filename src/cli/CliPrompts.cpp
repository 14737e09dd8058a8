#include "CliPrompts.h"

#include <cstdio>

bool CCliPrompts::AskYesNo(const std::string& strText, PromptIcon)
{
    std::fprintf(stderr, "%s\n", strText.c_str());
    return false;
}

void CCliPrompts::ShowMessage(const std::string& strText, PromptIcon)
{
    std::fprintf(stderr, "%s\n", strText.c_str());
}
