#!/usr/bin/env python3
"""Writes the example workbooks as flat ODS (.fods) files.

    python3 examples/tools/make_examples.py            # rewrites both workbooks
    python3 examples/tools/make_examples.py --check    # fails if a file is stale

The output depends only on this script: no dates, no cached formula results
(the spreadsheet computes every formula when it loads the file), cells and
attributes always in the same order. Formulas are written here in A1 notation
with ';' between function arguments and translated to ODF formula syntax.
The cell maps in examples/*/CELLS.md describe what this script lays out;
change both together.
"""

import argparse
import pathlib
import re
import sys
from xml.sax.saxutils import escape, quoteattr

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent

# --------------------------------------------------------------------------
# Cell and sheet model


class Formula:
    def __init__(self, text):
        if not text.startswith("="):
            raise ValueError("a formula starts with '=': " + text)
        self.text = text


class Date:
    """A date cell (ISO text), shown with the date style."""

    def __init__(self, iso):
        self.iso = iso


def column_index(letters):
    n = 0
    for ch in letters:
        n = n * 26 + (ord(ch) - ord("A") + 1)
    return n - 1


def column_letters(index):
    letters = ""
    index += 1
    while index:
        index, rem = divmod(index - 1, 26)
        letters = chr(ord("A") + rem) + letters
    return letters


def split_address(address):
    m = re.fullmatch(r"([A-Z]{1,2})([0-9]+)", address)
    if not m:
        raise ValueError("bad cell address " + address)
    return int(m.group(2)) - 1, column_index(m.group(1))


class Sheet:
    def __init__(self, name, widths=None):
        self.name = name
        self.cells = {}  # (row, column) -> (value, style)
        self.widths = widths or {}  # column letters -> width in cm

    def put(self, address, value, style=None):
        key = split_address(address)
        if key in self.cells:
            raise ValueError("%s!%s written twice" % (self.name, address))
        self.cells[key] = (value, style)

    def row(self, address, values, style=None):
        """Puts `values` rightwards from `address`; None leaves a cell empty."""
        r, c = split_address(address)
        for i, value in enumerate(values):
            if value is not None:
                self.put(column_letters(c + i) + str(r + 1), value, style)

    def column(self, address, values, style=None):
        r, c = split_address(address)
        for i, value in enumerate(values):
            if value is not None:
                self.put(column_letters(c) + str(r + i + 1), value, style)


# --------------------------------------------------------------------------
# ODF writing

REFERENCE = re.compile(
    r"(?<![A-Za-z0-9_.$])(?:([A-Za-z][A-Za-z0-9_]*)!)?"
    r"(\$?[A-Z]{1,2}\$?[0-9]+)(?::(\$?[A-Z]{1,2}\$?[0-9]+))?(?![A-Za-z0-9_(])"
)


def odf_formula(text):
    def reference(m):
        sheet, first, last = m.group(1), m.group(2), m.group(3)
        prefix = "$" + sheet if sheet else ""
        inner = prefix + "." + first
        if last:
            inner += ":." + last
        return "[" + inner + "]"

    # Text in quotes is left alone.
    parts = re.split(r'("[^"]*")', text[1:])
    out = []
    for part in parts:
        out.append(part if part.startswith('"') else REFERENCE.sub(reference, part))
    return "of:=" + "".join(out)


def number_text(value):
    text = repr(float(value)) if isinstance(value, float) else str(value)
    return text[:-2] if text.endswith(".0") else text


def cell_xml(value, style):
    attrs = ""
    if style:
        attrs += " table:style-name=%s" % quoteattr(style)
    if isinstance(value, Formula):
        return "<table:table-cell%s table:formula=%s/>" % (attrs, quoteattr(odf_formula(value.text)))
    if isinstance(value, Date):
        return (
            '<table:table-cell%s office:value-type="date" office:date-value="%s">'
            "<text:p>%s</text:p></table:table-cell>" % (attrs, value.iso, value.iso)
        )
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        text = number_text(value)
        return (
            '<table:table-cell%s office:value-type="float" office:value="%s">'
            "<text:p>%s</text:p></table:table-cell>" % (attrs, text, text)
        )
    if isinstance(value, str):
        return (
            '<table:table-cell%s office:value-type="string"><text:p>%s</text:p>'
            "</table:table-cell>" % (attrs, escape(value))
        )
    raise TypeError("cannot write %r" % (value,))


