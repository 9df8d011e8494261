"""Debian's current kernel and busybox-static for a guest's architecture, fetched with
`apt-get download` and unpacked with `dpkg -x` into a cache, never installed.

apt runs with lists and a package cache of its own per architecture, in the cache folder,
so neither root nor the machine's own architectures are needed: the lists are fetched on the
first run, and again when they name a package the archive no longer has.

The cache keeps, per package version, the kernel image, its device trees and the modules
the guest loads (with the modules they depend on), so a rerun fetches nothing. An x86-64
kernel is also kept uncompressed: qemu boots that one straight at its PVH entry, which
spares the guest the decompressor, several seconds under TCG.
"""
import lzma
import os
import re
import shutil
import subprocess
import tempfile


class KernelUnavailable(Exception):
    pass


def _apt(cache_root, architecture, *command, cwd=None):
    state = os.path.join(cache_root, "apt-" + architecture)
    for folder in ("lists/partial", "cache/archives/partial"):
        os.makedirs(os.path.join(state, folder), exist_ok=True)
    options = ["-o", "APT::Architecture=" + architecture,
               "-o", "APT::Architectures::=" + architecture,
               "-o", "Dir::State::Lists=" + os.path.join(state, "lists"),
               "-o", "Dir::Cache=" + os.path.join(state, "cache"),
               "-o", "Dir::State::status=/dev/null"]
    return subprocess.run([command[0]] + options + list(command[1:]), cwd=cwd,
                          capture_output=True, text=True, check=False)


def _resolve(cache_root, architecture, meta_package):
    """(package, version): the package that `meta_package` depends on (or itself, where it
    depends on no linux-image), and its version."""
    package = meta_package
    depends = _apt(cache_root, architecture, "apt-cache", "depends", meta_package).stdout
    match = re.search(r"Depends:\s*(linux-image-\S+)", depends)
    if match:
        package = match.group(1)
    show = _apt(cache_root, architecture, "apt-cache", "show", "--no-all-versions",
                package).stdout
    version = re.search(r"^Version:\s*(\S+)", show, re.M)
    return (package, version.group(1)) if version else None


def _module_dependencies(data):
    """The names in the module's `depends=` field."""
    match = re.search(rb"\x00depends=([^\x00]*)\x00", data)
    return match.group(1).decode().split(",") if match and match.group(1) else []


def _read_module(path):
    with open(path, "rb") as module:
        data = module.read()
    return lzma.decompress(data) if path.endswith(".xz") else data


def _index_modules(root):
    """Module name (with _ for -) -> path of its .ko or .ko.xz under `root`."""
    index = {}
    for directory, _, files in os.walk(root):
        for name in files:
            for suffix in (".ko", ".ko.xz"):
                if name.endswith(suffix):
                    index[name[: -len(suffix)].replace("-", "_")] = os.path.join(directory, name)
    return index


def _load_order(wanted, index):
    """`wanted` with what each depends on, every module after its dependencies."""
    order = []

    def visit(name):
        name = name.replace("-", "_")
        if name in order:
            return
        if name not in index:
            raise KernelUnavailable("module %s not in the kernel package" % name)
        for dependency in _module_dependencies(_read_module(index[name])):
            visit(dependency)
        order.append(name)

    for name in wanted:
        visit(name)
    return order


def _prepared(cache_root, architecture, meta_package, stamp, unpack):
    """The cache folder of the package `meta_package` names, filled by `unpack(root,
    package, target)` from the package's files when the folder lacks `stamp`."""
    resolved = _resolve(cache_root, architecture, meta_package)
    for attempt in ("cached lists", "fresh lists"):
        if attempt == "fresh lists" or resolved is None:
            _apt(cache_root, architecture, "apt-get", "update", "-qq")
            resolved = _resolve(cache_root, architecture, meta_package)
            if resolved is None:
                raise KernelUnavailable("apt knows no package %s for %s"
                                        % (meta_package, architecture))
        target = os.path.join(cache_root, "%s_%s_%s" % (resolved + (architecture,)))
        stamp_path = os.path.join(target, "ready")
        if os.path.exists(stamp_path) and open(stamp_path).read() == stamp:
            return target, resolved[1]
        try:
            _fetch_and_unpack(cache_root, architecture, resolved, target, unpack)
        except KernelUnavailable:
            if attempt == "fresh lists":
                raise
            continue
        with open(stamp_path, "w") as ready:
            ready.write(stamp)
        return target, resolved[1]


