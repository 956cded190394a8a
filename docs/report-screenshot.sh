#!/usr/bin/env bash
# Makes docs/report.png: the HTML report of two small sample databases as
# headless Chromium shows it, for the README. Needs a build with
# vantrix-diff (scripts/test makes build/test) and Debian's chromium.
#   docs/report-screenshot.sh [path/to/vantrix-diff]
set -euo pipefail
cd "$(dirname "$0")/.."
binary=$(realpath "${1:-build/test/vantrix-diff}")
out=$PWD/docs/report.png
work=$(mktemp -d /tmp/vantrix-screenshot.XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sqlite3
import sys

schemas = {
    "shop-dev.sqlite": """
        CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT NOT NULL,
                                email VARCHAR(120), created DATETIME);
        CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL,
                             total NUMERIC(10,2), placed DATE);
        CREATE TABLE order_lines (order_id INTEGER, product_id INTEGER, qty INTEGER,
                                  price NUMERIC(10,2));
        CREATE TABLE products (id INTEGER PRIMARY KEY, sku CHAR(12), title TEXT,
                               price NUMERIC(10,2));
        CREATE TABLE coupons (code CHAR(8), percent INTEGER);
    """,
    "shop-live.sqlite": """
        CREATE TABLE Customers (id INTEGER PRIMARY KEY, name TEXT, email VARCHAR(120),
                                created DATE);
        CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL,
                             total NUMERIC(10,2), placed DATE);
        CREATE TABLE order_lines (order_id INTEGER, product_id INTEGER, qty REAL,
                                  price NUMERIC(10,2), discount NUMERIC(5,2));
        CREATE TABLE products (id INTEGER PRIMARY KEY, sku CHAR(12), title TEXT,
                               price NUMERIC(10,2));
        CREATE TABLE audit_log (id INTEGER, at DATETIME, what TEXT);
    """,
}
for name, sql in schemas.items():
    with sqlite3.connect(f"{sys.argv[1]}/{name}") as db:
        db.executescript(sql)
PY

status=0
(cd "$work" && SOURCE_DATE_EPOCH=1720000000 ASAN_OPTIONS=detect_leaks=0 \
  "$binary" --format html -o report.html shop-dev.sqlite shop-live.sqlite) || status=$?
if [ "$status" -ne 1 ]; then
  echo "vantrix-diff ended with $status, expected 1 (differences)" >&2
  exit 1
fi
chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$work/profile" \
  --window-size=1000,975 --screenshot="$out" "file://$work/report.html" 2>/dev/null
echo "wrote $out"
