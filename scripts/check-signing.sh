#!/usr/bin/env bash
# Signing with a certificate made for the check (a throw-away CA and a code-signing certificate
# it issued): the release build BUILD is configured to sign, the programs, the installer and the
# uninstaller inside it must then carry valid SHA-256 signatures, and so must every program that
# the installer installs under Wine, Uninstall.exe included. BUILD is then
# configured back to unsigned; with the signatures removed its programs are the unsigned ones.
# check-signing.sh BUILD   (a mingw-release or mingw32-release build whose installer was made)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
keys=$(mktemp -d)
unsign() { cmake "${build}" -DKNOT_SIGN_PKCS12= -DKNOT_SIGN_PASSWORD_FILE= >/dev/null; }
trap 'unsign; rm -rf "${keys}"' EXIT
(
    cd "${keys}"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -subj "/CN=KNOT throw-away CA" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
        -subj "/CN=KNOT throw-away signer" 2>/dev/null
    printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
    openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile signer.ext -out signer.pem 2>/dev/null
    head -c 24 /dev/urandom | base64 >password
    openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
        -passout file:password -out signer.p12
)
# The unsigned programs, to compare with; only they are built.
unsign
mapfile -t programs <"${build}/shipped-programs.txt"
targets=("${programs[@]##*/}")
targets=("${targets[@]%.exe}")
cmake --build "${build}" -j "$(nproc)" --target "${targets[@]}" >/dev/null
unsigned="${keys}/unsigned"
mkdir "${unsigned}"
cp "${programs[@]}" "${unsigned}"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
package() {
    cmake --build "${build}" -j "$(nproc)" --target "${targets[@]}" >/dev/null
    (cd "${build}" && cpack -G NSIS >/dev/null)
}
cmake "${build}" -DKNOT_SIGN_PKCS12="${keys}/signer.p12" \
    -DKNOT_SIGN_PASSWORD_FILE="${keys}/password" >/dev/null
package
installer=$(ls "${build}"/release/*-setup.exe)
for file in "${programs[@]}" "${installer}"; do
    if osslsigncode verify -CAfile "${keys}/ca.pem" -in "${file}" >"${keys}/verify.out" 2>&1; then
        echo "signed: $(basename "${file}") ($(grep -m1 'Message digest algorithm' "${keys}/verify.out" | tr -s ' '))"
    else
        fail "no valid signature on ${file}"
    fi
    grep -q 'Message digest algorithm *: SHA256' "${keys}/verify.out" || fail "$(basename "${file}"): not SHA-256"
done
for file in "${programs[@]}"; do
    rm -f "${keys}/stripped.exe"
    osslsigncode remove-signature -in "${file}" -out "${keys}/stripped.exe" >/dev/null
    cmp -s "${keys}/stripped.exe" "${unsigned}/$(basename "${file}")" ||
        fail "$(basename "${file}"): without its signature not the unsigned program"
done
# What the signed installer installs, in a Wine prefix of its own: every program is signed, the
# uninstaller that makensis wrote into it too. An x86 installer runs only where Wine's 32-bit
# loader is installed.
installs=1
if [[ ! -x /usr/lib/wine/wine && $(x86_64-w64-mingw32-objdump -f "${installer}") == *pei-i386* ]]; then
    installs=0
    echo "NOT TESTED: what the signed installer installs (Wine's 32-bit loader, wine32, is missing)"
else
    export WINEPREFIX="${keys}/prefix" WINEDEBUG=-all
    /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1
    /usr/lib/wine/wine64 "${installer}" /S </dev/null >/dev/null 2>&1 || true # Wine's icacls may refuse
    timeout 60 /usr/lib/wine/wineserver -w || true
    installed=("${WINEPREFIX}"/drive_c/Program\ Files*/Korvane/*/*.exe)
    [[ " ${installed[*]##*/} " == *" Uninstall.exe "* ]] || fail "nothing installed: ${installed[*]}"
    for exe in "${installed[@]}"; do
        if osslsigncode verify -CAfile "${keys}/ca.pem" -in "${exe}" >"${keys}/verify.out" 2>&1; then
            echo "installed and signed: ${exe##*/}"
        else
            fail "installed without a valid signature: ${exe}"
        fi
    done
    /usr/lib/wine/wineserver -k 2>/dev/null || true
fi

# Back to unsigned: the same programs as before.
unsign
package
for file in "${programs[@]}"; do
    cmp -s "${file}" "${unsigned}/$(basename "${file}")" || fail "$(basename "${file}") after unsigning"
done
if ((failures == 0 && installs)); then
    echo "signing: every program, the installer and the uninstaller signed"
elif ((failures == 0)); then
    echo "signing: every program and the installer signed (the uninstaller not tested)"
fi
exit $((failures != 0))
