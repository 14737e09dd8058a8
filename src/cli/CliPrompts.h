#pragma once

#include "ui/Prompts.h"

// Prompts of a program without a window: messages go to stderr, questions
// are answered No so nothing is given up without someone to confirm it.
class CCliPrompts : public IPrompts
{
public:
    bool AskYesNo(const std::string& strText, PromptIcon nIcon) override;
    void ShowMessage(const std::string& strText, PromptIcon nIcon) override;
};
