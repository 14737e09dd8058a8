#pragma once

#include "ui/MessageSink.h"

#include <QEvent>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

class QObject;

// The workers' way to the view. Every message goes into one ordered queue;
// when the queue goes from empty to non-empty a single wake-up event is
// posted to the view, which drains what arrived since its last paint in one
// go. So a 100,000-article listing costs a handful of events, not 100,000,
// and the order of articles, status lines and end messages is kept.
class CGuiMessageSink : public IMessageSink
{
public:
    // One queued item: a message, or a message box a worker waits on.
    struct CEntry
    {
        CViewMessage msg;
        bool bMessageBox = false;
        std::shared_ptr<std::promise<void>> pDone;
    };

    explicit CGuiMessageSink(QObject* pTarget);
    ~CGuiMessageSink() override;

    static QEvent::Type WakeEventType();

    void PostMessage(CViewMessage msg) override;
    // On a worker: queued like a message, and the worker waits until the
    // view has shown it (or the sink was closed). On the UI thread: shown
    // at once through the handler.
    void MessageBox(const std::string& strText) override;

    // UI thread: moves everything queued into out (appending); the next post
    // wakes the view again.
    void TakeAll(std::deque<CEntry>& out);
    // UI thread: the box of entry was closed; its worker goes on.
    void BoxClosed(const CEntry& entry);
    // UI thread: post another wake-up (the drain ran out of its time slice).
    void Rewake();
    // Shutdown: waiting workers are released, later messages are dropped.
    void Close();
    bool IsClosed() const;
    // Workers waiting in MessageBox right now.
    size_t GetWaitingCount() const;
    // Workers may still hold the sink after its view is gone: a closed sink
    // is kept for the rest of the process instead of being freed under them.
    static void Retire(std::shared_ptr<CGuiMessageSink> pSink);

    // Shows a box on the UI thread (set by the view; tests route it to their
    // scripted prompts).
    void SetBoxHandler(std::function<void(const std::string&)> fn) { m_fnBox = std::move(fn); }
    void ShowBox(const std::string& strText);

private:
    void PostWake();

    QObject* m_pTarget;
    mutable std::mutex m_mutex;
    std::deque<CEntry> m_queue;
    std::deque<std::shared_ptr<std::promise<void>>> m_waiting;
    bool m_bWakePosted = false;
    bool m_bClosed = false;
    std::function<void(const std::string&)> m_fnBox;
};
