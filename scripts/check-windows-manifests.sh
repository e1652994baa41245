#!/usr/bin/env bash
# Every shipped Windows program carries a manifest that runs it as the user who started it
# (asInvoker, which also turns file and registry virtualisation off, as a 32-bit program would
# otherwise get) and names Windows 7, 8, 8.1 and 10 (11 too) as the systems it was written for.
# The manifest is read back from the program's resources.
# check-windows-manifests.sh BUILD_DIR...   (a Windows release build: its shipped-programs.txt)
set -euo pipefail
windres=x86_64-w64-mingw32-windres # reads 32-bit and 64-bit programs alike
required=(
    '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
    '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' # Windows 7
    '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>' # Windows 8
    '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>' # Windows 8.1
    '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' # Windows 10 and 11
)
failures=0
# Prints the text of the program's manifest resource (RT_MANIFEST, type 24), nothing without one.
manifest_of() {
    "${windres}" -J coff -O rc -i "$1" | awk '
        / 24 \/\* RT_MANIFEST \*\/$/ { manifest = 1; next }
        manifest && /^END/ { exit }
        manifest && /^ *"/ { sub(/^ *"/, ""); sub(/(\\n)?"$/, ""); gsub(/""/, "\""); print }'
}
for build in "$@"; do
    mapfile -t programs <"${build}/shipped-programs.txt"
    for program in "${programs[@]}"; do
        manifest=$(manifest_of "${program}" 2>/dev/null || true) # none without resources
        if [[ -z ${manifest} ]]; then
            echo "FAIL: $(basename "${program}") of ${build} has no manifest"
            failures=$((failures + 1))
            continue
        fi
        missing=0
        for line in "${required[@]}"; do
            [[ ${manifest} == *"${line}"* ]] && continue
            echo "FAIL: $(basename "${program}") of ${build}: its manifest lacks ${line}"
            missing=1
        done
        failures=$((failures + missing))
        ((missing)) || echo "manifest: $(basename "${program}") of ${build}"
    done
done
((failures == 0)) || exit 1
echo "manifests: every program runs as its user, without virtualisation, on Windows 7 to 11"
