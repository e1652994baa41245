#!/usr/bin/env bash
# Makes the release manifests of the manifest tests as a release engineer would, with openssl:
# a P-256 key pair and its signature, an edited copy, a copy signed with another key, a P-384 key,
# and manifests that are not JSON or not of the manifest's shape.
# make_manifests.sh FOLDER
set -euo pipefail
out=$1
rm -rf "${out}"
mkdir -p "${out}"
cd "${out}"
# The images' digests the tests look up (sha256 of these texts).
p_image=$(printf 'knot-p image' | sha256sum | cut -c1-64)
q_image=$(printf 'knot-q image' | sha256sum | cut -c1-64)

openssl ecparam -name prime256v1 -genkey -noout -out release.key
openssl ec -in release.key -pubout -out release.pub 2>/dev/null
openssl ecparam -name prime256v1 -genkey -noout -out other.key
openssl ecparam -name secp384r1 -genkey -noout -out p384.key
openssl ec -in p384.key -pubout -out p384.pub 2>/dev/null

cat >manifest.json <<JSON
{"release": "line 7, week 49",
 "images": [
  {"model": "p", "sha256": "${p_image}", "name": "knot-p-app", "version": "2.4.1", "notes": "x"},
  {"model": "q", "sha256": "${q_image^^}", "name": "knot-q-app", "version": "1.9.0"}
 ]}
JSON
openssl dgst -sha256 -sign release.key -out manifest.json.sig manifest.json
sha256sum manifest.json | cut -c1-64 >manifest.json.sha256

sed 's/2.4.1/2.4.2/' manifest.json >edited.json
cp manifest.json.sig edited.json.sig
cp manifest.json foreign.json
openssl dgst -sha256 -sign other.key -out foreign.json.sig foreign.json
cp manifest.json unsigned.json
printf '{"images": [{"model": "p",' >broken.json
printf '{"images": [{"model": "p", "sha256": 12, "name": "a", "version": "1"}]}' >shape.json
# The manifest as one JSON line, for the check against docs/manifest.schema.json.
mkdir -p schema
python3 -c 'import json, sys; print(json.dumps(json.load(open(sys.argv[1]))))' manifest.json \
    >schema/manifest.jsonl
