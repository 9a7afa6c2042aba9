#include <gtest/gtest.h>

#include "server/service/DevicePaths.h"
#include "settings_store/RegistryStore.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

// COM n maps to its "Devices" value when stored, else to the n-th standard serial port.
TEST(DevicePaths, StoredValueOrStandardPort) {
    TempFolder folder;
    RegistryStore store(folder.File("registry.reg"));

    EXPECT_EQ(DevicePath(store, 1), "/dev/ttyS0");
    EXPECT_EQ(DevicePath(store, 16), "/dev/ttyS15");

    const std::string devices = std::string(kServiceKey) + "\\Devices";
    ASSERT_TRUE(store.RegWriteValue(devices, "COM3", REG_SZ, "/dev/ttyUSB0"));
    ASSERT_TRUE(store.RegWriteValue(devices, "com12", REG_SZ, "/dev/pts/7"));
    EXPECT_EQ(DevicePath(store, 3), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePath(store, 12), "/dev/pts/7");
    EXPECT_EQ(DevicePath(store, 1), "/dev/ttyS0");
    // COM1 is not COM12's prefix match.
    EXPECT_EQ(DevicePath(store, 2), "/dev/ttyS1");
}

}  // namespace
}  // namespace tolvan
