#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "frame/error_number.h"
#include "frame/guarded_call.h"
#include "serial/serial_platform.h"

namespace vornset {

namespace {

constexpr std::wstring_view device_prefix = L"\\\\.\\COM";
constexpr std::size_t longest_name = 255;  // UTF-16 units, without the closing NUL

CallOutcome failure(DWORD code) { return {code, error_number_for_windows_code(code)}; }

HANDLE handle_of(PortHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// A call judged by the last-error code; a FALSE without one still counts as failed.
template <typename Call>
CallOutcome checked(Call&& call) {
  CallOutcome outcome;
  const BOOL succeeded = guarded_call(call, outcome);
  if (outcome.failed()) return outcome;
  return succeeded ? CallOutcome{} : failure(ERROR_GEN_FAILURE);
}

class Win32SerialPlatform final : public SerialPlatform {
 public:
  CallOutcome open(std::string_view port_text, PortHandle& handle) override;
  std::string device_name(std::string_view port_text) const override;
  CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) override;
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  // The DCB of each line setting carries the lines (write_line_settings).
  CallOutcome set_modem_lines(PortHandle, ModemLines, std::string&) override { return {}; }
  CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) override;
  CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) override;
  CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                    std::uint32_t milliseconds) override;
  std::uint32_t milliseconds_now() override { return GetTickCount(); }
  CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome discard_output(PortHandle handle) override;

 private:
  // The port's time-outs as the time limit left them; each write sets its own total.
  COMMTIMEOUTS write_timeouts_{};
};

// "\\.\COM" and the port text widened from the ANSI code page, cut to 255 units. The
// buffer holds the usual name; only a longer one needs the heap for its conversion.
std::size_t device_name_of(std::string_view port_text, wchar_t (&name)[longest_name + 1]) {
  std::copy(device_prefix.begin(), device_prefix.end(), name);
  std::size_t length = device_prefix.size();
  const std::size_t room = longest_name - length;
  const int text_size = static_cast<int>(std::min<std::size_t>(port_text.size(), INT_MAX));
  const int needed =
      text_size == 0 ? 0 : MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, port_text.data(), text_size, nullptr, 0);
  if (needed > 0 && static_cast<std::size_t>(needed) <= room) {
    length += static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, port_text.data(), text_size, name + length, needed));
  } else if (needed > 0) {
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, port_text.data(), text_size, wide.data(), needed);
    std::copy_n(wide.begin(), room, name + length);
    length += room;
  }
  name[length] = L'\0';
  return length;
}

CallOutcome Win32SerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  handle = no_port;
  wchar_t name[longest_name + 1];
  const std::size_t length = device_name_of(port_text, name);
  const std::wstring_view name_view(name, length);
  if (name_view.empty() || name_view.find_first_of(L"*?") != std::wstring_view::npos) {
    return {ERROR_INVALID_NAME, error_number::bad_file_name};
  }

  // Share mode 0: a port that another program holds is refused, not shared. The handle
  // is not overlapped, so every later call on it blocks until it is done.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  CallOutcome outcome;
  const HANDLE port = guarded_call(
      [&] {
        return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      },
      outcome);
  if (port == INVALID_HANDLE_VALUE) return outcome.failed() ? outcome : failure(ERROR_OPEN_FAILED);

  // "\\.\COM" and a crafted port text can reach a disk file; that is no port.
  if (guarded_call([&] { return GetFileType(port); }, outcome) == FILE_TYPE_DISK) {
    guarded_call([&] { return CloseHandle(port); }, outcome);
    return failure(ERROR_INVALID_FUNCTION);
  }
  handle = reinterpret_cast<PortHandle>(port);
  return {};
}

std::string Win32SerialPlatform::device_name(std::string_view port_text) const {
  std::string name = "COM";
  name += port_text;
  return name;
}

CallOutcome Win32SerialPlatform::read_line_settings(PortHandle handle, LineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  const CallOutcome outcome = checked([&] { return GetCommState(handle_of(handle), &dcb); });
  if (outcome.failed()) return outcome;
  settings.native = dcb;
  settings.baud_rate = dcb.BaudRate;
  settings.data_bits = dcb.ByteSize;
  settings.stop_bits = static_cast<StopBits>(dcb.StopBits);
  settings.parity = static_cast<Parity>(dcb.Parity);
  settings.parity_checking = dcb.fParity != 0;
  settings.modem_lines.dtr = dcb.fDtrControl == DTR_CONTROL_ENABLE    ? LineLevel::on
                             : dcb.fDtrControl == DTR_CONTROL_DISABLE ? LineLevel::off
                                                                      : LineLevel::as_found;
  settings.modem_lines.rts = dcb.fRtsControl == RTS_CONTROL_ENABLE    ? LineLevel::on
                             : dcb.fRtsControl == RTS_CONTROL_DISABLE ? LineLevel::off
                                                                      : LineLevel::as_found;
  return {};
}

