// The names Windows takes for devices, decided the same on every system.
#include "platform/device_names.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::platform {
namespace {

TEST(DeviceNames, ReservedNamesAndTheDeviceNamespace) {
    const struct {
        std::u16string path;
        bool device;
    } cases[] = {
        {u"CON", true},
        {u"con", true},
        {u"NUL", true},
        {u"nul.txt", true},
        {u"C:\\data\\aux.tar.gz", true},
        {u"dir/PRN", true},
        {u"C:NUL", true},
        {u"NUL:", true},
        {u"nul  ", true},
        {u"COM1", true},
        {u"com9.log", true},
        {u"LPT0", true},
        {u"COM\u00B9", true},
        {u"CONIN$", true},
        {u"conout$", true},
        {u"\\\\.\\pipe\\name", true},
        {u"//./PhysicalDrive0", true},
        {u"\\\\?\\GLOBALROOT\\Device\\Null", true},
        {u"", false},
        {u"CONSOLE", false},
        {u"nully", false},
        {u"COM10", false},
        {u"COMA", false},
        {u"LPT", false},
        {u"CON\\file.txt", false},
        {u"notes.con", false},
        {u"C:\\data\\report.txt", false},
        {u"\\\\?\\C:\\data\\report.txt", false},
        {u"\\\\?\\UNC\\server\\share\\file", false},
        {u"\\\\server\\share\\file", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_device_path(c.path.c_str()), c.device) << std::string(c.path.begin(), c.path.end());
    }
    EXPECT_FALSE(is_device_path(nullptr));
}

}  // namespace
}  // namespace corvane::platform
