#pragma once

#include "model/QueueDocument.h"
#include "settings/DataFolder.h"

#include <memory>
#include <string>

class CUsenetGateway;
class IPrompts;

// The GUI's document: the core CQueueDocument (settings, accounts, running
// count) and the data folder its files live in.
class CDravelinDoc
{
public:
    static constexpr const char* kQuitQuestion =
        "Dravelin is still downloading.\r\nAre you sure you want to quit?";

    explicit CDravelinDoc(CDataFolder folder) : m_folder(std::move(folder)) {}
    CDravelinDoc(const CDravelinDoc&) = delete;
    CDravelinDoc& operator=(const CDravelinDoc&) = delete;

    // Accounts, settings with the version check (its message through
    // pPrompts), running count. False when the settings file was missing or
    // incompatible; the start-up goes on either way.
    bool OnNewDocument(IPrompts* pPrompts);
    // May the program close? Asks while downloads run.
    bool SaveModified(IPrompts& prompts) const;

    CQueueDocument& Document() { return *m_pDocument; }
    const CQueueDocument& Document() const { return *m_pDocument; }
    // Workers share the document (settings, accounts) beyond the window's life.
    const std::shared_ptr<CQueueDocument>& DocumentPtr() const { return m_pDocument; }
    const CDataFolder& Folder() const { return m_folder; }
    std::string GetIniPath() const { return m_folder.GetIniPath(); }

    // The Usenet gateway inside the program (section [Usenet]), which the
    // preferences sheet restarts with new values; null when none was given.
    CUsenetGateway* UsenetGateway() const { return m_pUsenet; }
    void SetUsenetGateway(CUsenetGateway* pUsenet) { m_pUsenet = pUsenet; }

private:
    CDataFolder m_folder;
    CUsenetGateway* m_pUsenet = nullptr;
    std::shared_ptr<CQueueDocument> m_pDocument = std::make_shared<CQueueDocument>();
};
