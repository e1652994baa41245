#!/usr/bin/env python3
"""Checks every record the tests kept (one JSON line each, in FOLDER/*.jsonl) against SCHEMA."""
import json
import pathlib
import sys

import jsonschema


def main(schema_path, folder):
    schema = json.loads(pathlib.Path(schema_path).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    checked = 0
    faults = 0
    for path in sorted(pathlib.Path(folder).glob("*.jsonl")):
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            checked += 1
            for error in validator.iter_errors(json.loads(line)):
                faults += 1
                where = "/".join(str(part) for part in error.absolute_path) or "(the record)"
                print(f"{path.name}:{number}: {where}: {error.message}")
    if checked == 0:
        print(f"no record in {folder}: run the tests that write records with this check")
        return 1
    print(f"{checked} records checked against {schema_path}: {faults} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
