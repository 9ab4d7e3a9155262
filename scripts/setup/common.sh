# Shared by the set-up scripts (sourced): package state, the package lists, and root.
export DEBIAN_FRONTEND=noninteractive

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" = "install ok installed" ]
}

can_be_root() { [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        return 1
    fi
}

# Fetches the package lists. A mirror caught syncing serves a list whose size does not match
# its index, and apt fails: that often passes within minutes, so it is tried again before giving
# up.
apt_update() {
    local try
    for try in 1 2 3; do
        as_root apt-get update -q && return 0
        [ "$try" -eq 3 ] || {
            echo "setup: the package lists could not be fetched (try $try of 3); again in 30 s"
            sleep 30
        }
    done
    return 1
}

# Refreshes the package lists when they are missing or older than a day.
apt_update_if_old() {
    if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -mtime -1 -print -quit 2>/dev/null)" ]; then
        # A list that could not be fetched fails the fetch, though the others came: what is to be
        # installed may not need it, so the install is tried and says itself what it misses.
        apt_update || echo "setup: going on with the package lists as they are"
    fi
}

# missing_packages PACKAGE...: those not installed, one a line.
missing_packages() {
    local package
    for package in "$@"; do
        installed "$package" || echo "$package"
    done
}

# apt_install PACKAGE...: installs those not yet installed.
apt_install() {
    local missing
    missing=$(missing_packages "$@")
    [ -n "$missing" ] || return 0
    echo "setup: installing" $missing
    can_be_root || { echo "setup: installing needs root (or sudo)" >&2; return 1; }
    apt_update_if_old
    # shellcheck disable=SC2086 # one package a word
    as_root apt-get install -y -q --no-install-recommends $missing
}
