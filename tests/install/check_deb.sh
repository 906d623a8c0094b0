#!/usr/bin/env bash
# Builds the Debian package from the build folder (into a temporary folder)
# and checks it: its name and version, its declared dependencies, and that
# it holds the programs, the Octave folder, the Python package, the random
# library and the manual page under /usr.  Prints the package's contents.
#
#   check_deb.sh BUILD VERSION WITH_PYTHON WITH_OCTAVE WITH_SBML WITH_MPI
# WITH_*: 1 when that part was built (and must then be in the package).
set -euo pipefail
build=$1 version=$2 with_python=$3 with_octave=$4 with_sbml=$5 with_mpi=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
deb="$work/plenta_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work" >&2; fail "no $(basename "$deb")"; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
echo "== $(basename "$deb"): $(grep -vc '/$' "$work/contents") files"
dpkg-deb -f "$deb" Package Version Depends Recommends
echo "== contents"
grep -v '/$' "$work/contents"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
has() { grep -qx -- "$1" "$work/contents" || grep -qE -- "^$1\$" "$work/contents" || fail "$1 is not in the package"; }
has /usr/bin/plenta
has /usr/bin/plenta-stats
has /usr/include/plenta/ranlib.h
has '/usr/lib/(x86_64-linux-gnu/)?libplenta_random.a'
has /usr/share/man/man1/plenta.1
has /usr/share/doc/plenta/README.md
has /usr/share/octave/site/m/plenta/plenta_read_summary.m
depends=$(dpkg-deb -f "$deb" Depends)
need() { case ", $depends," in *", $1"*) ;; *) fail "Depends does not name $1: $depends" ;; esac; }
need libc6
need libstdc++6
if [ "$with_sbml" = 1 ]; then has /usr/bin/sbml2plenta; need libsbml; fi
if [ "$with_mpi" = 1 ]; then has /usr/bin/plenta-mpi; need libopenmpi; fi
if [ "$with_octave" = 1 ]; then
  has /usr/share/octave/site/m/plenta/tamrin.mex
  has /usr/share/octave/site/m/plenta/tamrin.m
  need octave   # the package that holds the libraries the MEX module loads
fi
if [ "$with_python" = 1 ]; then
  has '/usr/lib/python3[.0-9]*/dist-packages/plenta/__init__.py'
  has '/usr/lib/python3[.0-9]*/dist-packages/plenta/_version.py'
  has '/usr/lib/python3[.0-9]*/dist-packages/plenta/_plenta\..*\.so'
  need python3-numpy
fi
echo "== ok"
