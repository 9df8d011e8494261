"""Debian's current kernel for the guest: the image that linux-image-amd64 depends on now,
fetched with `apt-get download` and unpacked with `dpkg -x` into a cache, never installed.

The cache keeps, per package version, the kernel image and the modules the guest loads
(with the modules they depend on), so a rerun fetches nothing. It also keeps the kernel
uncompressed: qemu boots that one straight at its PVH entry, which spares the guest the
decompressor, several seconds under TCG.
"""
import lzma
import os
import re
import shutil
import subprocess
import tempfile

META_PACKAGE = "linux-image-amd64"


class KernelUnavailable(Exception):
    pass


def _apt_output(*args):
    return subprocess.run(list(args), capture_output=True, text=True, check=False).stdout


def _resolve(update_first):
    """(package, version) of the kernel image linux-image-amd64 depends on."""
    if update_first:
        subprocess.run(["apt-get", "update", "-qq"], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    depends = _apt_output("apt-cache", "depends", META_PACKAGE)
    match = re.search(r"Depends:\s*(linux-image-\S+)", depends)
    if not match:
        return None
    package = match.group(1)
    show = _apt_output("apt-cache", "show", "--no-all-versions", package)
    version = re.search(r"^Version:\s*(\S+)", show, re.M)
    return (package, version.group(1)) if version else None


def _module_dependencies(path):
    """The names in the module's `depends=` field."""
    with open(path, "rb") as module:
        data = module.read()
    if path.endswith(".xz"):
        data = lzma.decompress(data)
    match = re.search(rb"\x00depends=([^\x00]*)\x00", data)
    if not match or not match.group(1):
        return []
    return match.group(1).decode().split(",")


def _canonical(name):
    return name.replace("-", "_")


def _index_modules(root):
    """Module name (with _ for -) -> path of its .ko or .ko.xz under `root`."""
    index = {}
    for directory, _, files in os.walk(root):
        for name in files:
            for suffix in (".ko", ".ko.xz"):
                if name.endswith(suffix):
                    index[_canonical(name[: -len(suffix)])] = os.path.join(directory, name)
    return index


def _load_order(wanted, index):
    """`wanted` with what each depends on, every module after its dependencies."""
    order = []

    def visit(name, chain):
        name = _canonical(name)
        if name in order:
            return
        if name in chain:
            raise KernelUnavailable("module dependency loop at " + name)
        if name not in index:
            raise KernelUnavailable("module %s not in the kernel package" % name)
        for dependency in _module_dependencies(index[name]):
            visit(dependency, chain + [name])
        order.append(name)

    for name in wanted:
        visit(name, [])
    return order


def prepare_kernel(cache_root, modules):
    """Fetches and unpacks the kernel when the cache lacks it. Returns a dict: version (of
    the package), kernel (path of the image to boot), modules (paths of uncompressed .ko
    files in load order)."""
    # apt-get update only where apt's lists lack the kernel, or name one the archive no
    # longer has; it needs root.
    can_update = os.geteuid() == 0
    resolved = _resolve(update_first=False)
    if resolved is None and can_update:
        resolved = _resolve(update_first=True)
        can_update = False
    if resolved is None:
        raise KernelUnavailable("apt knows no package that %s depends on" % META_PACKAGE)
    target = _cached(cache_root, *resolved)
    if not _holds(target, modules):
        try:
            _fetch_and_unpack(*resolved, target, modules)
        except KernelUnavailable:
            if not can_update:
                raise
            resolved = _resolve(update_first=True)
            if resolved is None:
                raise
            target = _cached(cache_root, *resolved)
            _fetch_and_unpack(*resolved, target, modules)
        with open(os.path.join(target, "ready"), "w") as stamp:
            stamp.write("%s %s\n" % resolved)
    version = resolved[1]
    with open(os.path.join(target, "modules.order")) as order:
        names = order.read().split()
    return {
        "version": version,
        "kernel": _uncompressed(target) or os.path.join(target, "vmlinuz"),
        "modules": [os.path.join(target, "modules", name + ".ko") for name in names],
    }


def _uncompressed(target):
    """The path of the kernel as an ELF file, made from vmlinuz (an xz-compressed kernel)
    the first time; None where vmlinuz holds no such kernel."""
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


def _holds(target, modules):
    """Whether the cache is complete and has every module asked for: a cache made for a
    shorter list is made again."""
    if not os.path.exists(os.path.join(target, "ready")):
        return False
    with open(os.path.join(target, "modules.order")) as order:
        cached = set(order.read().split())
    return all(_canonical(name) in cached for name in modules)


def _cached(cache_root, package, version):
    return os.path.join(cache_root, "%s_%s" % (package, version))


def _fetch_and_unpack(package, version, target, modules):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with tempfile.TemporaryDirectory(dir=os.path.dirname(target)) as work:
        # apt-get download writes into the current directory.
        fetched = subprocess.run(["apt-get", "download", "-qq", "%s=%s" % (package, version)],
                                 cwd=work, capture_output=True, text=True, check=False)
        debs = [name for name in os.listdir(work) if name.endswith(".deb")]
        if fetched.returncode != 0 or not debs:
            raise KernelUnavailable("apt-get download %s failed: %s"
                                    % (package, fetched.stderr.strip()))
        unpacked = os.path.join(work, "root")
        subprocess.run(["dpkg", "-x", os.path.join(work, debs[0]), unpacked], check=True)
        release = package[len("linux-image-"):]
        index = _index_modules(os.path.join(unpacked, "lib", "modules", release))
        order = _load_order(modules, index)
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(os.path.join(target, "modules"))
        shutil.copy(os.path.join(unpacked, "boot", "vmlinuz-" + release),
                    os.path.join(target, "vmlinuz"))
        for name in order:
            source = index[name]
            with open(source, "rb") as module:
                data = module.read()
            if source.endswith(".xz"):
                data = lzma.decompress(data)
            with open(os.path.join(target, "modules", name + ".ko"), "wb") as copy:
                copy.write(data)
        with open(os.path.join(target, "modules.order"), "w") as listing:
            listing.write("\n".join(order) + "\n")
