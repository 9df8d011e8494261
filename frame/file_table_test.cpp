#include "frame/file_table.h"

#include <gtest/gtest.h>

#include "frame/error_number.h"
#include "frame/error_state.h"

namespace vornset {
namespace {

TEST(FileTable, LooksUpTheMostRecentlyAddedRecordOfANumber) {
  ErrorState errors;
  FileTable table;
  OpenFile settings{2, FileKind::settings_file};
  OpenFile port{1, FileKind::serial_port};
  ASSERT_TRUE(table.add(settings, errors));
  ASSERT_TRUE(table.add(port, errors));
  EXPECT_EQ(table.look_up(1, errors), &port);
  EXPECT_EQ(table.look_up(2, errors), &settings);
  EXPECT_EQ(errors.last(), 0);
}

TEST(FileTable, RefusesNegativeAndDuplicateNumbers) {
  ErrorState errors;
  FileTable table;
  OpenFile first{1, FileKind::serial_port};
  OpenFile again{1, FileKind::settings_file};
  OpenFile negative{-1, FileKind::settings_file};
  ASSERT_TRUE(table.add(first, errors));
  EXPECT_FALSE(table.add(again, errors));
  EXPECT_EQ(errors.last(), error_number::file_already_open);
  EXPECT_FALSE(table.add(negative, errors));
  EXPECT_EQ(errors.last(), error_number::bad_file_number);
  EXPECT_EQ(table.look_up(1, errors), &first);
}

TEST(FileTable, LookUpOfAClosedNumberRecords52ButFindDoesNot) {
  ErrorState errors;
  FileTable table;
  OpenFile settings{2, FileKind::settings_file};
  ASSERT_TRUE(table.add(settings, errors));
  table.remove(2);
  EXPECT_EQ(table.find(2), nullptr);
  EXPECT_EQ(errors.count(), 0);
  EXPECT_EQ(table.look_up(2, errors), nullptr);
  EXPECT_EQ(errors.last(), error_number::bad_file_number);
  table.remove(2);  // removing what is not there changes nothing
}

}  // namespace
}  // namespace vornset
