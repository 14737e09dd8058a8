#pragma once

// A row of a parser table: the part of the input that is varied, the text put
// there, and what the parser makes of it.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace testsupport
{
template <typename Part> struct CPartCase
{
    Part nPart;
    const char* pszText;
    std::string strExpected;
};

template <typename Part> void PrintTo(const CPartCase<Part>& c, std::ostream* os)
{
    *os << c.pszText;
}
template <typename Part> using CPartTable = ::testing::TestWithParam<CPartCase<Part>>;
} // namespace testsupport
