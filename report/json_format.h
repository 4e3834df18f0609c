#pragma once
// One folder as a JSON object:
//   {"folder": …, "complete": true|false, "problem": null|"…",
//    "users": [{"name", "group", "rights"}],
//    "groups": [{"name", "head_group", "sub_groups", "rights"}],
//    "head_groups": [{"name", "members": [{"name", "rights"}]}]}
// with the texts as the window's columns show them and the rows in list order. Qt writes the keys
// of an object in alphabetical order; JSON readers do not depend on the order.

#include <QJsonObject>
#include <QJsonValue>
#include <string>
#include <string_view>
#include <vector>

#include "report/folder_report.h"

namespace permscope::report {

// head_groups: as head_groups() reads them from the export's sheet.
QJsonObject folder_json(const FolderReport& report, const std::vector<HeadGroup>& head_groups);

// The object as an indented UTF-8 document, ending with a line end.
std::string json_text(const QJsonObject& object);
// The object on one line, without blanks, without a line end.
std::string json_line(const QJsonObject& object);

// A text as a JSON value, bytes that are no UTF-8 mended as in every other output.
QJsonValue mended_text(std::string_view raw);

// One text as a JSON value: quoted, with what JSON escapes escaped.
std::string json_string(std::string_view text);

}  // namespace permscope::report
