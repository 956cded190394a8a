"""Validates a JSON document (standard input) against a JSON Schema (the
first argument) with python3-jsonschema; prints each error and exits 1 when
there is any, 2 when the schema itself is not valid."""
import json
import sys

from jsonschema import Draft202012Validator
from jsonschema.exceptions import SchemaError

with open(sys.argv[1], encoding="utf-8") as f:
    schema = json.load(f)
try:
    Draft202012Validator.check_schema(schema)
except SchemaError as error:
    print(f"the schema is not valid: {error.message}")
    sys.exit(2)
document = json.load(sys.stdin)
errors = sorted(Draft202012Validator(schema).iter_errors(document), key=lambda e: list(e.path))
for error in errors:
    print(f"{'/'.join(str(p) for p in error.absolute_path)}: {error.message}")
sys.exit(1 if errors else 0)
