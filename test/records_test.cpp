// The request records must have the platform's layout in both builds: the
// simulated machine and the real kernel fill them by offset.
#include <gtest/gtest.h>

#include <cstddef>

#include "platform/win32.h"

TEST(Records, FieldOffsetsMatchThePlatform)
{
    EXPECT_EQ(offsetof(DISK_GEOMETRY, MediaType), 8u);
    EXPECT_EQ(offsetof(DISK_GEOMETRY, BytesPerSector), 20u);
    EXPECT_EQ(offsetof(PARTITION_INFORMATION_EX, StartingOffset), 8u);
    EXPECT_EQ(offsetof(PARTITION_INFORMATION_EX, PartitionLength), 16u);
    EXPECT_EQ(offsetof(PARTITION_INFORMATION_EX, PartitionNumber), 24u);
    EXPECT_EQ(offsetof(VOLUME_DISK_EXTENTS, Extents), 8u);
    EXPECT_EQ(sizeof(DISK_EXTENT), 24u);
    EXPECT_EQ(offsetof(DISK_EXTENT, ExtentLength), 16u);
    EXPECT_EQ(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType), 28u);
}
