#!/usr/bin/env bash
# Checks that the README's layout table names every folder of the repository: a folder is named
# when a row's first cell gives it or a folder inside it in backticks, or when its parent's row
# names it ("`win32/`"). Test suites, fuzz seeds, screenshots and resources are described by
# their parent's row.
set -euo pipefail
cd "$(dirname "$0")/.."

table=$(sed -n '/^## Layout/,/^## /p' README.md | grep '^| `')
missing=0
while read -r folder; do
    if grep -q "^| [^|]*\`${folder}[/\`]" <<<"${table}"; then
        continue
    fi
    parent=$(dirname "${folder}")
    if [[ ${parent} != . ]] && grep "^| [^|]*\`${parent}/\?\`" <<<"${table}" |
        grep -Eq "\`($(basename "${folder}")|${folder})/\`"; then
        continue
    fi
    echo "README.md: the layout table does not name ${folder}/"
    missing=1
done < <(git ls-files | awk -F/ 'NF > 1 { print $1 } NF > 2 { print $1 "/" $2 }' | sort -u |
    grep -Ev '^(tests/|fuzz/seeds|docs/screenshots|app/qt/resources)')
if ((missing)); then
    exit 1
fi
echo "the layout table names every folder"
