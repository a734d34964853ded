#include "HostSession.hpp"
#include "standin/Base.hpp"

#include <gtest/gtest.h>

namespace {

TEST(HostCoreTest, OnlyOneHostRunsAtATime)
{
    standin::Host host;
    EXPECT_EQ(&standin::Host::Current(), &host);
    EXPECT_THROW(standin::Host second, std::logic_error);
}

}  // namespace
