"""The guest's initramfs: busybox, the program under test, two small helpers built here
(termios_probe, on_terminal), the USB gadget's script (usb_gadget.sh), the kernel modules
of the virtio console, of the FTDI adapter and of the USB gadget ports, and guest_init.sh
as /init."""
import os
import shutil
import subprocess

from initramfs import Initramfs

HERE = os.path.dirname(os.path.abspath(__file__))

# The control port and the kernel's console, then the FTDI adapter on its xHCI controller,
# then the USB ports made in the guest itself: dummy_hcd's controller with a gadget made
# in configfs (CDC-ACM and generic serial functions) on one side, cdc-acm and the
# usb-serial core on the other. What each of them depends on comes along (udc-core,
# u_serial, usbserial); the gadget functions are loaded here, as nobody in the guest
# would load them on demand.
GUEST_MODULES = ["virtio_pci", "virtio_console", "xhci_pci", "ftdi_sio", "configfs",
                 "libcomposite", "usb_f_acm", "usb_f_serial", "dummy_hcd", "cdc_acm"]
HELPERS = ["termios_probe", "on_terminal"]
SCRIPTS = ["usb_gadget"]
BUSYBOX = "/bin/busybox"

# A normal user for what root would get past: TIOCEXCL does not stop root.
PASSWD = b"root:x:0:0:root:/:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n"
GROUP = b"root:x:0:\ndialout:x:20:tester\ntester:x:1000:\n"


class ImageUnavailable(Exception):
    pass


def _build_helper(name, work_dir):
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None:
        raise ImageUnavailable("no C compiler for the guest helpers")
    output = os.path.join(work_dir, name)
    built = subprocess.run([compiler, "-static", "-O2", "-Wall", "-Wextra", "-Werror", "-o",
                            output, os.path.join(HERE, name + ".c")],
                           capture_output=True, text=True, check=False)
    if built.returncode != 0:
        raise ImageUnavailable("%s does not build: %s" % (name, built.stderr.strip()))
    return output


def build_initramfs(program, kernel, work_dir):
    """Writes work_dir/initramfs.gz; `kernel` is what guest_kernel.prepare_kernel returned."""
    if not os.path.exists(BUSYBOX):
        raise ImageUnavailable("%s is missing (package busybox-static)" % BUSYBOX)
    image = Initramfs()
    for directory in ("proc", "sys", "dev", "tmp"):
        image.directory(directory)
    image.copy("bin/busybox", BUSYBOX, 0o755)
    image.copy("init", os.path.join(HERE, "guest_init.sh"), 0o755)
    image.copy("bin/vornset", program, 0o755)
    for helper in HELPERS:
        image.copy("bin/" + helper, _build_helper(helper, work_dir), 0o755)
    for script in SCRIPTS:
        image.copy("bin/" + script, os.path.join(HERE, script + ".sh"), 0o755)
    names = []
    for module in kernel["modules"]:
        name = os.path.basename(module)
        image.copy("lib/modules/" + name, module, 0o644)
        names.append(name[: -len(".ko")])
    image.file("lib/modules/order", ("\n".join(names) + "\n").encode())
    image.file("etc/passwd", PASSWD)
    image.file("etc/group", GROUP)
    path = os.path.join(work_dir, "initramfs.gz")
    image.write(path)
    return path
