#include "app/DravelinDoc.h"

#include "ui/Prompts.h"

#include <mutex>

bool CDravelinDoc::OnNewDocument(IPrompts* pPrompts)
{
    return m_pDocument->Open(GetIniPath(), pPrompts);
}

bool CDravelinDoc::SaveModified(IPrompts& prompts) const
{
    int32_t nActive;
    {
        std::lock_guard<std::recursive_mutex> lock(m_pDocument->m_lock);
        nActive = m_pDocument->m_nActiveDownloads;
    }
    if (nActive > 0)
        return prompts.AskYesNo(kQuitQuestion, PromptIcon::Question);
    return true;
}
