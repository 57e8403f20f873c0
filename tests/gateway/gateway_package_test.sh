#!/usr/bin/env bash
# The lumivex-gateway package as cpack makes it from this build: a server takes it without any
# display library, it holds the service, its unit and its default configuration, and the gateway
# accepts that configuration. Usage: gateway_package_test.sh CPACK BUILD_DIR WORK_DIR
set -euo pipefail
cpack=$1
build=$2
work=$3

rm -rf "$work"
mkdir -p "$work"
# Only the gateway. cpack builds what is out of date first: nothing after a whole build.
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" \
    -D CPACK_COMPONENTS_ALL=gateway >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
debs=("$work"/lumivex-gateway_*.deb)
deb=${debs[0]}
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Names of Qt's GUI parts and of the window systems' and graphics' libraries.
display=(libqt6gui libqt6widgets libqt6opengl libqt6xcbqpa libqt6waylandclient qt6-wayland qt6-qpa
    libx11 libxcb libxkb libxext libxrender libxi libice libsm libegl libgl1 libglx libgles
    libopengl libwayland libdrm libgbm libvulkan libfontconfig libfreetype)
display_pattern="^($(IFS='|' && echo "${display[*]}"))"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in $(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}'); do
    [[ $package =~ $display_pattern ]] && fail "a display package among its dependencies: $package"
done
for needed in libqt6core6 adduser; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "$needed missing from Depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = lumivex-gateway ] || fail "package name"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/lumivex-gateway ./usr/lib/systemd/system/lumivex-gateway.service \
    ./etc/Lumivex1.2/gateway.json ./etc/Lumivex1.2/signs.json; do
    grep -qx "$path" <<<"$contents" || fail "$path not in the package"
done
grep -Eq '/usr/bin/lumivex(-cli)?$' <<<"$contents" && fail "the desktop program in the package"
conffiles=$(dpkg-deb -I "$deb" conffiles)
for path in /etc/Lumivex1.2/gateway.json /etc/Lumivex1.2/signs.json; do
    grep -qx "$path" <<<"$conffiles" || fail "$path not a conffile"
done
for script in postinst prerm postrm; do
    text=$(dpkg-deb -I "$deb" "$script")
    grep -q "lumivex-gateway" <<<"$text" || fail "no $script for the service"
done

# What the service runs, as installed: the binary (needing no display library itself), the unit
# starting it with the default configuration, and that configuration taken as it stands.
root="$work/root"
dpkg-deb -x "$deb" "$root"
readelf -d "$root/usr/bin/lumivex-gateway" | grep -Eio 'NEEDED.*\[(libQt6(Gui|Widgets|OpenGL)|libX|libxcb|libEGL|libGL|libwayland)[^]]*' &&
    fail "lumivex-gateway links a display library"
unit="$root/usr/lib/systemd/system/lumivex-gateway.service"
grep -qx 'ExecStart=/usr/bin/lumivex-gateway --config /etc/Lumivex1.2/gateway.json' "$unit" ||
    fail "the unit does not start /usr/bin/lumivex-gateway on /etc/Lumivex1.2/gateway.json"
grep -qx 'User=lumivex-gateway' "$unit" || fail "the unit does not run as lumivex-gateway"
if ! summary=$(XDG_CONFIG_HOME="$work/xdg" "$root/usr/bin/lumivex-gateway" --check \
    --config "$root/etc/Lumivex1.2/gateway.json" 2>&1); then
    fail "the default configuration refused: $summary"
fi
echo "$summary"

[ "$failures" -eq 0 ] || exit 1
echo "lumivex-gateway package: $(stat -c %s "$deb") bytes, checked"
