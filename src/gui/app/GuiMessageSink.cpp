#include "app/GuiMessageSink.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <vector>

namespace
{
const QEvent::Type kWakeType = static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 100));
}

CGuiMessageSink::CGuiMessageSink(QObject* pTarget) : m_pTarget(pTarget) {}

CGuiMessageSink::~CGuiMessageSink()
{
    Close();
}

QEvent::Type CGuiMessageSink::WakeEventType()
{
    return kWakeType;
}

void CGuiMessageSink::PostWake()
{
    QCoreApplication::postEvent(m_pTarget, new QEvent(kWakeType));
}

void CGuiMessageSink::PostMessage(CViewMessage msg)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed)
        return;
    m_queue.push_back(CEntry{std::move(msg), false, nullptr});
    if (!m_bWakePosted)
    {
        m_bWakePosted = true;
        PostWake();
    }
}

void CGuiMessageSink::MessageBox(const std::string& strText)
{
    if (QThread::currentThread() == m_pTarget->thread())
    {
        if (!IsClosed())
            ShowBox(strText);
        return;
    }
    auto pDone = std::make_shared<std::promise<void>>();
    std::future<void> done = pDone->get_future();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosed)
            return;
        CEntry entry;
        entry.msg.strText = strText;
        entry.bMessageBox = true;
        entry.pDone = pDone;
        m_queue.push_back(std::move(entry));
        m_waiting.push_back(pDone);
        if (!m_bWakePosted)
        {
            m_bWakePosted = true;
            PostWake();
        }
    }
    done.wait();
}

void CGuiMessageSink::ShowBox(const std::string& strText)
{
    if (m_fnBox)
        m_fnBox(strText);
}

void CGuiMessageSink::TakeAll(std::deque<CEntry>& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CEntry& entry : m_queue)
        out.push_back(std::move(entry));
    m_queue.clear();
    m_bWakePosted = false;
}

void CGuiMessageSink::BoxClosed(const CEntry& entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it)
    {
        if (*it == entry.pDone)
        {
            // Found: not yet released by Close, so it is answered exactly once.
            (*it)->set_value();
            m_waiting.erase(it);
            return;
        }
    }
}

void CGuiMessageSink::Retire(std::shared_ptr<CGuiMessageSink> pSink)
{
    static auto* pRetired = new std::vector<std::shared_ptr<CGuiMessageSink>>();
    static std::mutex mutex;
    pSink->Close();
    std::lock_guard<std::mutex> lock(mutex);
    pRetired->push_back(std::move(pSink));
}

void CGuiMessageSink::Rewake()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bClosed)
        return;
    m_bWakePosted = true;
    PostWake();
}

void CGuiMessageSink::Close()
{
    std::deque<std::shared_ptr<std::promise<void>>> waiting;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bClosed)
            return;
        m_bClosed = true;
        m_queue.clear();
        waiting.swap(m_waiting);
    }
    // A worker blocked in MessageBox must never hold up the shutdown.
    for (auto& pDone : waiting)
        pDone->set_value();
}

size_t CGuiMessageSink::GetWaitingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waiting.size();
}

bool CGuiMessageSink::IsClosed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bClosed;
}
