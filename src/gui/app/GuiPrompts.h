#pragma once

#include "ui/Prompts.h"

class QWidget;

// Questions and messages as modal message boxes titled "Dravelin", with the
// icons the texts were written for.
class CGuiPrompts : public IPrompts
{
public:
    explicit CGuiPrompts(QWidget* pParent = nullptr) : m_pParent(pParent) {}
    void SetParent(QWidget* pParent) { m_pParent = pParent; }

    bool AskYesNo(const std::string& strText, PromptIcon nIcon) override;
    void ShowMessage(const std::string& strText, PromptIcon nIcon) override;

private:
    QWidget* m_pParent;
};
