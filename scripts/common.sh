# shellcheck shell=sh
# Shared by the two README commands (sourced, not run): the Debian packages the project needs
# and the configured build folder.

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# The build folder; ORTOVA_BUILD_DIR names another.
BUILD="${ORTOVA_BUILD_DIR:-$ROOT/build}"
# Parallel jobs for the compiler; the default suits a small machine.
export JOBS="${ORTOVA_JOBS:-2}"

PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-5compat-dev qt6-serialport-dev libcurl4-openssl-dev
libbenchmark-dev clang-format python3-pyftpdlib curl xvfb xauth x11-utils imagemagick fonts-dejavu-core mawk dpkg-dev libcsv-dev file
libxlsxwriter-dev zlib1g-dev python3-openpyxl pkg-config"
# FTPS: the server's key is made with OpenSSL; the office server of the client's tests is pyftpdlib over TLS, its key made by the openssl command.
PACKAGES="$PACKAGES libssl-dev openssl python3-openssl"
# The office's FTP clients the server is tried with.
PACKAGES="$PACKAGES lftp wget ncftp tnftp inetutils-ftp busybox python3-ftputil"

# Installs, with one apt-get update, whatever of PACKAGES is not installed yet.
ensure_packages() {
    missing=""
    for package in $PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $package"
        fi
    done
    if [ -z "$missing" ]; then
        return 0
    fi
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        sudo=""
    else
        sudo="sudo"
    fi
    $sudo apt-get update
    # shellcheck disable=SC2086 # one word per package
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
}

# configure [cmake options...]: the build folder, configured with Ninja.
configure() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja "$@"
}
