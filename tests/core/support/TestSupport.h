#pragma once

// Shared helpers for the core tests: a private temporary folder, scripted
// prompts, and a message sink that records what workers post.

#include "ui/MessageSink.h"
#include "ui/Prompts.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport
{

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& strName) const { return (m_path / strName).string(); }

private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::string& strPath);
void WriteFile(const std::string& strPath, const std::string& strData);
std::vector<std::string> SplitLines(const std::string& str);
// A string of the given byte values.
std::string Bytes(std::initializer_list<int> bytes);
// A loopback port that nothing listens on.
int ClosedLoopbackPort();
// Whether something accepts connections on the loopback port.
bool IsListening(int nPort);
// A moment of local time.
std::time_t LocalTime(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0);

// Sets an environment variable (unsets it for nullptr) until the end of the scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* pszName, const char* pszValue);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_old;
};

struct CProcessResult
{
    int nExit = -1; // -1: ended by a signal
    std::string strOut;
    std::string strErr;
};

// Runs a program (argv[0] is its path) with strStdin as its input and the
// given variables of the environment set ("NAME=VALUE") or removed ("NAME");
// with nInterruptAfter > 0 it is sent SIGINT once that many lines came on its
// standard output. fnStarted, if given, runs with its process id once it runs.
CProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                          size_t nInterruptAfter = 0, const std::string& strStdin = {},
                          const std::function<void(pid_t)>& fnStarted = {});

// A forked copy of the test process that runs fnChild and ends with its
// result; its standard output comes back through Wait. Killed and reaped at
// the end of the scope when still running.
class ChildProcess
{
public:
    explicit ChildProcess(const std::function<int()>& fnChild);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Kill(int nSignal = SIGKILL);
    // The exit code, -1 when a signal ended it; pOut receives its output.
    int Wait(std::string* pOut = nullptr);

    // For fnChild: file writes beyond nBytes fail with EFBIG (SIGXFSZ ignored,
    // inherited by programs it starts).
    static void LimitFileSize(size_t nBytes);

private:
    pid_t m_pid = -1;
    int m_nOut = -1;
};

// Answers questions from a script (default answer when the script is empty)
// and records every text it was shown.
class FakePrompts : public IPrompts
{
public:
    bool AskYesNo(const std::string& strText, PromptIcon nIcon) override;
    void ShowMessage(const std::string& strText, PromptIcon nIcon) override;

    std::deque<bool> m_answers;
    bool m_bDefaultAnswer = true;
    // Runs while a question is open, as a message box's event loop would.
    std::function<void(const std::string&)> m_fnWhileAsking;
    std::vector<std::string> m_questions;
    std::vector<std::string> m_messages;
    std::vector<PromptIcon> m_icons;
};

// Records posted messages; tests drain them on their own thread, as the
// view's event loop would. Message boxes are recorded and return at once.
class RecordingSink : public IMessageSink
{
public:
    void PostMessage(CViewMessage msg) override;
    void MessageBox(const std::string& strText) override;

    // Waits up to timeout for the next message; false on time-out.
    bool WaitNext(CViewMessage& msg, std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Waits until pred holds for a message, returning it; the messages before
    // it are kept in History(). False on time-out.
    bool WaitFor(const std::function<bool(const CViewMessage&)>& pred, CViewMessage& msg,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));
    std::vector<std::string> MessageBoxes() const;
    // Every message taken by WaitNext / WaitFor so far, in order.
    const std::vector<CViewMessage>& History() const { return m_history; }
    std::vector<std::string> StatusLines() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CViewMessage> m_queue;
    std::vector<std::string> m_boxes;
    std::vector<CViewMessage> m_history;
};

} // namespace testsupport
