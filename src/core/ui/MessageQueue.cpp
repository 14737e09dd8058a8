#include "ui/MessageQueue.h"

void CMessageQueue::PostMessage(CViewMessage msg)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(msg));
    }
    m_cv.notify_one();
}

void CMessageQueue::MessageBox(const std::string& strText)
{
    if (m_onBox)
        m_onBox(strText);
}

bool CMessageQueue::Wait(CViewMessage& msg, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, timeout, [this] { return !m_queue.empty() || m_bWake; });
    m_bWake = false;
    if (m_queue.empty())
        return false;
    msg = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void CMessageQueue::Wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_bWake = true;
    }
    m_cv.notify_one();
}

size_t CMessageQueue::GetPending() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}
