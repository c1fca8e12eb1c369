#!/usr/bin/env bash
# Checks the Debian package: builds it (reusing the release build), runs
# lintian on it (no errors allowed), validates its desktop entry and
# AppStream metadata, unpacks it into a temporary root
# and runs both programs from there. Output of the validators and the runs
# goes to standard output; exit 1 on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh | tail -1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
step() { echo "\$ $*"; "$@" || { echo "FAILED: $*"; status=1; }; }

echo "package: $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\):/\1:/p'
dpkg-deb -x "$deb" "$root"
for f in usr/bin/vraxctl usr/bin/vrax-data-controller \
         usr/share/applications/vrax-data-controller.desktop \
         usr/share/icons/hicolor/scalable/apps/vrax-data-controller.svg \
         usr/share/metainfo/org.example.VraxDataController.metainfo.xml \
         usr/share/man/man1/vraxctl.1.gz usr/share/man/man1/vrax-data-controller.1.gz \
         usr/share/doc/vrax-data-controller/copyright \
         usr/share/doc/vrax-data-controller/changelog.gz \
         usr/share/bash-completion/completions/vraxctl; do
  [ -e "$root/$f" ] || { echo "FAILED: the package lacks /$f"; status=1; }
done
# Errors fail the check; warnings and notes are shown.
step lintian --fail-on error --tag-display-limit 0 "$deb"
step desktop-file-validate "$root/usr/share/applications/vrax-data-controller.desktop"
step appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.VraxDataController.metainfo.xml"
step "$root/usr/bin/vraxctl" --version
step env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vrax-data-controller" --version
step "$root/usr/bin/vraxctl" list --demo
exit $status