def sheet_xml(sheet, column_styles):
    lines = ["<table:table table:name=%s>" % quoteattr(sheet.name)]
    last_column = max(c for _, c in sheet.cells) if sheet.cells else 0
    for c in range(last_column + 1):
        letters = column_letters(c)
        style = column_styles[sheet.widths[letters]] if letters in sheet.widths else "co_default"
        lines.append('<table:table-column table:style-name="%s"/>' % style)
    last_row = max(r for r, _ in sheet.cells) if sheet.cells else 0
    empty_rows = 0
    for r in range(last_row + 1):
        columns = sorted(c for rr, c in sheet.cells if rr == r)
        if not columns:
            empty_rows += 1
            continue
        if empty_rows:
            lines.append(
                '<table:table-row table:number-rows-repeated="%d"><table:table-cell/></table:table-row>'
                % empty_rows
            )
            empty_rows = 0
        cells = []
        at = 0
        for c in columns:
            if c > at:
                gap = c - at
                cells.append(
                    "<table:table-cell/>"
                    if gap == 1
                    else '<table:table-cell table:number-columns-repeated="%d"/>' % gap
                )
            cells.append(cell_xml(*sheet.cells[(r, c)]))
            at = c + 1
        lines.append("<table:table-row>" + "".join(cells) + "</table:table-row>")
    lines.append("</table:table>")
    return "\n".join(lines)


