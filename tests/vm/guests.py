"""The guests the table runs in: one qemu machine each (TCG), Debian's current kernel for its
architecture, an initramfs (guest_image.py), and the serial ports whose rows run there, each
wired to the host. Only the Raspberry Pi 3 B has no virtio: its control channel is the
PL011, its port under test the mini UART."""
from dataclasses import dataclass

import scenarios

CONTROL = "control"  # in `serials`: the UART that carries the control channel


@dataclass(frozen=True)
class Guest:
    name: str
    architecture: str          # Debian's name for it
    kernel_package: str        # the package that depends on the current kernel
    compiler: str              # a C compiler that makes static programs for the guest
    qemu: tuple                # qemu's program and the machine's own arguments
    append: str                # the kernel's command line
    serials: tuple             # what each UART is wired to, in qemu's order: a Port, CONTROL,
                               # or None for no UART in that place (isa_serial machines)
    ports: tuple               # the ports whose rows run here
    devices: tuple = ()        # more qemu arguments; {ttyUSB0} stands for that port's socket
    modules: tuple = ("virtio_pci", "virtio_console")
    virtio: bool = True        # control channel and console on virtio
    dtb: str = ""              # device tree, as the kernel package names it
    dtb_removed: tuple = ()    # nodes taken out of it
    powers_off: bool = True    # the guest's poweroff ends qemu
    memory: str = "256M"
    relays: tuple = ()         # virtio ports that relay the gadget side of USB gadget ports
    setup: str = ""            # a shell script that readies the guest's own ports
    isa_serial: bool = False   # UARTs are ISA devices placed by index (a PC)


GUESTS = {guest.name: guest for guest in (
    Guest("x86-64", "amd64", "linux-image-amd64", "cc", ("qemu-system-x86_64",),
          "console=hvc0 8250.nr_uarts=3 quiet panic=-1",
          (None, scenarios.UART, scenarios.CTS_OFF), scenarios.PORTS,
          devices=("-device", "qemu-xhci", "-chardev", "socket,id=usb0,{ttyUSB0}",
                   "-device", "usb-serial,chardev=usb0",
                   # The adapter's requests, its modem lines among them, go to qemu.log.
                   "-trace", "usb_serial_handle_control"),
          # The USB ports made in the guest itself: dummy_hcd's controller with a gadget made
          # in configfs (CDC-ACM and generic serial functions) on one side, cdc-acm and the
          # usb-serial core on the other; what they depend on comes along (udc-core,
          # u_serial, usbserial). The gadget is plugged after the FTDI adapter, so that the
          # generic USB port is ttyUSB1.
          modules=("virtio_pci", "virtio_console", "xhci_pci", "ftdi_sio", "configfs",
                   "libcomposite", "usb_f_acm", "usb_f_serial", "dummy_hcd", "cdc_acm"),
          relays=tuple(port.relay for port in scenarios.GADGET_PORTS),
          # No UART answers at ttyS0: the machine's console stays out of reach, and the
          # kernel's line for it is one with no UART behind it.
          isa_serial=True,
          setup="usb_gadget plug && usb_gadget relay"),
    # The board's device tree gives the PL011 to the Bluetooth chip (no /dev/ttyAMA0 then)
    # and the kernel's console to the mini UART: both are taken back.
    Guest("raspi3b", "arm64", "linux-image-arm64", "aarch64-linux-gnu-gcc",
          ("qemu-system-aarch64", "-M", "raspi3b"),
          "console=tty0 quiet panic=-1 vornset.control=ttyAMA0",
          (CONTROL, scenarios.MINI_UART), (scenarios.MINI_UART,), virtio=False,
          dtb="broadcom/bcm2837-rpi-3-b.dtb", dtb_removed=("/soc/serial@7e201000/bluetooth",),
          powers_off=False, memory="1G"),
    Guest("arm64-virt", "arm64", "linux-image-arm64", "aarch64-linux-gnu-gcc",
          ("qemu-system-aarch64", "-M", "virt", "-cpu", "cortex-a53"),
          "console=hvc0 quiet panic=-1", (scenarios.PL011,), (scenarios.PL011,)),
    # highmem=off: the kernel has no large physical addresses.
    Guest("armhf-virt", "armhf", "linux-image-armmp", "arm-linux-gnueabihf-gcc",
          ("qemu-system-arm", "-M", "virt,highmem=off", "-cpu", "cortex-a15"),
          "console=hvc0 quiet panic=-1", (scenarios.PL011,), (scenarios.PL011,)),
)}