// The whole DCB goes back as read, with only the program's five fields changed, and the
// modem lines' controls when the settings ask for the lines: the driver sets the lines
// in the same SetCommState, and no later setting of the run changes them again.
CallOutcome Win32SerialPlatform::write_line_settings(PortHandle handle, const LineSettings& settings) {
  DCB dcb = settings.native;
  dcb.BaudRate = settings.baud_rate;
  dcb.ByteSize = settings.data_bits;
  dcb.StopBits = static_cast<BYTE>(settings.stop_bits);
  dcb.Parity = static_cast<BYTE>(settings.parity);
  dcb.fParity = settings.parity_checking ? 1 : 0;
  if (settings.modem_lines.dtr != LineLevel::as_found) {
    dcb.fDtrControl = settings.modem_lines.dtr == LineLevel::on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  }
  if (settings.modem_lines.rts != LineLevel::as_found) {
    dcb.fRtsControl = settings.modem_lines.rts == LineLevel::on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
  }
  return checked([&] { return SetCommState(handle_of(handle), &dcb); });
}

CallOutcome Win32SerialPlatform::read_queue_sizes(PortHandle handle, QueueSizes& sizes) {
  COMMPROP properties{};
  const CallOutcome outcome = checked([&] { return GetCommProperties(handle_of(handle), &properties); });
  if (outcome.failed()) return outcome;
  sizes.receive = properties.dwCurrentRxQueue;
  sizes.transmit = properties.dwCurrentTxQueue;
  return {};
}

CallOutcome Win32SerialPlatform::request_queue_sizes(PortHandle handle, const QueueSizes& sizes) {
  return checked([&] { return SetupComm(handle_of(handle), sizes.receive, sizes.transmit); });
}

// Only the write time-outs change; the read time-outs stay as the driver had them.
CallOutcome Win32SerialPlatform::limit_write_time(PortHandle handle, std::uint32_t milliseconds) {
  COMMTIMEOUTS timeouts{};
  CallOutcome outcome = checked([&] { return GetCommTimeouts(handle_of(handle), &timeouts); });
  if (outcome.failed()) return outcome;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = milliseconds;
  outcome = checked([&] { return SetCommTimeouts(handle_of(handle), &timeouts); });
  if (outcome.failed()) outcome.error_number = error_number::invalid_call;  // a refused setting
  write_timeouts_ = timeouts;
  return outcome;
}

CallOutcome Win32SerialPlatform::write(PortHandle handle, std::string_view bytes, std::size_t& written,
                                       std::uint32_t milliseconds) {
  written = 0;
  // Each write gets what is left of the send's one deadline. A total of 0 with no
  // multiplier would mean no time-out at all, so the shortest is 1 ms.
  const DWORD limit = milliseconds == 0 ? 1 : milliseconds;
  if (write_timeouts_.WriteTotalTimeoutConstant != limit) {
    write_timeouts_.WriteTotalTimeoutConstant = limit;
    const CallOutcome limited = checked([&] { return SetCommTimeouts(handle_of(handle), &write_timeouts_); });
    if (limited.failed()) return limited;
  }
  DWORD taken = 0;
  const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
  const CallOutcome outcome =
      checked([&] { return WriteFile(handle_of(handle), bytes.data(), size, &taken, nullptr); });
  written = taken;
  if (outcome.failed()) return outcome;
  // With a write time-out set, a write that ends short has run out of time.
  if (taken < bytes.size()) return failure(ERROR_SEM_TIMEOUT);
  return {};
}

// A driver that completes a write once the bytes are on their way (a USB adapter's, or
// wine's, which writes into the host system's terminal queue) may still hold them here.
// The normal run finds the queue empty at the first look; only bytes that are still
// queued lead to the loop, which looks again every few milliseconds.
CallOutcome Win32SerialPlatform::wait_until_sent(PortHandle handle, std::uint32_t milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    const CallOutcome outcome = checked([&] { return ClearCommError(handle_of(handle), &errors, &status); });
    if (outcome.failed()) return outcome;
    if (status.cbOutQue == 0) return {};
    const DWORD waited = GetTickCount() - start;  // unsigned: right across the counter's wrap
    if (waited >= milliseconds) return failure(ERROR_SEM_TIMEOUT);
    Sleep(std::min<DWORD>(5, milliseconds - waited));
  }
}

CallOutcome Win32SerialPlatform::discard_output(PortHandle handle) {
  return checked([&] { return PurgeComm(handle_of(handle), PURGE_TXABORT | PURGE_TXCLEAR); });
}

}  // namespace

SerialPlatform& local_serial_platform() {
  static Win32SerialPlatform platform;
  return platform;
}

// A port that no other program may share is shared again when the process ends and
// the system closes it; nothing was changed on the device.
void release_serial_port() {}

}  // namespace vornset
