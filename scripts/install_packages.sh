#!/usr/bin/env bash
# Installs the Debian packages the builds and test suites need, when any is missing.
#   scripts/install_packages.sh          everything scripts/test_all.sh needs
#   scripts/install_packages.sh --demo   only what building and running the program needs
set -euo pipefail

demo_packages=(cmake make g++ googletest)
packages=(
  "${demo_packages[@]}" python3 tmux
  clang llvm                                   # sanitizer and fuzzing builds
  libclang-rt-14-dev clang-tidy cppcheck       # libFuzzer; scripts/checks/10_static_analysis.sh
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64                                  # the launcher and its 64-bit loader; never wine32
  g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
  man-db groff-base                            # the manual page check (man --warnings)
  valgrind hyperfine strace time               # scripts/bench.sh
  lintian                                      # the .deb check (tests/package/)
  ser2net                                      # tests/e2e: the device server in front of a pseudo-terminal
  python3-serial                               # tests/e2e: a second RFC 2217 server (serial.rfc2217.PortManager)
  iproute2                                     # tests/e2e: tc drops a held server's packets in a private network
  qemu-system-x86 busybox-static file          # tests/vm: the guest on real serial drivers
  qemu-system-arm device-tree-compiler         # tests/vm: the ARM guests (qemu-system-aarch64 too)
  debootstrap e2fsprogs                        # tests/vm-windows: the guest image (qemu above)
)

[ "${1:-}" = "--demo" ] && packages=("${demo_packages[@]}")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
