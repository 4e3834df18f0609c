#!/usr/bin/python3
"""read_back.py csv|json|tree|xlsx FILE: a file of permscope-report read back with Python's own
parsers, one item a line (tree: a walk's JSON, each folder after a line "== FOLDER"). A key too
many or too few, a byte-order mark or a line end other than CR LF fails it."""
import csv
import io
import json
import sys

import openpyxl


def keyed(obj, keys):
    assert sorted(obj) == sorted(keys), f"keys {sorted(obj)}"
    return "|".join(obj[key] for key in keys)


def read_csv(path):
    with open(path, "rb") as file:
        text = file.read().decode("utf-8")  # a byte-order mark would stay in the first field
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""), "lines end in CR LF"
    return ["|".join(record) for record in csv.reader(io.StringIO(text, newline=""), strict=True)]


def read_json(path):
    with open(path, encoding="utf-8") as file:
        return folder_lines(json.load(file))


def read_tree(path):
    with open(path, encoding="utf-8") as file:
        doc = json.load(file)
    assert sorted(doc) == ["complete", "depth", "folders", "root"], f"keys {sorted(doc)}"
    lines = [f"root={doc['root']}", f"depth={doc['depth']}", f"complete={doc['complete']}"]
    for folder in doc["folders"]:
        lines.append("== " + folder["folder"])
        if "sub_folders_unreadable" in folder:
            lines.append("sub_folders_unreadable=" + folder.pop("sub_folders_unreadable"))
        if "same_as_parent" in folder or "unreadable" in folder:
            assert len(folder) == 2, f"keys {sorted(folder)}"
            lines.append(f"unreadable={folder['unreadable']}" if "unreadable" in folder
                         else f"same_as_parent={folder['same_as_parent']}")
        else:
            lines += folder_lines(folder)
    return lines


def folder_lines(doc):
    assert sorted(doc) == sorted(("folder", "complete", "problem", "users", "groups",
                                  "head_groups")), f"keys {sorted(doc)}"
    lines = [f"folder={doc['folder']}", f"complete={str(doc['complete']).lower()}",
             f"problem={doc['problem']}"]
    lines += ["user:" + keyed(user, ("name", "group", "rights")) for user in doc["users"]]
    lines += ["group:" + keyed(group, ("name", "head_group", "sub_groups", "rights"))
              for group in doc["groups"]]
    for head in doc["head_groups"]:
        assert sorted(head) == ["members", "name"]
        lines.append("head:" + head["name"])
        lines += ["member:" + keyed(member, ("name", "rights")) for member in head["members"]]
    return lines


def read_xlsx(path):
    """The export's sheet Rechte cell by cell ("A2=text"), as its layout is the point; the lists'
    sheets row by row, an empty cell as an empty field."""
    lines = []
    for sheet in openpyxl.load_workbook(path):
        lines.append("sheet:" + sheet.title)
        if sheet.title == "Rechte":
            lines += [f"{cell.coordinate}={cell.value}" for row in sheet.iter_rows()
                      for cell in row if cell.value is not None]
        else:
            lines += ["|".join("" if value is None else str(value) for value in row)
                      for row in sheet.iter_rows(values_only=True)]
    return lines


if __name__ == "__main__":
    read = {"csv": read_csv, "json": read_json, "tree": read_tree, "xlsx": read_xlsx}[sys.argv[1]]
    sys.stdout.buffer.write("".join(line + "\n" for line in read(sys.argv[2])).encode("utf-8"))
