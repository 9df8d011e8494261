"""The guest's initramfs: busybox, the program under test, two small helpers built here
(termios_probe, on_terminal), the USB gadget's script (usb_gadget.sh), the kernel modules
the guest loads, and guest_init.sh as /init; and the guest's device tree where its machine
takes one."""
import os
import shutil
import subprocess

from initramfs import Initramfs

HERE = os.path.dirname(os.path.abspath(__file__))

HELPERS = ["termios_probe", "on_terminal"]
SCRIPTS = ["usb_gadget"]

# A normal user for what root would get past: TIOCEXCL does not stop root.
PASSWD = b"root:x:0:0:root:/:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n"
GROUP = b"root:x:0:\ndialout:x:20:tester\ntester:x:1000:\n"


class ImageUnavailable(Exception):
    pass


def _build_helper(name, compiler, work_dir):
    if shutil.which(compiler) is None:
        raise ImageUnavailable("no %s for the guest helpers" % compiler)
    output = os.path.join(work_dir, name)
    built = subprocess.run([compiler, "-static", "-O2", "-Wall", "-Wextra", "-Werror", "-o",
                            output, os.path.join(HERE, name + ".c")],
                           capture_output=True, text=True, check=False)
    if built.returncode != 0:
        raise ImageUnavailable("%s does not build: %s" % (name, built.stderr.strip()))
    return output


def device_tree(guest, kernel, work_dir):
    """Writes work_dir/guest.dtb: the kernel package's tree without `guest.dtb_removed`."""
    path = os.path.join(work_dir, "guest.dtb")
    shutil.copy(kernel["dtb"], path)
    for node in guest.dtb_removed:
        if shutil.which("fdtput") is None:
            raise ImageUnavailable("fdtput is missing (package device-tree-compiler)")
        subprocess.run(["fdtput", "-r", path, node], check=True)


def build_initramfs(guest, program, kernel, busybox, work_dir):
    """Writes work_dir/initramfs.gz; `kernel` is what guest_kernel.prepare_kernel returned,
    `busybox` the path of the guest's busybox."""
    image = Initramfs()
    for directory in ("proc", "sys", "dev", "tmp"):
        image.directory(directory)
    image.copy("bin/busybox", busybox, 0o755)
    image.copy("init", os.path.join(HERE, "guest_init.sh"), 0o755)
    image.copy("bin/vornset", program, 0o755)
    for helper in HELPERS:
        image.copy("bin/" + helper, _build_helper(helper, guest.compiler, work_dir), 0o755)
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
