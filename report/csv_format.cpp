#include "report/csv_format.h"

#include "export/workbook.h"

namespace permscope::report {

namespace {

void append_field(std::string& line, std::string_view raw) {
    const std::string field = spreadsheet::well_formed_utf8(raw);
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        line += field;
        return;
    }
    line += '"';
    for (char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

}  // namespace

std::string csv_line(const std::vector<std::string_view>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        append_field(line, fields[i]);
    }
    line += "\r\n";
    return line;
}

std::string csv_header() {
    std::vector<std::string_view> fields{"Folder"};
    fields.insert(fields.end(), kUserListColumns.begin(), kUserListColumns.end());
    return csv_line(fields);
}

std::string folder_csv_lines(const FolderReport& report) {
    std::string lines;
    for (const ResultList::Row& row : report.users().rows()) {
        std::vector<std::string_view> fields{report.folder};
        for (std::size_t column = 0; column < kUserListColumns.size(); ++column)
            fields.push_back(column_text(row, column));
        lines += csv_line(fields);
    }
    return lines;
}

}  // namespace permscope::report
