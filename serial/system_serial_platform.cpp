#include "network/network_address.h"
#include "network/network_port.h"
#include "serial/serial_platform.h"

namespace vornset {

namespace {

// The kind of port is chosen by the port text at the open; every later call goes to
// that kind. A local run pays a look at the text's first letters.
class SystemSerialPlatform final : public SerialPlatform {
 public:
  CallOutcome open(std::string_view port_text, PortHandle& handle) override {
    active_ = &kind_of(port_text);
    return active_->open(port_text, handle);
  }
  std::string device_name(std::string_view port_text) const override { return kind_of(port_text).device_name(port_text); }
  std::string open_refusal_reason(std::string_view port_text, std::uint32_t system_code) const override {
    return kind_of(port_text).open_refusal_reason(port_text, system_code);
  }
  CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) override {
    return active_->read_line_settings(handle, settings);
  }
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override {
    return active_->write_line_settings(handle, settings);
  }
  std::string line_refusal_reason() const override { return active_->line_refusal_reason(); }
  CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) override {
    return active_->read_queue_sizes(handle, sizes);
  }
  CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) override {
    return active_->request_queue_sizes(handle, sizes);
  }
  CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) override {
    return active_->limit_write_time(handle, milliseconds);
  }
  CallOutcome set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) override {
    return active_->set_modem_lines(handle, lines, reason);
  }
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                    std::uint32_t milliseconds) override {
    return active_->write(handle, bytes, written, milliseconds);
  }
  std::uint32_t milliseconds_now() override { return active_->milliseconds_now(); }
  CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) override {
    return active_->wait_until_sent(handle, milliseconds);
  }
  CallOutcome discard_output(PortHandle handle) override { return active_->discard_output(handle); }

 private:
  static SerialPlatform& kind_of(std::string_view port_text) {
    return names_network_port(port_text) ? network_serial_platform() : local_serial_platform();
  }
  SerialPlatform* active_ = &local_serial_platform();
};

}  // namespace

SerialPlatform& system_serial_platform() {
  static SystemSerialPlatform platform;
  return platform;
}

}  // namespace vornset
