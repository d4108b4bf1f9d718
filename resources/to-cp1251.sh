#!/usr/bin/env bash
# to-cp1251.sh IN OUT: the installation script travels as code page 1251 text with CR LF lines.
set -euo pipefail
iconv -f UTF-8 -t CP1251 "$1" | sed 's/$/\r/' > "$2.tmp"
mv "$2.tmp" "$2"
