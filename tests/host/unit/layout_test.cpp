// The host records have the same layout on both ABIs: fixed widths and no pointers.
#include <gtest/gtest.h>

#include <cstddef>

#include "s-pluginapi.h"

TEST(Layout, UserRecordFieldsSitAtTheSameOffsetsOnEveryAbi) {
  EXPECT_EQ(offsetof(ServerUserRec, user.name), 12u);
  EXPECT_EQ(offsetof(ServerUserRec, crc), 44u);
  EXPECT_EQ(offsetof(ServerUserRec, counter), 48u);
  EXPECT_EQ(offsetof(ServerUserRec, puidCtr), 52u);
  EXPECT_EQ(offsetof(ServerUserRec, puidCRC), 56u);
  EXPECT_EQ(offsetof(ServerUserRec, feIPAddr), 60u);
  EXPECT_EQ(offsetof(ServerUserRec, loggedOn), 64u);
  EXPECT_EQ(offsetof(ServerUserRec, flags), 66u);
  EXPECT_EQ(sizeof(ServerUserRec), 72u);
  EXPECT_EQ(sizeof(Str31), 32u);
  EXPECT_EQ(sizeof(Boolean), 2u);
  EXPECT_EQ(sizeof(AnyType), 4u);
  EXPECT_EQ(sizeof(ServerRoomRec), 40u);
  EXPECT_EQ(sizeof(ServerState), 12u);
}
