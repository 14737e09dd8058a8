#pragma once

#include "ui/MessageSink.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// A message sink for a front end without a window system: workers post into
// a queue that the front end's own loop drains on its thread. A worker's
// message box goes to a handler (on the worker's thread) and returns when it
// returns, as a closed box would.
class CMessageQueue : public IMessageSink
{
public:
    using BoxHandler = std::function<void(const std::string&)>;

    explicit CMessageQueue(BoxHandler onBox = {}) : m_onBox(std::move(onBox)) {}

    void PostMessage(CViewMessage msg) override;
    void MessageBox(const std::string& strText) override;

    // The next message, waiting up to timeout; false when none came.
    bool Wait(CViewMessage& msg, std::chrono::milliseconds timeout);
    // Wakes a waiting Wait without a message (a signal handler's flag).
    void Wake();
    size_t GetPending() const;

private:
    BoxHandler m_onBox;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CViewMessage> m_queue;
    bool m_bWake = false;
};
