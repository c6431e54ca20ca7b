# Debian packages the project builds, tests and demonstrates with. Sourced by the scripts.
TQ4800_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    libusb-1.0-0-dev
    libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format
    fonts-liberation fonts-sawarabi-gothic
    xvfb xauth openbox x11-utils xdotool imagemagick
    dpkg-dev file
    lintian man-db bash-completion
    nlohmann-json3-dev
    libsqlite3-dev libssl-dev libsystemd-dev dbus-daemon
    # tests only: the window under weston and mutter, natively on Wayland and through XWayland
    weston qt6-wayland xwayland mutter dbus-x11
)

# Installs whatever of the list is missing: apt-get as root, through sudo otherwise.
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
