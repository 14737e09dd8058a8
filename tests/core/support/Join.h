#pragma once

// Several values as one text ("a|b|c|"), to compare them in one go.

#include <sstream>
#include <string>

namespace testsupport
{
template <class... Values> std::string Join(const Values&... values)
{
    std::ostringstream out;
    ((out << values << '|'), ...);
    return out.str();
}
} // namespace testsupport