NAMESPACES = [
    ("office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"),
    ("style", "urn:oasis:names:tc:opendocument:xmlns:style:1.0"),
    ("text", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"),
    ("table", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"),
    ("number", "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"),
    ("fo", "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"),
    ("meta", "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"),
    ("script", "urn:oasis:names:tc:opendocument:xmlns:script:1.0"),
    ("of", "urn:oasis:names:tc:opendocument:xmlns:of:1.2"),
    ("ooo", "http://openoffice.org/2004/office"),
    ("xlink", "http://www.w3.org/1999/xlink"),
]


def document_xml(title, sheets, basic_modules):
    widths = sorted({w for s in sheets for w in s.widths.values()})
    column_styles = {w: "co%d" % i for i, w in enumerate(widths, 1)}
    out = ['<?xml version="1.0" encoding="UTF-8"?>']
    out.append(
        "<office:document "
        + " ".join('xmlns:%s="%s"' % ns for ns in NAMESPACES)
        + ' office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
    )
    out.append(
        "<office:meta><meta:generator>examples/tools/make_examples.py</meta:generator>"
        "<meta:title>%s</meta:title></office:meta>" % escape(title)
    )
    if basic_modules:
        out.append('<office:scripts><office:script script:language="ooo:Basic">')
        out.append('<ooo:libraries><ooo:library-embedded ooo:name="Standard">')
        for name, source in basic_modules:
            out.append(
                '<ooo:module ooo:name="%s"><ooo:source-code>%s</ooo:source-code></ooo:module>'
                % (name, escape(source))
            )
        out.append("</ooo:library-embedded></ooo:libraries>")
        out.append("</office:script></office:scripts>")
    out.append("<office:automatic-styles>")
    out.append(
        '<style:style style:name="co_default" style:family="table-column">'
        '<style:table-column-properties style:column-width="2.3cm"/></style:style>'
    )
    for w in widths:
        out.append(
            '<style:style style:name="%s" style:family="table-column">'
            '<style:table-column-properties style:column-width="%.1fcm"/></style:style>'
            % (column_styles[w], w)
        )
    out.append(
        '<number:date-style style:name="N_iso_date"><number:year number:style="long"/>'
        "<number:text>-</number:text><number:month number:style=\"long\"/>"
        "<number:text>-</number:text><number:day number:style=\"long\"/></number:date-style>"
    )
    out.append(
        '<style:style style:name="ce_head" style:family="table-cell">'
        '<style:text-properties fo:font-weight="bold"/></style:style>'
    )
    out.append(
        '<style:style style:name="ce_date" style:family="table-cell" '
        'style:data-style-name="N_iso_date"/>'
    )
    out.append(
        '<style:style style:name="ce_input" style:family="table-cell">'
        '<style:table-cell-properties fo:background-color="#fff2cc"/></style:style>'
    )
    out.append(
        '<style:style style:name="ce_input_date" style:family="table-cell" '
        'style:data-style-name="N_iso_date">'
        '<style:table-cell-properties fo:background-color="#fff2cc"/></style:style>'
    )
    out.append("</office:automatic-styles>")
    out.append("<office:body><office:spreadsheet>")
    for sheet in sheets:
        out.append(sheet_xml(sheet, column_styles))
    out.append("</office:spreadsheet></office:body></office:document>")
    return "\n".join(out) + "\n"


# --------------------------------------------------------------------------
# Event macros, shared by both workbooks


def event_module(workbook, value_sheet, value_cell, value_label):
    """The Basic module "Events": one Sub per run-time event.

    Each call appends a row to the sheet EventLog: event name, timestep, the
    date text (empty for the one-argument form) and, for PostSolve, the value
    of one model cell so that the log shows what the solve produced.
    """
    return f"""REM Run-time event macros of the {workbook} example.
REM The driver calls each with the timestep, and the two-argument ones also
REM with the run date as text. Every call appends one row to EventLog:
REM event, timestep, date text (empty for the one-argument form) and, for
REM PostSolve, {value_label} ({value_sheet}!{value_cell}).
Option Explicit

Private Function LogSheet() As Object
  LogSheet = ThisComponent.Sheets.getByName("EventLog")
End Function

Private Function LastLogRow() As Long
  Dim sheet As Object
  Dim cursor As Object
  sheet = LogSheet()
  cursor = sheet.createCursor()
  cursor.gotoEndOfUsedArea(False)
  LastLogRow = cursor.getRangeAddress().EndRow
End Function

Private Sub AppendRow(eventName As String, timestep As Integer, dateText As String, withValue As Boolean)
  Dim sheet As Object
  Dim row As Long
  sheet = LogSheet()
  row = LastLogRow() + 1
  sheet.getCellByPosition(0, row).setString(eventName)
  sheet.getCellByPosition(1, row).setValue(timestep)
  sheet.getCellByPosition(2, row).setString(dateText)
  If withValue Then
    sheet.getCellByPosition(3, row).setValue(ThisComponent.Sheets.getByName("{value_sheet}").getCellRangeByName("{value_cell}").getValue())
  End If
End Sub

REM Start of run: empties the log below its heading, then logs.
Sub StartOfRun(timestep As Integer, dt As String)
  Dim last As Long
  Dim sheet As Object
  last = LastLogRow()
  If last >= 1 Then
    sheet = LogSheet()
    sheet.getCellRangeByPosition(0, 1, 7, last).clearContents(23)
  End If
  AppendRow("StartOfRun", timestep, dt, False)
End Sub

Sub StartOfTimestep(timestep As Integer, dt As String)
  AppendRow("StartOfTimestep", timestep, dt, False)
End Sub

Sub PreSolve(timestep As Integer)
  AppendRow("PreSolve", timestep, "", False)
End Sub

REM Post-module solve.
Sub PostSolve2(timestep As Integer)
  AppendRow("PostSolve2", timestep, "", False)
End Sub

REM Post-system solve.
Sub PostSolve(timestep As Integer)
  AppendRow("PostSolve", timestep, "", True)
End Sub

Sub EndOfTimestep(timestep As Integer, dt As String)
  AppendRow("EndOfTimestep", timestep, dt, False)
End Sub

Sub EndOfRun(timestep As Integer)
  AppendRow("EndOfRun", timestep, "", False)
End Sub

REM Logs, then saves the workbook over the file it was opened from: what a
REM model that keeps its state in the workbook does, and why parallel runs
REM each work on their own copy.
Sub StoreAndLog(timestep As Integer)
  AppendRow("StoreAndLog", timestep, "", False)
  ThisComponent.store()
End Sub

REM Fails on purpose (division by zero), to see how a failing macro is reported.
Sub Broken(timestep As Integer)
  Dim zero As Integer
  zero = 0
  AppendRow("Broken", timestep \\ zero, "", False)
End Sub
"""


def event_log_sheet():
    log = Sheet("EventLog", {"A": 3.6, "B": 2.2, "C": 3.6, "D": 3.6})
    log.row("A1", ["Event", "Timestep", "Date", "Value"], "ce_head")
    return log


# --------------------------------------------------------------------------
# Separator

# name, feed mole fraction, Tc (deg R), Pc (psia), acentric factor,
# molecular weight, liquid specific gravity (water = 1)
COMPONENTS = [
    ("N2", 0.005, 227.16, 492.8, 0.0372, 28.013, 0.8086),
    ("CO2", 0.015, 547.42, 1069.5, 0.2239, 44.010, 0.8172),
    ("C1", 0.450, 343.00, 667.0, 0.0115, 16.043, 0.3000),
    ("C2", 0.080, 549.59, 706.6, 0.0995, 30.070, 0.3562),
    ("C3", 0.060, 665.73, 616.1, 0.1523, 44.097, 0.5070),
    ("iC4", 0.015, 734.13, 527.9, 0.1770, 58.123, 0.5629),
    ("nC4", 0.025, 765.29, 550.6, 0.2002, 58.123, 0.5840),
    ("C5", 0.030, 845.47, 488.8, 0.2515, 72.150, 0.6311),
    ("C6", 0.030, 913.27, 436.9, 0.3013, 86.177, 0.6638),
    ("C7+", 0.290, 1190.00, 290.0, 0.5500, 200.000, 0.8300),
]
N = len(COMPONENTS)
BISECTION_STEPS = 60


def separator_sheets():
    first, last = 17, 17 + N - 1  # input component table rows

    inputs = Sheet("Inputs", {"A": 4.6, "B": 2.8, "C": 2.3})
    inputs.put("A1", "Well stream into the separator (input stream In-1)", "ce_head")
    inputs.put("A2", "Yellow cells are written by the host; the rest is notes.")
    inputs.row("A3", ["Property", "Value", "Unit"], "ce_head")
    rows = [
        ("Date", Date("2024-01-01"), "day number"),
        ("Oil rate", 5000, "STB/d"),
        ("Water rate", 1200, "STB/d"),
        ("Liquid rate", 6200, "STB/d"),
        ("Gas rate", 6.0, "MMscf/d"),
        ("Pressure", 850, "psig"),
        ("Temperature", 140, "deg F"),
        ("Oil gravity", 35, "API"),
        ("Water gravity", 1.05, "SG (water = 1)"),
        ("Gas gravity", 0.75, "SG (air = 1)"),
    ]
    for i, (label, value, unit) in enumerate(rows):
        r = 4 + i
        inputs.put("A%d" % r, label)
        inputs.put("B%d" % r, value, "ce_input_date" if isinstance(value, Date) else "ce_input")
        inputs.put("C%d" % r, unit)
    inputs.put("A15", "Composition (one row per component)", "ce_head")
    inputs.row("A16", ["Component", "Mole fraction"], "ce_head")
    inputs.put("C16", "Columns C to O: component properties written by the host, not used")
    for i, comp in enumerate(COMPONENTS):
        inputs.put("A%d" % (first + i), comp[0], "ce_input")
        inputs.put("B%d" % (first + i), comp[1], "ce_input")
    inputs.put("Q2", "History written by the host, one row per timestep", "ce_head")
    inputs.row(
        "Q3",
        ["Date", "Oil rate", "Water rate", "Gas rate", "Pressure", "Temperature"],
        "ce_head",
    )
    inputs.widths.update({"Q": 2.6})

    flash = Sheet("Flash", {"A": 6.0, "B": 2.8, "C": 2.6, "M": 1.6, "N": 2.6, "O": 2.6, "P": 2.6, "Q": 2.6})
    flash.put("A1", "Separator flash: Wilson K-values, Rachford-Rice by bisection", "ce_head")
    flash.row("A3", ["Separator pressure setpoint", None, "psig"])
    flash.put("B3", 300, "ce_input")
    flash.row("A4", ["Separator pressure", Formula("=B3+14.696"), "psia"])
    flash.row("A5", ["Separator temperature (inlet)", Formula("=Inputs!B10+459.67"), "deg R"])
    flash.row("A6", ["Inlet oil gravity", Formula("=Inputs!B11"), "API"])
    flash.row("A7", ["Stock-tank oil specific gravity", Formula("=141.5/(131.5+B6)"), "water = 1"])
    flash.row("A8", ["Stock-tank oil molecular weight (Cragoe)", Formula("=6084/(B6-5.9)"), "lb/lbmol"])
    flash.row(
        "A9",
        [
            "Feed molar rate",
            Formula("=Inputs!B8*1000000/379.49+Inputs!B5*5.615*62.37*B7/B8"),
            "lbmol/d",
        ],
    )
    flash.row("A10", ["Vapour fraction V", Formula("=P%d" % (4 + BISECTION_STEPS - 1)), "mol/mol"])
    flash.put("A12", "Components", "ce_head")
    flash.row(
        "A13",
        ["Component", "z (inlet)", "z (normalised)", "Tc (deg R)", "Pc (psia)", "Acentric",
         "Mol. weight", "Liquid SG", "K", "x (oil)", "y (gas)"],
        "ce_head",
    )
    c0, c1 = 14, 14 + N - 1
    for i, (name, _, tc, pc, omega, mw, sg) in enumerate(COMPONENTS):
        r = c0 + i
        flash.row(
            "A%d" % r,
            [
                Formula("=Inputs!A%d" % (first + i)),
                Formula("=Inputs!B%d" % (first + i)),
                Formula("=B%d/SUM(B$%d:B$%d)" % (r, c0, c1)),
                tc, pc, omega, mw, sg,
                Formula("=E%d/$B$4*EXP(5.373*(1+F%d)*(1-D%d/$B$5))" % (r, r, r)),
                Formula("=C%d/(1+$B$10*(I%d-1))" % (r, r)),
                Formula("=I%d*J%d" % (r, r)),
            ],
        )
    t = c1 + 2  # results
    rng = lambda col: "%s%d:%s%d" % (col, c0, col, c1)  # noqa: E731
    results = [
        ("Oil molecular weight", Formula("=SUMPRODUCT(%s;%s)" % (rng("J"), rng("G"))), "lb/lbmol"),
        ("Oil specific gravity (ideal mixing)",
         Formula("=B%d/SUMPRODUCT(%s;%s/%s)" % (t, rng("J"), rng("G"), rng("H"))), "water = 1"),
        ("Gas molecular weight", Formula("=SUMPRODUCT(%s;%s)" % (rng("K"), rng("G"))), "lb/lbmol"),
        ("Oil rate", Formula("=(1-B10)*B9*B%d/(5.615*62.37*B%d)" % (t, t + 1)), "STB/d"),
        ("Gas rate", Formula("=B10*B9*379.49/1000000"), "MMscf/d"),
        ("Oil gravity", Formula("=141.5/B%d-131.5" % (t + 1)), "API"),
        ("Gas gravity", Formula("=B%d/28.97" % (t + 2)), "air = 1"),
        ("Oil mass rate", Formula("=(1-B10)*B9*B%d" % t), "lb/d"),
        ("Gas mass rate", Formula("=B10*B9*B%d" % (t + 2)), "lb/d"),
        ("Sum of x", Formula("=SUM(%s)" % rng("J")), ""),
        ("Sum of y", Formula("=SUM(%s)" % rng("K")), ""),
    ]
    for i, (label, formula, unit) in enumerate(results):
        flash.row("A%d" % (t + i), [label, formula, unit or None])
    assert t == 25
    flash.put("M2", "Rachford-Rice: sum z(K-1)/(1+V(K-1)) = 0, bisection on V in [0, 1]", "ce_head")
    flash.row("M3", ["Step", "Low", "High", "V", "g(V)"], "ce_head")
    g = "SUMPRODUCT(%s*(%s-1)/(1+P%%d*(%s-1)))" % (
        "$C$%d:$C$%d" % (c0, c1), "$I$%d:$I$%d" % (c0, c1), "$I$%d:$I$%d" % (c0, c1))
    for k in range(BISECTION_STEPS):
        r = 4 + k
        low = 0 if k == 0 else Formula("=IF(Q%d>0;P%d;N%d)" % (r - 1, r - 1, r - 1))
        high = 1 if k == 0 else Formula("=IF(Q%d>0;O%d;P%d)" % (r - 1, r - 1, r - 1))
        flash.row("M%d" % r, [k + 1, low, high, Formula("=(N%d+O%d)/2" % (r, r)),
                              Formula("=" + g % r)])
    flash.put("S3", "Setpoint history", "ce_head")

    outputs = Sheet("Outputs", {"A": 3.6, "B": 2.8, "C": 2.3, "E": 3.6, "F": 2.8, "G": 2.3,
                                "H": 2.0, "I": 2.6, "J": 2.6, "K": 2.6})
    outputs.put("A1", "Separator outputs: oil (Out-1) and gas (Out-2)", "ce_head")
    outputs.row("A3", ["Oil stream", "Value", "Unit"], "ce_head")
    outputs.row("E3", ["Gas stream", "Value", "Unit"], "ce_head")
    oil = [
        ("Oil rate", "=Flash!B28", "STB/d"),
        ("Water rate", "=Inputs!B6", "STB/d"),
        ("Gas rate", 0, "MMscf/d"),
        ("Pressure", "=Flash!B3", "psig"),
        ("Temperature", "=Inputs!B10", "deg F"),
        ("Oil gravity", "=Flash!B30", "API"),
        ("Water gravity", "=Inputs!B12", "SG (water = 1)"),
        ("Gas gravity", "=Flash!B31", "SG (air = 1)"),
    ]
    gas = [
        ("Oil rate", 0, "STB/d"),
        ("Water rate", 0, "STB/d"),
        ("Gas rate", "=Flash!B29*1000", "Mscf/d"),
        ("Pressure", "=Flash!B3", "psig"),
        ("Temperature", "=Inputs!B10", "deg F"),
        ("Oil gravity", "=Flash!B30", "API"),
        ("Water gravity", "=Inputs!B12", "SG (water = 1)"),
        ("Gas gravity", "=Flash!B31", "SG (air = 1)"),
    ]
    for i, ((l1, v1, u1), (l2, v2, u2)) in enumerate(zip(oil, gas)):
        r = 4 + i
        as_cell = lambda v: Formula(v) if isinstance(v, str) else v  # noqa: E731
        outputs.row("A%d" % r, [l1, as_cell(v1), u1])
        outputs.row("E%d" % r, [l2, as_cell(v2), u2])
    outputs.row("A12", ["Oil mass rate", Formula("=Flash!B32"), "lb/d"])
    outputs.row("E12", ["Gas mass rate", Formula("=Flash!B33"), "lb/d"])
    outputs.put("A14", "Oil composition", "ce_head")
    outputs.put("A15", "Component", "ce_head")
    outputs.put("B15", "Mole fraction", "ce_head")
    outputs.put("A27", "Gas composition", "ce_head")
    outputs.put("A28", "Component", "ce_head")
    outputs.put("B28", "Mole fraction", "ce_head")
    for i in range(N):
        outputs.row("A%d" % (16 + i), [Formula("=Flash!A%d" % (c0 + i)), Formula("=Flash!J%d" % (c0 + i))])
        outputs.row("A%d" % (29 + i), [Formula("=Flash!A%d" % (c0 + i)), Formula("=Flash!K%d" % (c0 + i))])
    outputs.put("H2", "Summary (published block, 2 rows x 3 columns)", "ce_head")
    outputs.row("H3", [None, "Rate", "Gravity", "Mole fraction of feed"], "ce_head")
    outputs.row("H4", ["Oil", Formula("=B4"), Formula("=B9"), Formula("=1-Flash!B10")])
    outputs.row("H5", ["Gas", Formula("=Flash!B29"), Formula("=F11"), Formula("=Flash!B10")])
    outputs.row("H6", ["Units: oil STB/d and API, gas MMscf/d and SG (air = 1)"])

    return [inputs, flash, outputs, event_log_sheet()]


# --------------------------------------------------------------------------
# Gas lift

# name, a (STB/d), b (1/(MMscf/d)), c (STB/d), GOR (scf/STB), water cut,
# lower and upper bound of the lift gas (MMscf/d), starting lift gas
WELLS = [
    ("W1", 850, 1.3, 420, 650, 0.20, 0.0, 4.0, 1.0),
    ("W2", 640, 2.2, 260, 900, 0.35, 0.0, 4.0, 1.0),
    ("W3", 1150, 0.55, 180, 500, 0.10, 0.0, 1.5, 1.0),
]
AVAILABLE_GAS = 6.0


def gaslift_sheets():
    wells = Sheet("Wells", {"A": 5.0, "B": 2.8, "C": 2.8, "D": 3.2, "E": 2.2, "F": 2.2, "G": 2.2,
                            "H": 2.4, "I": 2.2, "J": 2.6, "K": 2.6})
    wells.put("A1", "Gas-lift allocation: oil rate q = a*LN(1+b*g)+c of lift gas g", "ce_head")
    wells.row(
        "A3",
        ["Well", "Lift gas g (MMscf/d)", "Oil rate q (STB/d)", "dq/dg (STB/MMscf)", "a", "b", "c",
         "GOR (scf/STB)", "Water cut", "Lower bound g", "Upper bound g"],
        "ce_head",
    )
    for i, (name, a, b, c, gor, wc, lo, hi, start) in enumerate(WELLS):
        r = 4 + i
        wells.put("A%d" % r, name)
        wells.put("B%d" % r, start, "ce_input")
        wells.row(
            "C%d" % r,
            [Formula("=E%d*LN(1+F%d*B%d)+G%d" % (r, r, r, r)),
             Formula("=E%d*F%d/(1+F%d*B%d)" % (r, r, r, r)),
             a, b, c, gor, wc, lo, hi],
        )
    wells.row("A8", ["Total", Formula("=SUM(B4:B6)"), Formula("=SUM(C4:C6)")], "ce_head")
    wells.put("A9", "Available lift gas (MMscf/d)")
    wells.put("B9", AVAILABLE_GAS, "ce_input")
    wells.row("A10", ["Spare lift gas (MMscf/d)", Formula("=B9-B8")])

    wells.put("A12", "Manifold (input stream In-1)", "ce_head")
    wells.row("A13", ["Date", None, "day number"])
    wells.put("B13", Date("2024-01-01"), "ce_input_date")
    wells.row("A14", ["Pressure", None, "psig"])
    wells.put("B14", 200, "ce_input")
    wells.row("A15", ["Temperature", None, "deg F"])
    wells.put("B15", 110, "ce_input")

    wells.put("A17", "Production (output stream Out-1)", "ce_head")
    production = [
        ("Oil rate", Formula("=C8"), "STB/d"),
        ("Water rate", Formula("=SUMPRODUCT(C4:C6;I4:I6/(1-I4:I6))"), "STB/d"),
        ("Gas rate", Formula("=SUMPRODUCT(C4:C6;H4:H6)/1000000+B8"), "MMscf/d"),
        ("Pressure", Formula("=B14"), "psig"),
        ("Temperature", Formula("=B15"), "deg F"),
        ("Oil gravity", 32, "API"),
        ("Water gravity", 1.03, "SG (water = 1)"),
        ("Gas gravity", 0.7, "SG (air = 1)"),
    ]
    for i, (label, value, unit) in enumerate(production):
        wells.row("A%d" % (18 + i), [label, value, unit])
    return [wells, event_log_sheet()]


def build():
    # Cells of the layout: fix the positions CELLS.md documents, by cell only
    # (labels may be reworded freely).
    sep = separator_sheets()
    gl = gaslift_sheets()
    return {
        EXAMPLES / "separator" / "separator.fods": document_xml(
            "Separator example", sep,
            [("Events", event_module("separator", "Outputs", "B4", "the oil rate of Out-1"))]),
        EXAMPLES / "gaslift" / "gaslift.fods": document_xml(
            "Gas-lift allocation example", gl,
            [("Events", event_module("gas-lift", "Wells", "C8", "the total oil rate"))]),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="fail if a workbook is out of date")
    args = parser.parse_args()
    stale = []
    for path, text in build().items():
        current = path.read_text(encoding="utf-8") if path.exists() else None
        if current == text:
            continue
        if args.check:
            stale.append(str(path))
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text, encoding="utf-8")
            print("wrote", path)
    if stale:
        print("out of date (run examples/tools/make_examples.py):", *stale, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
