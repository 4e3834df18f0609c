// Form1's start-up sequence. Each statement runs under continue-on-error: a failing one is
// skipped and the next one runs; nothing is shown.

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTreeView>
#include <QTreeWidget>
#include <stdexcept>

#include "app/dir_list.h"
#include "app/form1.h"
#include "app/handler_guards.h"
#include "app/mo_dir_reading.h"
#include "app/mo_listview.h"
#include "app/mtrans.h"
#include "platform/management.h"
#include "rights/folder_reader.h"

namespace permscope::app {

namespace {

// The window's background and colour key: magenta, red 255, green 0, blue 255.
constexpr std::int32_t kTransparentColour = 0xFF00FF;

// A statement on an object that an earlier, skipped statement should have made fails as well.
template <typename T>
T& require(const std::unique_ptr<T>& object) {
    if (!object)
        throw std::runtime_error("object not set");
    return *object;
}

// A property as the text a control takes; a null value cannot be taken and fails.
QString property_text(const platform::PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return QString::fromStdString(*text);
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return QString::number(*number);
    throw std::runtime_error("property has no value");
}

}  // namespace

void Form1::Load() {
    discover_domains();
    skip_on_failure([&] {
        if (cboDomain->count() == 0)
            throw std::out_of_range("no entry 0");
        cboDomain->setCurrentIndex(0);
    });
    skip_on_failure([&] { Header_flat(*LvGroups); });
    skip_on_failure([&] { Header_flat(*LvUser); });
    skip_on_failure([&] { fill_drive_tree(*TreeView1, require(services_.management)); });
    skip_on_failure([&] {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
        show();
    });
    // The first read: the directory list's folder, the process's current one. The path box keeps
    // its first text.
    skip_on_failure([&] { find_dir_rights(Dir1->path().toStdString()); });
    // The drive list's entry names no folder ("/ [vda1]/"), so the directory list refuses it and
    // stays at the start folder. Without a current entry there is no drive root to go to ("" + "/"
    // would be "/"): the list stays as well.
    skip_on_failure([&] {
        if (Drive1->currentIndex() < 0)
            throw std::out_of_range("no current drive entry");
        Dir1->setPath(Drive1->currentText() + QLatin1Char('/'));
    });
    skip_on_failure([&] { TreeView1->setFrameShape(QFrame::NoFrame); });
    skip_on_failure([&] {
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, QColor(0xFF, 0x00, 0xFF));
        setPalette(palette);
    });
    skip_on_failure([&] { Color_transparent(*this, kTransparentColour); });
}

void Form1::discover_domains() {
    std::vector<std::unique_ptr<platform::ManagementObject>> domains;
    skip_on_failure([&] { domains = rights::domain_instances(require(services_.management)); });
    for (const auto& domain : domains) {
        // Two separate reads: one for the selector, one for the display field.
        skip_on_failure(
            [&] { cboDomain->addItem(property_text(require(domain).property("DnsForestName"))); });
        skip_on_failure(
            [&] { txtDomain->setText(property_text(require(domain).property("DnsForestName"))); });
    }
}

}  // namespace permscope::app
