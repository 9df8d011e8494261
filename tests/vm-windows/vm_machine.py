"""Starts the test guest under qemu-system-x86_64 (TCG) with its two UARTs and its
control channel, and makes the payload disk that carries one boot's programs.

ttyS0 is the guest's own console (a log file here); ttyS1 is the port under test, wired to
a unix socket that the host listens on. The control channel is a virtio console
(/dev/hvc0 in the guest), kept off the UARTs so that wine never gives it a COM number.
"""
import os
import shutil
import subprocess

KERNEL_ARGUMENTS = ("root=/dev/vda rw console=ttyS0 8250.nr_uarts=2 "
                    "init=/usr/local/sbin/vm-init quiet")


def qemu_present():
    return shutil.which("qemu-system-x86_64") is not None and shutil.which("mkfs.ext4") is not None


def make_payload_disk(folder, image, megabytes=64):
    """An ext4 image of the folder, made without mounting anything."""
    subprocess.run(["mkfs.ext4", "-q", "-F", "-d", folder, image, "%dM" % megabytes], check=True,
                   stdout=subprocess.DEVNULL)


def start(image_folder, payload, control_socket, line_socket, console_log, keep_changes=False):
    """Starts qemu; the host must already listen on both sockets (qemu connects to them).
    What qemu itself says goes to console_log + ".qemu"."""
    root = "file=%s,format=raw,if=virtio" % os.path.join(image_folder, "rootfs.ext4")
    if not keep_changes:
        root += ",snapshot=on"
    command = [
        "qemu-system-x86_64", "-accel", "tcg", "-cpu", "max,-smap", "-smp", "1", "-m", "2048",
        "-display", "none", "-monitor", "none", "-no-reboot",
        "-kernel", os.path.join(image_folder, "vmlinuz"),
        "-initrd", os.path.join(image_folder, "initrd.img"),
        "-append", KERNEL_ARGUMENTS,
        "-drive", root,
        "-drive", "file=%s,format=raw,if=virtio,readonly=on" % payload,
        "-serial", "file:%s" % console_log,
        "-chardev", "socket,id=line,path=%s" % line_socket,
        "-serial", "chardev:line",
        "-device", "virtio-serial",
        "-chardev", "socket,id=control,path=%s" % control_socket,
        "-device", "virtconsole,chardev=control",
    ]
    with open(console_log + ".qemu", "wb") as said:
        return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=said, stderr=said)
