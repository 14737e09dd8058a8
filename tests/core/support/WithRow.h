#pragma once

// A fixture that also takes a row of a table: its set-up, and GetParam().

#include <gtest/gtest.h>

namespace testsupport
{
template <class Fixture, class Row> class WithRow : public Fixture, public ::testing::WithParamInterface<Row>
{
};
} // namespace testsupport
