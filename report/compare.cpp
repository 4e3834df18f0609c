#include "report/compare.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

namespace permscope::report {

namespace {

using Users = std::map<std::string, std::string>;  // account -> rights, in byte order

struct Folder {
    std::string path;
    std::vector<std::string> components;  // the path cut at its separators, for the walk's order
    std::string cause;                    // why it could not be read; empty when it was
    std::shared_ptr<const Users> users;
};

class Reader {
  public:
    Reader(const std::string& json, std::string name) : name_(std::move(name)) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        if (document.isNull())
            fail(error.errorString().toStdString() + " at byte " + std::to_string(error.offset));
        if (!document.isObject())
            fail("no report: not a JSON object");
        read(document.object());
    }
    std::vector<Folder> folders() && { return std::move(folders_); }
    // A note for the user when the report says its lists are incomplete.
    std::string note() const {
        return complete_ ? std::string()
                         : name_ +
                               " was made while the directory failed (complete: false): "
                               "its changes may not be real\n";
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw ReportUnreadable(name_ + ": " + what);
    }

    std::string text_of(const QJsonObject& object, const char* key) const {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString())
            fail(std::string("no text \"") + key + "\" in a folder");
        return value.toString().toStdString();
    }

    void read(const QJsonObject& report) {
        complete_ = report.value("complete").toBool(true);
        if (report.contains("folders")) {
            const QJsonValue root = report.value("root");
            backslashes_ = root.isString() && root.toString().startsWith("\\\\");
            for (const QJsonValue folder : report.value("folders").toArray())
                add(folder.toObject());
        } else if (report.contains("folder")) {
            backslashes_ = report.value("folder").toString().startsWith("\\\\");
            add(report);
        } else {
            fail("no report: neither \"folders\" nor \"folder\"");
        }
    }

    std::vector<std::string> components_of(const std::string& path) const {
        std::vector<std::string> components(1);
        for (const char c : path) {
            if (c == '/' || (backslashes_ && c == '\\')) {
                if (!components.back().empty())
                    components.emplace_back();
            } else {
                components.back() += c;
            }
        }
        if (components.back().empty())
            components.pop_back();
        return components;
    }

    void add(const QJsonObject& object) {
        Folder folder;
        folder.path = text_of(object, "folder");
        folder.components = components_of(folder.path);
        // The folders before this one that hold it, nearest last.
        while (!ancestors_.empty() && !holds(ancestors_.back(), folder))
            ancestors_.pop_back();
        if (object.contains("unreadable")) {
            folder.cause = text_of(object, "unreadable");
            if (folder.cause.empty())
                folder.cause = "unreadable";
        } else if (object.value("same_as_parent").toBool()) {
            if (ancestors_.empty() || !ancestors_.back().users)
                fail("the folder " + folder.path + " is the same as a parent the report lacks");
            folder.users = ancestors_.back().users;
        } else {
            folder.users = users_of(object);
        }
        ancestors_.push_back(folder);
        folders_.push_back(std::move(folder));
    }

    static bool holds(const Folder& ancestor, const Folder& folder) {
        return ancestor.components.size() < folder.components.size() &&
               std::equal(ancestor.components.begin(), ancestor.components.end(),
                          folder.components.begin());
    }

    std::shared_ptr<const Users> users_of(const QJsonObject& object) const {
        if (!object.value("users").isArray())
            fail("no list \"users\" in the folder " + text_of(object, "folder"));
        auto users = std::make_shared<Users>();
        for (const QJsonValue user : object.value("users").toArray())
            users->emplace(text_of(user.toObject(), "name"), text_of(user.toObject(), "rights"));
        return users;
    }

    std::string name_;
    bool complete_ = true;
    bool backslashes_ = false;
    std::vector<Folder> folders_;
    std::vector<Folder> ancestors_;
};

// A text on a line of its own: control characters as C escapes.
std::string field(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string line(std::initializer_list<std::string_view> fields) {
    std::string text;
    for (const std::string_view f : fields)
        text += (text.empty() ? "" : "\t") + field(f);
    return text + "\n";
}

std::string compare_users(const std::string& folder, const Users& old_users,
                          const Users& new_users) {
    std::string lines;
    auto o = old_users.begin();
    auto n = new_users.begin();
    while (o != old_users.end() || n != new_users.end()) {
        if (n == new_users.end() || (o != old_users.end() && o->first < n->first)) {
            lines += line({"-", folder, o->first, o->second});
            ++o;
        } else if (o == old_users.end() || n->first < o->first) {
            lines += line({"+", folder, n->first, n->second});
            ++n;
        } else {
            if (o->second != n->second)
                lines += line({"~", folder, o->first, o->second, n->second});
            ++o;
            ++n;
        }
    }
    return lines;
}

std::string compare_folder(const Folder& old_folder, const Folder& new_folder) {
    if (!old_folder.cause.empty() || !new_folder.cause.empty()) {
        if (old_folder.cause == new_folder.cause)
            return {};
        return line({"!", new_folder.path, old_folder.cause, new_folder.cause});
    }
    return compare_users(new_folder.path, *old_folder.users, *new_folder.users);
}

bool walk_order(const Folder& a, const Folder& b) {
    return a.components < b.components;
}

}  // namespace

Comparison compare_reports(const std::string& old_json, const std::string& old_name,
                           const std::string& new_json, const std::string& new_name) {
    Reader old_reader(old_json, old_name), new_reader(new_json, new_name);
    Comparison comparison{{}, old_reader.note() + new_reader.note()};
    std::vector<Folder> old_folders = std::move(old_reader).folders();
    std::vector<Folder> new_folders = std::move(new_reader).folders();
    std::stable_sort(old_folders.begin(), old_folders.end(), walk_order);
    std::stable_sort(new_folders.begin(), new_folders.end(), walk_order);
    std::string& lines = comparison.lines;
    auto o = old_folders.begin();
    auto n = new_folders.begin();
    while (o != old_folders.end() || n != new_folders.end()) {
        if (n == new_folders.end() || (o != old_folders.end() && walk_order(*o, *n))) {
            lines += line({"-", (o++)->path});
        } else if (o == old_folders.end() || walk_order(*n, *o)) {
            lines += line({"+", (n++)->path});
        } else {
            lines += compare_folder(*o++, *n++);
        }
    }
    return comparison;
}

std::string report_file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw ReportUnreadable(path + ": " + std::strerror(errno));
    std::string text{std::istreambuf_iterator<char>(file), {}};
    if (file.bad())
        throw ReportUnreadable(path + ": cannot be read");
    return text;
}

}  // namespace permscope::report
