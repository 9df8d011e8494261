#include "settings/settings_platform.h"

#include <windows.h>

#include <string>

namespace vornset {
namespace {

// SearchPathW writes into 264 units; a result above 260 is longer than a path may be,
// or it did not fit.
constexpr DWORD search_buffer_units = 264;
constexpr DWORD longest_found_path = 260;
// The existence test lists at most the first 256 units of the path, the open uses 255.
constexpr std::size_t listed_path_units = 256;
constexpr std::size_t opened_path_units = 255;

// The directory search of the existence test stays open until the process ends; the
// exit sequence closes it.
HANDLE directory_search = INVALID_HANDLE_VALUE;

CallOutcome last_error() {
  const DWORD code = GetLastError();
  return judged_outcome(false, {code, code != 0 ? error_number_for_windows_code(code) : 0});
}

// Text crosses to the system through the ANSI code page only.
CallOutcome widen(std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), length, nullptr, 0);
  if (units <= 0) return last_error();
  wide.resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), length, wide.data(), units);
  return {};
}

CallOutcome narrow(const wchar_t* wide, int units, std::string& text) {
  text.clear();
  if (units == 0) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return last_error();
  text.resize(static_cast<std::size_t>(length));
  WideCharToMultiByte(CP_ACP, 0, wide, units, text.data(), length, nullptr, nullptr);
  return {};
}

bool is_skipped(const WIN32_FIND_DATAW& entry) {
  constexpr DWORD skipped_attributes =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  const std::wstring_view name = entry.cFileName;
  return (entry.dwFileAttributes & skipped_attributes) != 0 || name == L"." || name == L"..";
}

bool means_nothing_there(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_NO_MORE_FILES;
}

HANDLE as_handle(SettingsFileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32SettingsPlatform final : public SettingsPlatform {
 public:
  // The system's own search order: the program's directory first, then the current and
  // system directories as the search mode sets them, then PATH. Called unguarded: not
  // finding the name is its ordinary answer.
  CallOutcome search(std::string_view name, std::string& full_path) override {
    full_path.clear();
    std::wstring wide_name;
    if (const CallOutcome outcome = widen(name, wide_name); outcome.failed()) return outcome;
    wchar_t found[search_buffer_units];
    const DWORD units =
        SearchPathW(nullptr, wide_name.c_str(), nullptr, search_buffer_units, found, nullptr);
    if (units == 0 || units > longest_found_path) return {};
    // From here on the path is 8-bit text: a character the code page cannot hold is
    // seen by the test and the open as the conversion left it.
    return narrow(found, static_cast<int>(units), full_path);
  }

  // A directory listing of the path must yield an entry that is neither hidden, nor a
  // system file, nor a directory. The search that found it stays open.
  CallOutcome is_plain_file(const std::string& full_path, bool& plain_file) override {
    plain_file = false;
    std::wstring wide;
    if (const CallOutcome outcome = widen(full_path, wide); outcome.failed()) return outcome;
    if (wide.empty()) return {};
    if (wide.size() > listed_path_units) wide.resize(listed_path_units);

    WIN32_FIND_DATAW entry{};
    CallOutcome outcome;
    const HANDLE search = guarded_call([&] { return FindFirstFileW(wide.c_str(), &entry); }, outcome);
    if (search == INVALID_HANDLE_VALUE) {
      outcome = judged_outcome(false, outcome);
      return means_nothing_there(outcome.system_code) ? CallOutcome{} : outcome;
    }
    while (is_skipped(entry)) {
      const BOOL more = guarded_call([&] { return FindNextFileW(search, &entry); }, outcome);
      if (!more) {
        outcome = judged_outcome(false, outcome);
        CallOutcome ignored;
        guarded_call([&] { return FindClose(search); }, ignored);
        return means_nothing_there(outcome.system_code) ? CallOutcome{} : outcome;
      }
    }
    release_settings_search();
    directory_search = search;
    plain_file = true;
    return {};
  }

  // Share mode 0: while the settings file is read, no other program has it open.
  CallOutcome open(const std::string& full_path, SettingsFileHandle& handle) override {
    handle = no_settings_file;
    std::wstring wide;
    if (const CallOutcome outcome = widen(full_path, wide); outcome.failed()) return outcome;
    if (wide.empty() || wide.find_first_of(L"*?") != std::wstring::npos) {
      return {ERROR_INVALID_NAME, error_number::bad_file_name};
    }
    if (wide.size() > opened_path_units) wide.resize(opened_path_units);

    SECURITY_ATTRIBUTES inheritable{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
    CallOutcome outcome;
    const HANDLE file = guarded_call(
        [&] {
          return CreateFileW(wide.c_str(), GENERIC_READ, 0, &inheritable, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        },
        outcome);
    if (file == INVALID_HANDLE_VALUE) return judged_outcome(false, outcome);

    // Refills seek to absolute offsets, which only a disk file allows.
    const DWORD type = guarded_call([&] { return GetFileType(file); }, outcome);
    if (type != FILE_TYPE_DISK) {
      CallOutcome ignored;
      guarded_call([&] { return CloseHandle(file); }, ignored);
      if (outcome.failed()) return outcome;
      return {ERROR_BAD_FILE_TYPE, error_number_for_windows_code(ERROR_BAD_FILE_TYPE)};
    }
    handle = reinterpret_cast<SettingsFileHandle>(file);
    return {};
  }

  CallOutcome read_at(SettingsFileHandle handle, std::uint64_t offset, SettingsBuffer& buffer,
                      std::size_t& delivered) override {
    delivered = 0;
    const HANDLE file = as_handle(handle);
    LONG high = static_cast<LONG>(offset >> 32);
    CallOutcome outcome;
    const DWORD low = guarded_call(
        [&] { return SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN); },
        outcome);
    // INVALID_SET_FILE_POINTER is also the low half of a valid offset; the error code decides.
    if (low == INVALID_SET_FILE_POINTER && outcome.failed()) return outcome;

    DWORD read = 0;
    const BOOL succeeded = guarded_call(
        [&] { return ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr); },
        outcome);
    if (succeeded) delivered = read;
    return judged_outcome(succeeded != FALSE, outcome);
  }

  CallOutcome close(SettingsFileHandle handle) override {
    CallOutcome outcome;
    const BOOL succeeded = guarded_call([&] { return CloseHandle(as_handle(handle)); }, outcome);
    return judged_outcome(succeeded != FALSE, outcome);
  }
};

}  // namespace

SettingsPlatform& system_settings_platform() {
  static Win32SettingsPlatform platform;
  return platform;
}

void release_settings_search() {
  if (directory_search == INVALID_HANDLE_VALUE) return;
  FindClose(directory_search);
  directory_search = INVALID_HANDLE_VALUE;
}

}  // namespace vornset