def _fetch_and_unpack(cache_root, architecture, resolved, target, unpack):
    os.makedirs(cache_root, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=cache_root) as work:
        # apt-get download writes into the current directory.
        fetched = _apt(cache_root, architecture, "apt-get", "download", "-qq",
                       "%s=%s" % resolved, cwd=work)
        debs = [name for name in os.listdir(work) if name.endswith(".deb")]
        if fetched.returncode != 0 or not debs:
            raise KernelUnavailable("apt-get download %s failed: %s"
                                    % (resolved[0], fetched.stderr.strip()))
        root = os.path.join(work, "root")
        subprocess.run(["dpkg", "-x", os.path.join(work, debs[0]), root], check=True)
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        unpack(root, resolved[0], target)


def prepare_busybox(cache_root, architecture):
    """The path of busybox-static's program for `architecture`, fetched when missing."""
    def unpack(root, _, target):
        shutil.copy(os.path.join(root, "bin", "busybox"), target)

    target, _ = _prepared(cache_root, architecture, "busybox-static", "busybox\n", unpack)
    return os.path.join(target, "busybox")


def prepare_kernel(cache_root, guest):
    """Fetches and unpacks the guest's kernel when the cache lacks it. Returns a dict:
    version (of the package), kernel (path of the image to boot), dtb (path of the device
    tree, or None), modules (paths of uncompressed .ko files in load order)."""
    modules = list(guest.modules)

    def unpack(root, package, target):
        release = package[len("linux-image-"):]
        index = _index_modules(os.path.join(root, "lib", "modules", release))
        order = _load_order(modules, index)
        os.makedirs(os.path.join(target, "modules"))
        shutil.copy(os.path.join(root, "boot", "vmlinuz-" + release),
                    os.path.join(target, "vmlinuz"))
        trees = os.path.join(root, "usr", "lib", "linux-image-" + release)
        if os.path.isdir(trees):
            shutil.copytree(trees, os.path.join(target, "dtbs"))
        for name in order:
            with open(os.path.join(target, "modules", name + ".ko"), "wb") as copy:
                copy.write(_read_module(index[name]))
        with open(os.path.join(target, "modules.order"), "w") as listing:
            listing.write("\n".join(order) + "\n")

    target, version = _prepared(cache_root, guest.architecture, guest.kernel_package,
                                "modules %s\n" % " ".join(modules), unpack)
    with open(os.path.join(target, "modules.order")) as order:
        names = order.read().split()
    return {
        "version": version,
        "kernel": (guest.architecture == "amd64" and _uncompressed(target)
                   or os.path.join(target, "vmlinuz")),
        "dtb": os.path.join(target, "dtbs", guest.dtb) if guest.dtb else None,
        "modules": [os.path.join(target, "modules", name + ".ko") for name in names],
    }


def _uncompressed(target):
    """The path of the kernel as an ELF file, made from vmlinuz (an xz-compressed x86
    kernel) the first time; None where vmlinuz holds no such kernel."""
    path = os.path.join(target, "vmlinux")
    if os.path.exists(path):
        return path
    with open(os.path.join(target, "vmlinuz"), "rb") as compressed:
        image = compressed.read()
    start = image.find(b"\xfd7zXZ\x00")
    if start == -1:
        return None
    try:
        kernel = lzma.LZMADecompressor().decompress(image[start:])
    except lzma.LZMAError:
        return None
    if not kernel.startswith(b"\x7fELF"):
        return None
    with open(path + ".part", "wb") as elf:
        elf.write(kernel)
    os.replace(path + ".part", path)
    return path
