#pragma once

#include <string>
#include <string_view>

namespace vornset::testing_support {

// A fresh directory under $TMPDIR, removed with everything in it when the test ends.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const;

  // Writes `bytes` exactly (no line-end conversion) to `name` inside the directory.
  std::string write_file(std::string_view name, std::string_view bytes) const;
  static void write_file_at(const std::string& path, std::string_view bytes);
  std::string make_directory(std::string_view name) const;

 private:
  std::string path_;
};

// Copies a file, keeping its mode (used to put a program beside its settings file).
void copy_file(const std::string& from, const std::string& to);

}  // namespace vornset::testing_support
