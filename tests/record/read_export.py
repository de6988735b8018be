#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Blipcount developers
"""Reads an export of the record with Python's own csv or json module and prints it in one plain
form for the test to compare: the column names, then one line per period with the fields
separated by " | ", numbers as %.17g (so a number reads back exactly or not at all), the
coincidence as 0 or 1, the source as a JSON string. Fails on anything that is not a well-formed
export: a ragged CSV row, a JSON value of the wrong type, objects with other keys."""
import csv
import json
import sys

RATES = {"cpm", "mrhr", "usvh"}
WHOLE = {"seconds", "counts", "threshold", "timingticksperminute", "run"}


def plain(name, value, from_json):
    if name in RATES:
        if from_json:
            assert isinstance(value, (int, float)) and not isinstance(value, bool), (name, value)
        return "%.17g" % float(value)
    if name in WHOLE:
        if from_json:
            assert type(value) is int, (name, value)
        return str(int(value))
    if name == "coincidence":
        if from_json:
            assert type(value) is bool, (name, value)
            return "1" if value else "0"
        assert value in ("0", "1"), value
        return value
    assert isinstance(value, str), (name, value)
    return json.dumps(value, ensure_ascii=False) if name == "source" else value


def main():
    form, path = sys.argv[1], sys.argv[2]
    with open(path, newline="", encoding="utf-8") as text:
        if form == "csv":
            rows = list(csv.reader(text, strict=True))
            names, rows = rows[0], rows[1:]
            for row in rows:
                assert len(row) == len(names), row
            records = [dict(zip(names, row)) for row in rows]
        else:
            records = json.load(text)
            assert isinstance(records, list)
            names = list(records[0].keys()) if records else []
            for record in records:
                assert list(record.keys()) == names, record
    print(" | ".join(names))
    for record in records:
        print(" | ".join(plain(name, record[name], form == "json") for name in names))


main()
