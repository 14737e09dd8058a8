#include "support/TestSupport.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport
{

TempDir::TempDir()
{
    std::random_device rd;
    for (int i = 0; i < 100; ++i)
    {
        auto path = std::filesystem::temp_directory_path() / ("dravelin-test-" + std::to_string(rd()));
        std::error_code ec;
        if (std::filesystem::create_directory(path, ec))
        {
            m_path = path;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& strPath, const std::string& strData)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out << strData;
}

bool FakePrompts::AskYesNo(const std::string& strText, PromptIcon nIcon)
{
    m_questions.push_back(strText);
    m_icons.push_back(nIcon);
    if (m_fnWhileAsking)
        m_fnWhileAsking(strText);
    if (m_answers.empty())
        return m_bDefaultAnswer;
    bool bAnswer = m_answers.front();
    m_answers.pop_front();
    return bAnswer;
}

void FakePrompts::ShowMessage(const std::string& strText, PromptIcon nIcon)
{
    m_messages.push_back(strText);
    m_icons.push_back(nIcon);
}

void RecordingSink::PostMessage(CViewMessage msg)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(msg));
    }
    m_cv.notify_all();
}

void RecordingSink::MessageBox(const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_boxes.push_back(strText);
}

bool RecordingSink::WaitNext(CViewMessage& msg, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return !m_queue.empty(); }))
        return false;
    msg = std::move(m_queue.front());
    m_queue.pop_front();
    m_history.push_back(msg);
    return true;
}

bool RecordingSink::WaitFor(const std::function<bool(const CViewMessage&)>& pred, CViewMessage& msg,
                            std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitNext(msg, left))
            return false;
        if (pred(msg))
            return true;
    }
}

std::vector<std::string> RecordingSink::MessageBoxes() const
{
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

std::vector<std::string> RecordingSink::StatusLines() const
{
    std::vector<std::string> lines;
    for (const auto& msg : m_history)
        if (msg.nMessage == WM_STATUS_TEXT && msg.wParam == 0)
            lines.push_back(msg.strText);
    return lines;
}

} // namespace testsupport
