#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses what was installed
# from elsewhere: every program's --version, a run of the installed plenta
# on an example in a copied folder, plenta-stats on it, the Octave folder
# (tamrin and the readers after one addpath), the Python package from
# another directory, and a C program linked against the random library and
# its header.  The prefix is removed at the end.
#
#   check_install.sh BUILD SOURCE VERSION PYTHON OCTAVE_CLI
# PYTHON / OCTAVE_CLI: the interpreters to try, or "" when that part was not
# built.  The programs that need libSBML or MPI are checked when installed.
set -euo pipefail
build=$1 source=$2 version=$3 python=$4 octave=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# Every file a user is told about.
for f in bin/plenta bin/plenta-stats include/plenta/ranlib.h share/man/man1/plenta.1 \
         share/doc/plenta/README.md share/doc/plenta/examples/gene-expression/model.txt \
         share/octave/site/m/plenta/plenta_read_summary.m share/octave/site/m/plenta/plenta_plot.m; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
grep -q "plenta $version" "$prefix/share/man/man1/plenta.1" || fail "the manual page names no version"
lib=$(find "$prefix" -name libplenta_random.a | head -1)
[ -n "$lib" ] || fail "libplenta_random.a not installed"

# One version everywhere: each program prints its name and the version.
for tool in plenta plenta-stats sbml2plenta net2plenta plenta-mpi; do
  exe="$prefix/bin/$tool"
  if [ "$tool" = plenta ] || [ "$tool" = plenta-stats ] || [ -f "$build/tools/$tool/$tool" ]; then
    [ -x "$exe" ] || fail "$tool was built but is not installed"
    got=$(OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "$exe" --version)
    [ "$got" = "$tool $version" ] || fail "$tool --version printed '$got', not '$tool $version'"
  fi
done

# The installed program on a copied example whose data directory is ./
run="$work/run"
mkdir -p "$run"
cp "$prefix/share/doc/plenta/examples/gene-expression/model.txt" "$run/"
printf './\nmodel.txt\n' >"$run/constants.txt"
(cd "$run" && "$prefix/bin/plenta") || fail "installed plenta failed on the gene-expression example"
[ "$(grep -c '^set 1 run' "$run/summary.txt")" -eq 3 ] || fail "summary.txt does not list 3 runs"
"$prefix/bin/plenta-stats" --no-progress "$run" >/dev/null || fail "installed plenta-stats failed"
[ "$(wc -l <"$run/summary_set1_stats.csv")" -eq 102 ] || fail "the stats table has not 101 rows and a header"

# The random library from its installed header and archive.
cat >"$work/draw.c" <<'C'
#include <stdio.h>
#include "ranlib.h"
int main(void) {
    setall(12345, 54321);
    int32_t k = ignbin(100, 0.3f);
    float x = genbet(2.0f, 5.0f);
    printf("%d %.6f\n", (int)k, x);
    return k >= 0 && k <= 100 && x > 0.0f && x < 1.0f ? 0 : 1;
}
C
cc -I"$prefix/include/plenta" "$work/draw.c" "$lib" -lstdc++ -lm -o "$work/draw" || fail "cannot link against the installed random library"
"$work/draw" >/dev/null || fail "the installed random library drew out of range"

if [ -n "$python" ]; then
  pydir=$(dirname "$(find "$prefix" -path '*/plenta/__init__.py' | head -1)")
  [ -d "$pydir" ] || fail "Python package not installed"
  ls "$pydir"/_plenta*.so >/dev/null 2>&1 || fail "extension module not installed next to the package"
  (cd "$work" && PYTHONPATH="$(dirname "$pydir")" PYTHONDONTWRITEBYTECODE=1 "$python" - "$version" "$prefix" "$run" <<'PY'
import sys
import plenta
version, prefix, run = sys.argv[1:]
assert plenta.__version__ == version, plenta.__version__
assert plenta.__file__.startswith(prefix), plenta.__file__
result = plenta.read_model(run).simulate(runs=3)
assert result.counts.shape == (3, 101, 2), result.counts.shape
PY
  ) || fail "the installed Python package does not import or run"
fi

if [ -n "$octave" ]; then
  [ -f "$prefix/share/octave/site/m/plenta/tamrin.mex" ] || fail "tamrin.mex not installed"
  (cd "$work" && "$octave" --no-gui --norc --no-history --eval "
    addpath('$prefix/share/octave/site/m/plenta');
    [runs, sets, totals] = plenta_read_summary('$run/summary.txt');
    assert(isequal(runs(:).', 1:3) && all(sets == 1) && isequal(size(totals), [3 4]));
    h = evalc('help tamrin');
    assert(~isempty(strfind(h, 'plenta $version')), 'help tamrin names no version');
    rxns = {struct('type', 'uni-uni', 'substrates', 0, 'products', 1, 'StoP', 1.0)};
    par = struct('start_time', 0, 'timestep', 5, 'volume', 1, 'stoch_algor', 2, ...
                 'randseed', 123, 'snapshot_interval', 1, 'evlog_flag', 0, ...
                 'eventlog_arraysize', 1, 'update', 2);
    [dx, ai, t, n, et, er, mon, fir] = tamrin(rxns, [], [100; 0], par, [0 1]);
    par.update = 0;
    rxns{1}.ai = ai(1);
    rxns{1}.time = t(1);
    [dx, ai, t, n, et, er, mon, fir] = tamrin(rxns, [], [100; 0], par, [0 1]);
    assert(dx(1) < 0 && dx(2) == -dx(1) && n(1) == dx(2));
  " >"$work/octave.log" 2>&1) || { cat "$work/octave.log" >&2; fail "Octave cannot use the installed folder"; }
fi
echo "installed and used: $(cd "$prefix" && find . -type f | wc -l) files under the prefix"
