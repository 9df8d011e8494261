#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// A fuzz input read front to back; past its end it gives zeros and empty texts.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  bool done() const { return rest_.empty(); }
  std::uint8_t byte() {
    const std::string_view taken = bytes(1);
    return taken.empty() ? 0 : static_cast<std::uint8_t>(taken.front());
  }
  std::string_view bytes(std::size_t count) {
    const std::string_view taken = rest_.substr(0, count);
    rest_.remove_prefix(taken.size());
    return taken;
  }
  template <typename T>
  T value() {
    T result{};
    const std::string_view taken = bytes(sizeof result);
    if (!taken.empty()) std::memcpy(&result, taken.data(), taken.size());
    return result;
  }

 private:
  std::string_view rest_;
};

