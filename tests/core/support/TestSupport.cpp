#include "support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

std::vector<std::string> SplitLines(const std::string& str)
{
    std::vector<std::string> lines;
    std::istringstream in(str);
    std::string strLine;
    while (std::getline(in, strLine))
        lines.push_back(strLine);
    return lines;
}

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string str;
    for (int b : bytes)
        str.push_back(static_cast<char>(b));
    return str;
}

int ClosedLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    close(fd);
    return ntohs(addr.sin_port);
}

bool IsListening(int nPort)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bListening = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return bListening;
}

std::time_t LocalTime(int nYear, int nMonth, int nDay, int nHour, int nMinute)
{
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

ScopedEnv::ScopedEnv(const char* pszName, const char* pszValue) : m_strName(pszName)
{
    if (const char* pszOld = std::getenv(pszName))
        m_old = pszOld;
    if (pszValue)
        ::setenv(pszName, pszValue, 1);
    else
        ::unsetenv(pszName);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        ::setenv(m_strName.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_strName.c_str());
}

CProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          size_t nInterruptAfter, const std::string& strStdin,
                          const std::function<void(pid_t)>& fnStarted)
{
    auto nameOf = [](const std::string& str) { return str.substr(0, str.find('=')); };
    std::vector<std::string> vars;
    for (char** pp = environ; *pp; ++pp)
    {
        std::string strVar(*pp);
        if (std::none_of(env.begin(), env.end(),
                         [&](const std::string& e) { return nameOf(e) == nameOf(strVar); }))
            vars.push_back(strVar);
    }
    for (const std::string& strVar : env)
        if (strVar.find('=') != std::string::npos)
            vars.push_back(strVar);
    auto pointers = [](std::vector<std::string>& strings)
    {
        std::vector<char*> ptrs;
        for (auto& str : strings)
            ptrs.push_back(str.data());
        ptrs.push_back(nullptr);
        return ptrs;
    };
    std::vector<std::string> args(argv);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(vars);

    TempDir dir;
    const std::string strErrPath = dir.File("stderr");
    const std::string strInPath = dir.File("stdin");
    WriteFile(strInPath, strStdin);
    int outPipe[2];
    if (pipe(outPipe) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addopen(&actions, 0, strInPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, strErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int nSpawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    if (nSpawned == 0 && fnStarted)
        fnStarted(pid);
    CProcessResult result;
    char buf[65536];
    bool bInterrupted = nInterruptAfter == 0;
    ssize_t n = 0;
    while (nSpawned == 0 && (n = read(outPipe[0], buf, sizeof buf)) > 0)
    {
        result.strOut.append(buf, static_cast<size_t>(n));
        if (!bInterrupted && static_cast<size_t>(std::count(result.strOut.begin(), result.strOut.end(),
                                                            '\n')) >= nInterruptAfter)
            bInterrupted = kill(pid, SIGINT) == 0;
    }
    close(outPipe[0]);
    int nStatus = 0;
    if (nSpawned == 0 && waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
        result.nExit = WEXITSTATUS(nStatus);
    result.strErr = ReadFile(strErrPath);
    return result;
}

ChildProcess::ChildProcess(const std::function<int()>& fnChild)
{
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0)
    {
        close(out[0]);
        dup2(out[1], 1);
        close(out[1]);
        int nExit = fnChild();
        std::fflush(stdout);
        _exit(nExit);
    }
    close(out[1]);
    m_nOut = out[0];
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0)
    {
        Kill();
        Wait();
    }
}

void ChildProcess::Kill(int nSignal)
{
    if (m_pid > 0)
        kill(m_pid, nSignal);
}

int ChildProcess::Wait(std::string* pOut)
{
    std::string strOut;
    char buf[4096];
    ssize_t n = 0;
    while (m_nOut >= 0 && (n = read(m_nOut, buf, sizeof buf)) > 0)
        strOut.append(buf, static_cast<size_t>(n));
    if (m_nOut >= 0)
        close(m_nOut);
    m_nOut = -1;
    int nStatus = 0;
    const bool bReaped = m_pid > 0 && waitpid(m_pid, &nStatus, 0) == m_pid;
    m_pid = -1;
    if (pOut)
        *pOut = strOut;
    return bReaped && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

void ChildProcess::LimitFileSize(size_t nBytes)
{
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {static_cast<rlim_t>(nBytes), static_cast<rlim_t>(nBytes)};
    setrlimit(RLIMIT_FSIZE, &limit);
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
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
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
