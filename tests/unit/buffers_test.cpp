// The growth and wiping rules of the two buffers.
#include <gtest/gtest.h>

#include <string>

#include "common/archive/byte_buf.h"
#include "common/archive/wide_buf.h"
#include "tests/support/release_watch.h"

namespace {

std::u16string repeat(char16_t c, std::size_t n) {
    return std::u16string(n, c);
}

TEST(WideBuf, StartsEmptyWithDefaultCapacity) {
    WideBuf b;
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.capacity, 520u);
    EXPECT_EQ(b.width, 1u);
    EXPECT_EQ(b.length(), 0u);
    for (uint32_t i = 0; i < b.capacity; ++i) ASSERT_EQ(b.data[i], 0) << i;
}

TEST(WideBuf, AssignGrowsOnlyWhenTheTerminatorDoesNotFit) {
    WideBuf b;
    std::u16string t519 = repeat(u'x', 519);
    b.assign(t519.c_str());
    EXPECT_EQ(b.capacity, 520u);
    EXPECT_EQ(std::u16string(b.text()), t519);

    std::u16string t520 = repeat(u'y', 520);
    b.assign(t520.c_str());
    EXPECT_EQ(b.capacity, 521u);
    EXPECT_EQ(std::u16string(b.text()), t520);

    b.assign(u"short");
    EXPECT_EQ(b.capacity, 521u) << "capacity never shrinks";
    EXPECT_EQ(std::u16string(b.text()), u"short");
    for (uint32_t i = 5; i < b.capacity; ++i) ASSERT_EQ(b.data[i], 0) << "tail wiped at " << i;

    b.assign(nullptr);
    EXPECT_EQ(b.length(), 0u);
    EXPECT_EQ(b.capacity, 521u);
}

TEST(WideBuf, AssignOfItsOwnTextKeepsIt) {
    WideBuf b;
    b.assign(u"folder\\file.txt");
    b.assign(b.text() + 7);
    EXPECT_EQ(std::u16string(b.text()), u"file.txt");
}

TEST(WideBuf, AppendGrowsWhenNoRoomForTheTerminator) {
    WideBuf b;
    std::u16string head = repeat(u'a', 510);
    b.assign(head.c_str());
    // Free room is 10: exactly the text, with no room for its terminator.
    std::u16string tail = repeat(u'b', 10);
    b.append(tail.c_str());
    EXPECT_EQ(b.capacity, 520u + 10 + 1);
    EXPECT_EQ(std::u16string(b.text()), head + tail);

    // Room enough: no growth.
    WideBuf c;
    c.assign(head.c_str());
    c.append(u"123456789");
    EXPECT_EQ(c.capacity, 520u);
    EXPECT_EQ(std::u16string(c.text()), head + u"123456789");

    c.append(nullptr);
    EXPECT_EQ(std::u16string(c.text()), head + u"123456789");
}

TEST(WideBuf, AppendOfItsOwnTextWhileGrowing) {
    WideBuf b;
    std::u16string half = repeat(u'q', 300);
    b.assign(half.c_str());
    b.append(b.text());
    EXPECT_EQ(std::u16string(b.text()), half + half);
    EXPECT_EQ(b.capacity, 520u + 300 + 1);
}

TEST(WideBuf, EnsureCapacityAlwaysEmpties) {
    WideBuf b;
    b.assign(u"secret");
    EXPECT_TRUE(b.ensureCapacity(10));
    EXPECT_EQ(b.capacity, 520u);
    EXPECT_EQ(b.length(), 0u);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(b.data[i], 0);

    b.assign(u"again");
    EXPECT_TRUE(b.ensureCapacity(0));
    EXPECT_EQ(b.length(), 0u);

    EXPECT_TRUE(b.ensureCapacity(4000));
    EXPECT_EQ(b.capacity, 4000u);
}

TEST(WideBuf, RequestBeyondThirtyTwoBitsOfBytesFails) {
    WideBuf b;
    EXPECT_FALSE(b.ensureCapacity(0x80000000u));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.length(), 0u);
    b.append(u"ignored");  // copies nothing, must not crash
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    // A later sensible request gets storage again.
    b.assign(u"back");
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.capacity, 5u);
    EXPECT_EQ(std::u16string(b.text()), u"back");
}

TEST(ByteBuf, DefaultsAndEnsureCapacity) {
    ByteBuf b;
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(b.capacity, 520u);
    EXPECT_EQ(b.width, 0u);
    b.data[0] = 0xAA;
    b.data[519] = 0x55;
    EXPECT_TRUE(b.ensureCapacity(100));
    EXPECT_EQ(b.capacity, 520u);
    EXPECT_EQ(b.data[0], 0);
    EXPECT_EQ(b.data[519], 0);
    EXPECT_TRUE(b.ensureCapacity(1 << 20));
    EXPECT_EQ(b.capacity, 1u << 20);
}

class BufferWipe : public ::testing::Test {
  protected:
    void SetUp() override { release_watch::reset(); }
    void TearDown() override { release_watch::reset(); }
};

TEST_F(BufferWipe, DestroyedWideBufReadsAsZerosWhenReleased) {
    const void* storage = nullptr;
    {
        WideBuf b;
        b.assign(u"hunter2 is my password");
        storage = b.data;
        release_watch::watch(storage, b.capacity * sizeof(char16_t));
    }
    ASSERT_TRUE(release_watch::released(storage));
    EXPECT_TRUE(release_watch::wasZero(storage));
}

TEST_F(BufferWipe, GrowingReleasesTheOldStorageWiped) {
    WideBuf b;
    b.assign(u"old secret text");
    const void* old = b.data;
    release_watch::watch(old, b.capacity * sizeof(char16_t));
    std::u16string big(600, u'z');
    b.assign(big.c_str());
    ASSERT_TRUE(release_watch::released(old));
    EXPECT_TRUE(release_watch::wasZero(old));

    const void* before = b.data;
    release_watch::watch(before, b.capacity * sizeof(char16_t));
    b.append(big.c_str());
    ASSERT_TRUE(release_watch::released(before));
    EXPECT_TRUE(release_watch::wasZero(before));
    EXPECT_EQ(std::u16string(b.text()), big + big);
}

TEST_F(BufferWipe, DestroyedByteBufReadsAsZerosWhenReleased) {
    const void* storage = nullptr;
    {
        ByteBuf b;
        for (uint32_t i = 0; i < b.capacity; ++i) b.data[i] = static_cast<uint8_t>(i | 1);
        storage = b.data;
        release_watch::watch(storage, b.capacity);
    }
    ASSERT_TRUE(release_watch::released(storage));
    EXPECT_TRUE(release_watch::wasZero(storage));
}

}  // namespace
