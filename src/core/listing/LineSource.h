#pragma once

#include <string>

// Where a listing parser pulls its lines from: the HTTP body under the run
// event in the workers, a string in the tests and the benchmark.
class ILineSource
{
public:
    virtual ~ILineSource() = default;
    // The next line without its line end; false when there is none (end of
    // body, failure, or the run event was reset).
    virtual bool ReadLine(std::string& strLine) = 0;
};

// Lines of an in-memory page (LF ends a line, a CR before it is dropped, a
// last line without LF still counts).
class CStringLineSource : public ILineSource
{
public:
    explicit CStringLineSource(const std::string& strPage) : m_strPage(strPage) {}
    bool ReadLine(std::string& strLine) override;

private:
    const std::string& m_strPage;
    size_t m_nPos = 0;
};
