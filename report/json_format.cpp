#include "report/json_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <array>

#include "export/workbook.h"

namespace permscope::report {

// A NUL shows as U+FFFD, as bytes that are no well-formed UTF-8 do.
QJsonValue mended_text(std::string_view raw) {
    return QString::fromStdString(spreadsheet::well_formed_utf8(raw));
}

namespace {

QJsonValue text(std::string_view raw) {
    return mended_text(raw);
}

// Each row as an object whose keys name the list's columns in order.
template <std::size_t N>
QJsonArray rows(const ResultList& list, const std::array<const char*, N>& keys) {
    QJsonArray array;
    for (const ResultList::Row& row : list.rows()) {
        QJsonObject object;
        for (std::size_t column = 0; column < N; ++column)
            object.insert(QLatin1String(keys[column]), text(column_text(row, column)));
        array.append(object);
    }
    return array;
}

QJsonArray head_group_array(const std::vector<HeadGroup>& head_groups) {
    QJsonArray array;
    for (const HeadGroup& group : head_groups) {
        QJsonArray members;
        for (const HeadGroupMember& member : group.members)
            members.append(
                QJsonObject{{"name", text(member.name)}, {"rights", text(member.rights)}});
        array.append(QJsonObject{{"name", text(group.name)}, {"members", members}});
    }
    return array;
}

constexpr std::array<const char*, kUserListColumns.size()> kUserKeys{"name", "group", "rights"};
constexpr std::array<const char*, kGroupListColumns.size()> kGroupKeys{"name", "head_group",
                                                                       "sub_groups", "rights"};

}  // namespace

QJsonObject folder_json(const FolderReport& report, const std::vector<HeadGroup>& head_groups) {
    return QJsonObject{
        {"folder", text(report.folder)},
        {"complete", report.complete()},
        {"problem", report.complete() ? QJsonValue(QJsonValue::Null) : text(report.problem)},
        {"users", rows(report.users(), kUserKeys)},
        {"groups", rows(report.groups(), kGroupKeys)},
        {"head_groups", head_group_array(head_groups)},
    };
}

std::string json_text(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

std::string json_line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string json_string(std::string_view raw) {
    // Qt writes values only inside a document: the text is the one element of an array.
    const std::string array =
        QJsonDocument(QJsonArray{text(raw)}).toJson(QJsonDocument::Compact).toStdString();
    return array.substr(1, array.size() - 2);
}

}  // namespace permscope::report
