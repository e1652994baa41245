#!/usr/bin/env bash
# Two builds of one commit in two fresh folders, at two times, give byte-identical programs,
# installer and SHA256SUMS: builds the x86 release again in a folder of another path and compares
# its release folder with that of FIRST_BUILD (a mingw32-release build whose installer was made).
# check-reproducible.sh FIRST_BUILD
set -euo pipefail
cd "$(dirname "$0")/.."
first=$1
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
second=$(mktemp -d "${PWD}/build/reproduce-x86-again.XXXXXX")
trap 'rm -rf "${second}"' EXIT
# Only what is shipped: the programs and the installer, without the installer's test.
cmake --preset mingw32-release -B "${second}" -DKNOT_TEST_INSTALLER=OFF >/dev/null 2>&1
cmake --build "${second}" -j "$(nproc)" --target KNOT-Q_FDT KNOT-P_FDT KNOT-Station knot-fdt >/dev/null
(cd "${second}" && cpack -G NSIS >/dev/null)
failures=0
for file in "${first}"/release/*; do
    name=$(basename "${file}")
    if cmp -s "${file}" "${second}/release/${name}"; then
        echo "identical: ${name}"
    else
        echo "FAIL: ${name} differs between ${first} and ${second}"
        failures=$((failures + 1))
    fi
done
[[ -f ${first}/release/SHA256SUMS ]] || { echo "FAIL: no release folder in ${first}"; exit 1; }
((failures == 0)) && echo "reproducible: both builds are byte-identical"
exit $((failures != 0))
