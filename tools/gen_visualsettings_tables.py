#!/usr/bin/env python3
"""Writes the visualsettings editor's C++ tables from the data files of src/visualsettings/data.

Usage: tools/gen_visualsettings_tables.py DATA_DIR OUT_DIR

DATA_DIR holds (tab-separated, as the runtime's data files):
  params.tsv        the parameters, one a line, in walk order (array by array)
  runtime_keys.tsv  the runtime slider keys in lookup order
OUT_DIR receives visualsettings/param_table_data.cpp (the build runs this
script; nothing generated is kept in the repo).

Every rule below is checked before anything is written; the script stops with
the file, the line and what is wrong.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_runtime_tables as common  # noqa: E402

DataError = common.DataError
HEADER = common.header("gen_visualsettings_tables.py", "src/visualsettings/data")
ARRAYS = 55
ROWS = 1306
MAX_EXTRA_TARGETS = 8
RUNTIME_TABLES = (("pattern", 7), ("plain", 37), ("reference", 45))
RUNTIME_WINDOW = 10304  # bytes of the runtime table that a candidate base spans
FLAGS = ("preset", "recapture")
KEY = re.compile(r"[A-Za-z0-9_.]+$")
HEX = re.compile(r"0x[0-9A-F]+$")
TAGS = (1 << 63) | (1 << 61) | (1 << 60)


def target_cell(text, where, what):
    """A target: None where the game build decides ('?'), else the handle."""
    if text == "?":
        return None
    if text == "0":
        return 0
    if not HEX.match(text):
        raise DataError("%s: %s %r is no 0x-number (upper-case digits), 0 or ?" % (where, what, text))
    value = int(text, 16)
    if value >= 1 << 64:
        raise DataError("%s: %s %s is wider than 64 bits" % (where, what, text))
    if value & (1 << 62) and not value & ((1 << 63) | (1 << 61)):
        raise DataError("%s: %s %s subtracts from no block" % (where, what, text))
    if value & (1 << 60) and not 1 <= (value >> 48) & 0xFF <= 161:
        raise DataError("%s: %s %s names no data signature (1 to 161)" % (where, what, text))
    return value


def read_params(data_dir):
    name, rows = common.read_table(os.path.join(data_dir, "params.tsv"),
                                   ["array", "key", "default", "range", "kind", "unit", "target", "extras", "flags"])
    params, keys = [], {}
    for line, row in rows:
        where = "%s:%d" % (name, line)
        array = common.number(row["array"], where, int)
        last = params[-1]["array"] if params else 0
        if array not in (last, last + 1) or array < 1:
            raise DataError("%s: array %d where %d or %d comes next" % (where, array, last, last + 1))
        key = row["key"]
        if not KEY.match(key):
            raise DataError("%s: odd key %r" % (where, key))
        if key.lower() in keys:
            raise DataError("%s: key %s again, also when case is ignored (line %d)" % (where, key, keys[key.lower()]))
        keys[key.lower()] = line
        default = None if row["default"] == "-" else row["default"]
        if default is not None:
            common.number(default, where)
        lo = hi = "0"
        if row["range"] != "-":
            m = re.fullmatch(r"(-?[0-9.]+)\.\.(-?[0-9.]+)", row["range"])
            if not m:
                raise DataError("%s: range %r is not min..max" % (where, row["range"]))
            lo, hi = m.group(1), m.group(2)
            if common.number(lo, where) >= common.number(hi, where):
                raise DataError("%s: range %s with its minimum not below its maximum" % (where, row["range"]))
        kind = common.number(row["kind"], where, int)
        if not 0 <= kind <= 6:
            raise DataError("%s: kind %d is none of 0 to 6" % (where, kind))
        unit = common.number(row["unit"], where, int)
        if not 0 <= unit <= 2:
            raise DataError("%s: unit %d is none of 0 to 2" % (where, unit))
        if unit != 0 and kind > 1:
            raise DataError("%s: a unit conversion on a kind-%d row" % (where, kind))
        target = target_cell(row["target"], where, "target")
        extras = []
        if row["extras"] != "-":
            extras = [target_cell(t, where, "extra target") for t in row["extras"].split(",")]
            if len(extras) > MAX_EXTRA_TARGETS:
                raise DataError("%s: %d extra targets, at most %d" % (where, len(extras), MAX_EXTRA_TARGETS))
            if any(t == 0 for t in extras):
                raise DataError("%s: an extra target of 0 (? where the game build decides)" % where)
        flags = [] if row["flags"] == "-" else row["flags"].split(",")
        for f in flags:
            if f not in FLAGS:
                raise DataError("%s: unknown flag %r" % (where, f))
        if "recapture" in flags and default is None:
            raise DataError("%s: recapture needs a default to replace" % where)
        params.append(dict(line=line, array=array, key=key, default=default, lo=lo, hi=hi, kind=kind, unit=unit,
                           target=target, extras=extras, flags=flags))
    if not params or params[-1]["array"] != ARRAYS:
        raise DataError("%s: %d arrays, expected %d" % (name, params[-1]["array"] if params else 0, ARRAYS))
    if len(params) != ROWS:
        raise DataError("%s: %d rows, expected %d" % (name, len(params), ROWS))
    return params


def read_runtime_keys(data_dir, params):
    name, rows = common.read_table(os.path.join(data_dir, "runtime_keys.tsv"),
                                   ["table", "key", "offset", "default_bits", "alternate_bits", "guard_bits"])
    tables = [t for t, _ in RUNTIME_TABLES]
    by_key = {p["key"]: p for p in params}
    keys, out = {}, []
    for line, row in rows:
        where = "%s:%d" % (name, line)
        table = row["table"]
        if table not in tables:
            raise DataError("%s: unknown table %r" % (where, table))
        if out and tables.index(table) < tables.index(out[-1]["table"]):
            raise DataError("%s: a %s row after the %s rows" % (where, table, out[-1]["table"]))
        key = row["key"]
        if key in keys:
            raise DataError("%s: key %s again (line %d)" % (where, key, keys[key]))
        keys[key] = line
        if key not in by_key:
            raise DataError("%s: key %s is no parameter" % (where, key))
        if not HEX.match(row["offset"]):
            raise DataError("%s: offset %r is no 0x-number" % (where, row["offset"]))
        offset = int(row["offset"], 16)
        if offset % 4 or offset + 4 > RUNTIME_WINDOW:
            raise DataError("%s: offset %s is no 4-byte field of the %d-byte table" % (where, row["offset"],
                                                                                    RUNTIME_WINDOW))
        bits = []
        needed = {"pattern": 3, "plain": 0, "reference": 1}[table]
        for i, column in enumerate(("default_bits", "alternate_bits", "guard_bits")):
            text = row[column]
            if (i < needed) != (text != "-"):
                raise DataError("%s: %s %s in a %s row" % (where, column, "missing" if i < needed else "given", table))
            if text == "-":
                bits.append(0)
            elif text == "0" or HEX.match(text):
                bits.append(int(text, 16) if text != "0" else 0)
            else:
                raise DataError("%s: %s %r is no 0x-number" % (where, column, text))
        param = by_key[key]
        # A row that addresses the runtime table by offset must name its key's offset.
        if param["target"] not in (None, 0) and not param["target"] & TAGS and param["target"] != offset:
            raise DataError("%s: parameter %s (params.tsv:%d) has offset 0x%X, the table 0x%X" %
                            (where, key, param["line"], param["target"], offset))
        out.append(dict(table=table, key=key, offset=offset, bits=bits))
    for table, count in RUNTIME_TABLES:
        have = sum(1 for r in out if r["table"] == table)
        if have != count:
            raise DataError("%s: table %s has %d rows, expected %d" % (name, table, have, count))
    return out


def write_output(params, runtime):
    c = common.c_string
    out = [HEADER, '#include "visualsettings/param_data.h"', "", "namespace visualsettings::detail {", ""]
    w = out.append
    w("// key, array, default given, default, minimum, maximum, kind, unit, target given, target,")
    w("// extra-target count, extra targets, preset, recapture.")
    w("const ParamDef kParamSpecs[kParamRowCount] = {")
    for p in params:
        extras = ", ".join("0x%XULL" % (t or 0) for t in p["extras"])
        w("    {%s, %d, %s, %s, %s, %s, %d, %d, %s, 0x%XULL, %d, {%s}, %s, %s}," % (
            c(p["key"]), p["array"], "true" if p["default"] is not None else "false",
            common.float_literal(p["default"] or "0"), common.float_literal(p["lo"]), common.float_literal(p["hi"]),
            p["kind"], p["unit"], "true" if p["target"] is not None else "false", p["target"] or 0,
            len(p["extras"]), extras, "true" if "preset" in p["flags"] else "false",
            "true" if "recapture" in p["flags"] else "false"))
    w("};")
    w("")
    w("// The runtime slider keys in lookup order: key, offset, default, alternate default and guard bits.")
    w("const RuntimeSliderKey kRuntimeSliderKeys[kRuntimeSliderKeyCount] = {")
    for r in runtime:
        w("    {%s, 0x%XULL, 0x%08Xu, 0x%08Xu, 0x%08Xu}," % ((c(r["key"]), r["offset"]) + tuple(r["bits"])))
    w("};")
    w("")
    w("}  // namespace visualsettings::detail")
    return "\n".join(out) + "\n"


def main(args):
    if len(args) != 2:
        sys.stderr.write("usage: gen_visualsettings_tables.py DATA_DIR OUT_DIR\n")
        return 2
    data_dir, out_dir = args
    try:
        params = read_params(data_dir)
        runtime = read_runtime_keys(data_dir, params)
    except (DataError, OSError) as e:
        sys.stderr.write("gen_visualsettings_tables: %s\n" % e)
        return 1
    common.write_file(os.path.join(out_dir, "visualsettings", "param_table_data.cpp"), write_output(params, runtime))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
