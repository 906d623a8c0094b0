#!/usr/bin/env bash
# pip install of the checkout with Debian's tools only (no package index):
# the build backend from python3-setuptools, no build isolation, into a
# temporary target folder, then `import plenta` from another directory.
# The CMake build folder given is used as it is configured, so that nothing
# is compiled twice; the target folder is removed at the end.
#
#   check_pip.sh SOURCE BUILD PYTHON VERSION
set -euo pipefail
source=$1 build=$2 python=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$source" && PLENTA_CMAKE_BUILD_DIR="$build" PIP_DISABLE_PIP_VERSION_CHECK=1 \
   "$python" -m pip install --no-build-isolation --no-index --no-deps --no-cache-dir \
   --target "$work/site" . >"$work/pip.log" 2>&1) || { cat "$work/pip.log" >&2; fail "pip install failed"; }
ls "$work/site"/plenta/_plenta*.so >/dev/null 2>&1 || fail "no extension module in the installed package"
ls -d "$work/site"/plenta-"$version".dist-info >/dev/null || fail "no plenta-$version.dist-info"
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && PYTHONPATH="$work/site" PYTHONDONTWRITEBYTECODE=1 "$python" - "$version" "$work/site" <<'PY'
import sys
import plenta
version, site = sys.argv[1:]
assert plenta.__version__ == version, plenta.__version__
assert plenta.__file__.startswith(site), plenta.__file__
model = plenta.Model(species=[("A", 50), ("B", 0)],
                     reactions=[{"type": "uni-uni", "substrates": ["A"], "products": ["B"],
                                 "rates": [1.0], "id": 0}],
                     monit=["A", "B"])
result = model.simulate(runs=4, time_end=3.0, interval=1.0, seed=7)
assert (result.counts.sum(axis=2) == 50).all()
print("imported plenta", plenta.__version__, "from", plenta.__file__)
PY
) || fail "the pip-installed package does not import or run"
