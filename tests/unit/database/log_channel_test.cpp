#include "database/log_channel.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(LogChannelTest, OnlyChannelsNamedInTheEnvironmentAreEnabled)
{
    setenv("QTVREMOVE_LOG_CHANNELS", "databases,debug", 1);
    const LogChannel database("database");
    const LogChannel debug("debug");
    const LogChannel other("bug");
    unsetenv("QTVREMOVE_LOG_CHANNELS");
    const LogChannel unset("debug");

    EXPECT_FALSE(database.enabled()) << "a name is matched whole";
    EXPECT_TRUE(debug.enabled());
    EXPECT_FALSE(other.enabled());
    EXPECT_FALSE(unset.enabled());
    unset.write("goes nowhere");
}

} // namespace
