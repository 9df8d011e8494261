#!/usr/bin/env python3
"""Builds the Debian 12 guest image for the Windows suite, once per set of inputs.

The image (an ext4 root with wine, wine32, wine64, tmux and a kernel, plus a 32-bit wine
prefix made on its first boot) is kept in a cache outside the work tree, in a folder named
by the hash of the files that define it, so that a later run or CI on the same machine
takes it as it is. Only Debian packages go in, fetched from the mirror this machine's apt
is set up with.

usage: build_vm_image.py            prints the image folder, building it when missing
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import unix_listener
import vm_machine

HERE = os.path.dirname(os.path.abspath(__file__))
INPUTS = ("build_vm_image.py", "image_packages.txt", "guest_init.sh", "guest_make_prefix.sh")
SUITES = ("bookworm", "bookworm-updates")
PREFIX_TIMEOUT = 900


def log(text):
    print("vm-windows image: " + text, file=sys.stderr, flush=True)


def input_hash():
    digest = hashlib.sha256()
    for name in INPUTS:
        with open(os.path.join(HERE, name), "rb") as f:
            digest.update(name.encode() + b"\0" + f.read() + b"\0")
    return digest.hexdigest()[:16]


def cache_root():
    chosen = os.environ.get("VORNSET_VM_CACHE")
    if chosen:
        return chosen
    system = "/var/cache/vornset/vm-windows"
    try:
        os.makedirs(system, exist_ok=True)
        if os.access(system, os.W_OK):
            return system
    except OSError:
        pass
    base = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    return os.path.join(base, "vornset", "vm-windows")


def image_folder():
    return os.path.join(cache_root(), input_hash())


def debian_mirror():
    """The mirror that serves bookworm to this machine's apt, read from its sources."""
    try:
        with open("/etc/apt/sources.list.d/debian.sources") as f:
            stanzas = f.read().split("\n\n")
        for stanza in stanzas:
            fields = {}
            for line in stanza.splitlines():
                if ":" in line and not line.startswith("#"):
                    key, _, value = line.partition(":")
                    fields[key.strip()] = value.split()
            if "bookworm" in fields.get("Suites", []) and fields.get("URIs"):
                return fields["URIs"][0]
    except FileNotFoundError:
        pass
    with open("/etc/apt/sources.list") as f:
        for line in f:
            words = line.split()
            if len(words) >= 3 and words[0] == "deb" and words[2] == "bookworm":
                return words[1] if not words[1].startswith("[") else words[2]
    raise SystemExit("no bookworm mirror in this machine's apt sources")


def run(command, **options):
    subprocess.run(command, check=True, **options)


def in_root(root, script):
    run(["chroot", root, "/bin/sh", "-ec", script],
        env={"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "DEBIAN_FRONTEND": "noninteractive", "LC_ALL": "C"})


def make_root(root, mirror):
    with open(os.path.join(HERE, "image_packages.txt")) as f:
        packages = f.read().split()
    run(["debootstrap", "--variant=minbase", "--arch=amd64", "bookworm", root, mirror],
        stdout=subprocess.DEVNULL)
    sources = "".join("deb [arch=amd64,i386] %s %s main\n" % (mirror, suite) for suite in SUITES)
    with open(os.path.join(root, "etc/apt/sources.list"), "w") as f:
        f.write(sources)
    mounted = []
    try:
        for kind, where in (("proc", "proc"), ("sysfs", "sys")):
            run(["mount", "-t", kind, kind, os.path.join(root, where)])
            mounted.append(os.path.join(root, where))
        in_root(root, "dpkg --add-architecture i386; apt-get update -qq; "
                "apt-get install -y -qq --no-install-recommends %s >/dev/null" % " ".join(packages))
    finally:
        for where in reversed(mounted):
            subprocess.run(["umount", where], check=False)
    # The image keeps no registry address and no package lists: it only runs.
    in_root(root, "apt-get clean; rm -rf /var/lib/apt/lists/* /etc/apt/sources.list")
    init = os.path.join(root, "usr/local/sbin/vm-init")
    shutil.copy(os.path.join(HERE, "guest_init.sh"), init)
    os.chmod(init, 0o755)


def make_disk(root, image):
    used = int(subprocess.run(["du", "-sm", root], capture_output=True, text=True, check=True).stdout.split()[0])
    run(["mkfs.ext4", "-q", "-F", "-L", "vornset-guest", "-d", root, image, "%dM" % (used + used // 4 + 512)],
        stdout=subprocess.DEVNULL)


def make_prefix(folder, work):
    """Boots the new image once, keeping its changes, to make the wine prefix in it."""
    payload_folder = os.path.join(work, "payload")
    os.makedirs(payload_folder)
    shutil.copy(os.path.join(HERE, "guest_make_prefix.sh"), os.path.join(payload_folder, "agent.sh"))
    payload = os.path.join(work, "payload.img")
    vm_machine.make_payload_disk(payload_folder, payload)
    control = unix_listener.UnixListener(os.path.join(work, "control.sock"))
    line = unix_listener.UnixListener(os.path.join(work, "line.sock"))
    machine = vm_machine.start(folder, payload, control.path, line.path,
                               os.path.join(work, "console.log"), keep_changes=True)
    try:
        channel = control.accept(60)
        line.accept(60)
        channel.settimeout(PREFIX_TIMEOUT)
        said = b""
        while True:
            data = channel.recv(4096)
            if not data:
                break
            said += data
        machine.wait(60)
    finally:
        if machine.poll() is None:
            machine.kill()
        control.close()
        line.close()
    text = said.decode(errors="replace")
    log("first boot said:\n" + text)
    if "PREFIX-READY" not in text:
        raise SystemExit("the wine prefix was not made")


def build(folder):
    started = time.monotonic()
    os.makedirs(os.path.dirname(folder), exist_ok=True)
    work = tempfile.mkdtemp(prefix="build-", dir=os.path.dirname(folder))
    try:
        root = os.path.join(work, "root")
        log("debootstrap and packages into %s" % root)
        make_root(root, debian_mirror())
        boot = os.path.join(root, "boot")
        kernels = sorted(n for n in os.listdir(boot) if n.startswith("vmlinuz-"))
        version = kernels[-1][len("vmlinuz-"):]
        image = os.path.join(work, "image")
        os.makedirs(image)
        shutil.copy(os.path.join(boot, "vmlinuz-" + version), os.path.join(image, "vmlinuz"))
        shutil.copy(os.path.join(boot, "initrd.img-" + version), os.path.join(image, "initrd.img"))
        rooted = time.monotonic()
        log("root ready in %.0f s (kernel %s); making the ext4 image" % (rooted - started, version))
        make_disk(root, os.path.join(image, "rootfs.ext4"))
        shutil.rmtree(root)
        disked = time.monotonic()
        log("ext4 image in %.0f s; first boot makes the wine prefix" % (disked - rooted))
        make_prefix(image, work)
        log("prefix in %.0f s; image built in %.0f s in all" % (time.monotonic() - disked,
                                                                time.monotonic() - started))
        with open(os.path.join(image, "built"), "w") as f:
            f.write("built in %.0f s, kernel %s\n" % (time.monotonic() - started, version))
        try:
            os.rename(image, folder)
        except OSError:
            # Another run built the same image meanwhile: theirs is as good.
            if not os.path.exists(os.path.join(folder, "built")):
                raise
    finally:
        shutil.rmtree(work, ignore_errors=True)


def ensure_image():
    folder = image_folder()
    if not os.path.exists(os.path.join(folder, "built")):
        build(folder)
    return folder


if __name__ == "__main__":
    print(ensure_image())
