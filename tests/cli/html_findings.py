"""Reads an HTML page (standard input; the DOM a browser made of the report)
and prints what it shows a reader: the headline and summary, each row of the
tables overview, and each table's section with its paragraphs and field rows.
Elements are named by their id (or the id a link points to); an empty cell
shows as "-"."""
import sys
from html.parser import HTMLParser


class Report(HTMLParser):
    def __init__(self):
        super().__init__()
        self.lines = []
        self.stack = []  # open elements: (tag, attributes)
        self.text = None  # text being gathered, or None
        self.cells = None  # cells of the table row being read
        self.row_name = None
        self.data_cells = 0

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.stack.append((tag, attrs))
        if tag == "section":
            self.lines.append(f"section {attrs.get('id')} class={attrs.get('class')}")
        elif tag == "tr":
            self.cells = []
            self.data_cells = 0
            self.row_name = attrs.get("id")
        elif tag in ("td", "th", "h2", "p") or (tag == "title"):
            self.text = ""
        elif tag == "a" and self.cells is not None and attrs.get("href", "").startswith("#"):
            self.row_name = "->" + attrs["href"][1:]

    def handle_endtag(self, tag):
        while self.stack and self.stack[-1][0] != tag:
            self.stack.pop()
        if self.stack:
            self.stack.pop()
        text = " ".join((self.text or "").split())
        if tag in ("td", "th") and self.cells is not None:
            self.cells.append(text or "-")
            self.data_cells += tag == "td"
            self.text = None
        elif tag == "tr" and self.cells is not None:
            if self.data_cells:  # not a header row
                name = f" {self.row_name}" if self.row_name else ""
                self.lines.append(f"  row{name}: " + " | ".join(self.cells))
            self.cells = None
            self.row_name = None
        elif tag in ("h2", "p", "title"):
            self.lines.append(f"{tag}: {text}")
            self.text = None

    def handle_data(self, data):
        if self.text is not None:
            self.text += data


parser = Report()
parser.feed(sys.stdin.read())
print("\n".join(parser.lines))
