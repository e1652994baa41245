#!/usr/bin/env bash
# Signs one Windows program in place with Authenticode, SHA-256 (osslsigncode).
# sign.sh PKCS12 PASSWORD_FILE FILE [TIMESTAMP_URL]
#   PKCS12         the certificate and its key;
#   PASSWORD_FILE  a file whose first line is the PKCS12's password (never given on a command line);
#   TIMESTAMP_URL  a time-stamping authority's address; none or "" for a signature without one.
# Used after each program is linked, and by makensis for the uninstaller and the installer.
set -euo pipefail
pkcs12=$1 password_file=$2 file=$3 timestamp_url=${4:-}
timestamp=()
[[ -z ${timestamp_url} ]] || timestamp=(-ts "${timestamp_url}")
signed="${file}.signed"
rm -f "${signed}"
osslsigncode sign -pkcs12 "${pkcs12}" -readpass "${password_file}" -h sha256 \
    -n "KNOT Flash Data Transfer Tool" "${timestamp[@]}" -in "${file}" -out "${signed}" >/dev/null
mv -f "${signed}" "${file}"
