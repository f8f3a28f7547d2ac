#include "platform/handles.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/machine_test.h"

namespace {

std::vector<int> closed;

// A handle kind whose release is recorded, and which disturbs the last error as a real
// release may.
struct RecordedTraits {
    using Handle = int;
    static Handle invalid() noexcept { return 0; }
    static bool isValid(Handle handle) noexcept { return handle != 0; }
    static void close(Handle handle) noexcept
    {
        closed.push_back(handle);
        Os().setLastError(ERROR_INVALID_HANDLE);
    }
};
using Recorded = UniqueHandle<RecordedTraits>;

class HandlesTest : public MachineTest {
protected:
    void SetUp() override { closed.clear(); }
};

TEST_F(HandlesTest, ReleasesExactlyOnce)
{
    {
        Recorded a(7);
        Recorded b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 7);
        Recorded c;
        c = std::move(b);
    }
    EXPECT_EQ(closed, std::vector<int>{7});
}

TEST_F(HandlesTest, ResetClosesTheOldHandleAndPutEmptiesTheHolder)
{
    Recorded holder(1);
    holder.reset(2);
    EXPECT_EQ(closed, std::vector<int>{1});
    *holder.put() = 3;
    EXPECT_EQ(closed, (std::vector<int>{1, 2}));
    EXPECT_EQ(holder.get(), 3);
}

TEST_F(HandlesTest, ReleaseHandsOverWithoutClosing)
{
    {
        Recorded holder(5);
        EXPECT_EQ(holder.release(), 5);
    }
    EXPECT_TRUE(closed.empty());
}

TEST_F(HandlesTest, ClosingKeepsTheLastError)
{
    Os().setLastError(ERROR_ACCESS_DENIED);
    { Recorded holder(9); }
    EXPECT_EQ(Os().getLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(HandlesTest, LocalMemoryIsGivenBack)
{
    char16_t* buffer = nullptr;
    ASSERT_NE(Os().formatMessage(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_FROM_SYSTEM,
                                 nullptr, ERROR_ACCESS_DENIED, 0,
                                 reinterpret_cast<char16_t*>(&buffer), 0, nullptr),
              0u);
    {
        UniqueLocalMemory owner(buffer);
        EXPECT_EQ(machine.liveAllocations(), 1u);
    }
    EXPECT_EQ(machine.liveAllocations(), 0u);
}

} // namespace
