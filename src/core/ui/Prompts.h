#pragma once

#include <string>

enum class PromptIcon
{
    None,
    Question,
    Exclamation,
    Information,
    Error,
};

// Questions and messages shown on the user-interface thread, with the
// system's own texts. The GUI shows message boxes; tests script the answers.
class IPrompts
{
public:
    virtual ~IPrompts() = default;
    // Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& strText, PromptIcon nIcon) = 0;
    // A message with an OK button.
    virtual void ShowMessage(const std::string& strText, PromptIcon nIcon) = 0;
};
