#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/file_table.h"
#include "serial/serial_link.h"
#include "serial/serial_platform.h"

namespace vornset {
namespace {

struct Port {
  FileTable files;
  ErrorState errors;
  SerialLink link{system_serial_platform(), files, errors};
};

TEST(Win32Port, WildcardsInTheNameAre64AndNothingIsOpened) {
  for (const std::string_view port_text : {"*", "1?", "COM\\*"}) {
    Port port;
    port.link.open(port_text);
    EXPECT_EQ(port.errors.last(), error_number::bad_file_name) << port_text;
    EXPECT_EQ(port.link.failure_message(), "Serial port COM" + std::string(port_text) + " could not be opened (invalid name)");
  }
}

TEST(Win32Port, APortThatDoesNotExistIs69ThenEveryStep52) {
  Port port;
  port.link.open("249");
  EXPECT_EQ(port.errors.last(), error_number::device_io_error);
  port.link.configure("9600");
  port.link.send("LP1;");
  EXPECT_EQ(port.errors.count(), 1 + 6 + 1);
  EXPECT_EQ(port.errors.last(), error_number::bad_file_number);
  EXPECT_EQ(port.link.failure_message().rfind("Serial port COM249 could not be opened", 0), 0u)
      << port.link.failure_message();
}

TEST(Win32Port, ADiskFileReachedThroughTheDeviceNameIsRefused) {
  wchar_t directory[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, directory), 0u);
  wchar_t path[MAX_PATH];
  ASSERT_NE(GetTempFileNameW(directory, L"vst", 0, path), 0u);
  char narrow[MAX_PATH * 2];
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr), 0);
  // "\\.\COM" + "\..\C:\...\file" names the file itself.
  const std::string port_text = std::string("\\..\\") + narrow;
  Port port;
  port.link.open(port_text);
  EXPECT_EQ(port.errors.last(), error_number::device_io_error);
  EXPECT_EQ(port.files.find(1), nullptr);
  EXPECT_EQ(port.link.failure_message(), "Serial port COM" + port_text + " could not be opened (not a serial device)");
  // The handle was closed again: the file can be deleted at once.
  EXPECT_TRUE(DeleteFileW(path));
}

}  // namespace
}  // namespace vornset
