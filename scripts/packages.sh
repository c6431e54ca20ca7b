# Debian packages the project needs. Sourced by the scripts.

# Building and running the programs: the window, the terminal tools, the simulated
# instrument and the usb backend. scripts/demo installs only these.
TQ4800_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libusb-1.0-0-dev
    fonts-liberation fonts-sawarabi-gothic
    nlohmann-json3-dev
    libsqlite3-dev libssl-dev libsystemd-dev
)

# What only the tests, the fuzzers, the pictures and the package checks need; scripts/test
# adds these. New test-only packages go here.
TQ4800_TEST_PACKAGES=(
    libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth openbox x11-utils xdotool imagemagick tmux
    dpkg-dev file
    lintian man-db bash-completion
    dbus-daemon
    qemu-system-x86 busybox-static kmod usbutils xz-utils
    bindfs sqlite3
    weston qt6-wayland xwayland mutter dbus-x11
)

# Installs whatever is missing of TQ4800_PACKAGES and of the packages given (for example
# "${TQ4800_TEST_PACKAGES[@]}"): apt-get as root, through sudo otherwise.
tq4800_install_packages() {
    local missing=()
    local package
    for package in "${TQ4800_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}
