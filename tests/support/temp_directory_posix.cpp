#include "tests/support/temp_directory_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vornset::testing_support {

TempDirectory::TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vornset-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
  path_ = pattern;
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::file(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string TempDirectory::write_file(std::string_view name, std::string_view bytes) const {
  std::string full = file(name);
  write_file_at(full, bytes);
  return full;
}

void TempDirectory::write_file_at(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "could not write " << path;
}

std::string TempDirectory::make_directory(std::string_view name) const {
  std::string full = file(name);
  std::filesystem::create_directories(full);
  return full;
}

void copy_file(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace vornset::testing_support
