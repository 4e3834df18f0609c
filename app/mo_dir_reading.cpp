#include "app/mo_dir_reading.h"

#include <QTreeWidget>
#include <filesystem>
#include <optional>
#include <string>

#include "app/controls.h"
#include "platform/management.h"

namespace permscope::app {

namespace {

constexpr int kLocalFixedDisk = 3;
constexpr int kTreeIndentTwips = 250;

bool equals_number(const platform::PropertyValue& value, std::int64_t number) {
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return *integer == number;
    if (const auto* text = std::get_if<std::string>(&value))
        return *text == std::to_string(number);
    return false;
}

// A property that has to carry a text (a node's caption); a null value fails like any read.
std::string text_property(const platform::ManagementObject& object, std::string_view name) {
    const platform::PropertyValue value = object.property(name);
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* integer = std::get_if<std::int64_t>(&value))
        return std::to_string(*integer);
    throw platform::ManagementError("property " + std::string(name) + " has no value");
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool is_hidden(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

void add_disk(QTreeWidget& tree, const platform::ManagementObject& disk) {
    const std::string caption = text_property(disk, "Caption");
    auto* node = new QTreeWidgetItem(&tree, QStringList{QString::fromStdString(caption)});
    // The listing and the directory tests throw on failure (filesystem_error), ending the fill.
    for (const std::filesystem::directory_entry& entry :
         std::filesystem::directory_iterator(caption)) {
        const std::string name = entry.path().filename().string();
        if (name.empty())
            break;
        if (is_hidden(name))
            continue;
        // The caption is read again for every entry, as each test names the entry afresh.
        const std::string path = join_path(text_property(disk, "Caption"), name);
        if (std::filesystem::is_directory(std::filesystem::path(path)))
            new QTreeWidgetItem(node, QStringList{QString::fromStdString(name)});
    }
}

}  // namespace

void fill_drive_tree(QTreeWidget& tree, platform::ManagementLayer& management) {
    tree.setIndentation(twips_to_pixels(kTreeIndentTwips));
    tree.setRootIsDecorated(true);
    tree.setToolTip(QString());

    auto locator = management.CreateLocator("WbemScripting.SWbemLocator");
    auto services =
        locator->ConnectServer("", "root\\cimv2", "", "", std::nullopt, std::nullopt, 128);
    const auto disks = services->InstancesOf("Win32_LogicalDisk");
    for (const auto& disk : disks) {
        if (!equals_number(disk->property("drivetype"), kLocalFixedDisk))
            continue;
        add_disk(tree, *disk);
    }
}

}  // namespace permscope::app
