#!/usr/bin/env bash
# Makes the virtual environment of the Python host package: the distribution's Python with its
# packages (pyserial from python3-serial), and the package's source folder on the path.
#   tools/setup/python-venv.sh VENV PACKAGE_SOURCE
set -euo pipefail
venv=$1
src=$(cd "$2" && pwd)
[ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages --without-pip "$venv"
site=$("$venv/bin/python" -c 'import site; print(site.getsitepackages()[0])')
echo "$src" > "$site/zefo5.pth"
"$venv/bin/python" -c 'import serial, zefo5'
