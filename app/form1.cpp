// Form1: the program's real services, construction, the folder read and group resolution it hands
// to the core, the window's message box, painting.

#include "app/form1.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include "app/dir_list.h"
#include "app/handler_guards.h"
#include "app/mtrans.h"
#include "app/result_list_model.h"
#include "directory/directory_provider.h"
#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "directory/sid_names.h"
#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "platform/linux_management.h"
#include "platform/management.h"
#include "platform/volumes.h"

namespace permscope::app {

namespace {

// Shows text in the window's message box, opening it if it is not open.
QMessageBox* show_problem(QWidget& window, const QString& text) {
    auto* box = window.findChild<QMessageBox*>(QLatin1String(kProblemMessageName),
                                               Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Permscope"), QString(),
                              QMessageBox::Ok, &window);
        box->setObjectName(QLatin1String(kProblemMessageName));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->setAccessibleName(text);
    box->show();
    box->raise();
    return box;
}

std::vector<DriveEntry> mounted_drives() {
    std::vector<DriveEntry> drives;
    for (const platform::Volume& volume : platform::list_volumes())
        drives.push_back(DriveEntry{QString::fromStdString(platform::drive_list_entry_text(volume)),
                                    QString::fromStdString(volume.mount_point)});
    return drives;
}

}  // namespace

Form1Services make_linux_services() {
    Form1Services services;
    services.management = platform::make_linux_management();
    services.directory = directory::make_ldap_directory_provider();
    services.spreadsheet = spreadsheet::make_desktop_spreadsheet_factory();
    services.drives = mounted_drives;
    return services;
}

Form1::Form1(Form1Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    background_ = QPixmap(QStringLiteral(":/permscope/background.jpg"));
    create_controls();
    fill_drive_list();
    const auto domain_name = [this] { return cboDomain->currentText().toStdString(); };
    resolver_ = std::make_unique<directory::GroupResolver>(*services_.directory, domain_name);
    system_sid_naming_ = platform::make_system_sid_naming();
    directory_sid_naming_ =
        std::make_unique<directory::DirectorySidNaming>(*services_.directory, domain_name);
    sid_naming_ =
        std::make_unique<platform::SidNamingChain>(*system_sid_naming_, *directory_sid_naming_);

    connect(Drive1, &DriveList::Change, this, &Form1::Drive1_Change);
    connect(Dir1, &DirList::Change, this, &Form1::Dir1_Change);
    connect(Dir1, &DirList::Click, this, &Form1::Dir1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

Form1::~Form1() = default;

void Form1::fill_drive_list() {
    skip_on_failure([&] {
        if (!services_.drives)
            return;
        Drive1->set_entries(services_.drives());
        Drive1->select_volume_of(Dir1->path());
    });
}

void Form1::find_dir_rights(const std::string& strpath) {
    const BusyPointer busy;
    rights::FolderReadOutcome outcome;
    std::string directory_problem;
    {
        // The views are told once, when the read is over, not once per row.
        const ModelBatch group_batch(*group_model_);
        const ModelBatch user_batch(*user_model_);
        const rights::GroupCheck group_check = [this](std::string& strUserGroup,
                                                      std::string MemberFrom,
                                                      std::string& strCreatedListEntries) {
            return Group_check(strUserGroup, std::move(MemberFrom), strCreatedListEntries);
        };
        // The read absorbs its own failures; anything that still escapes must not reach the
        // event loop.
        skip_on_failure([&] {
            outcome = rights::find_dir_rights(strpath, users_, groups_, *services_.management,
                                              group_check, *this, sid_naming_.get());
        });
        skip_on_failure([&] { directory_problem = resolver_->folder_read_finished(); });
    }
    // One message a line: the directory's, then what the read met on the share.
    std::string problem = directory_problem;
    if (!problem.empty() && !outcome.problem.empty())
        problem += "\n";
    problem += outcome.problem;
    if (!problem.empty())
        show_problem(*this, QString::fromStdString(problem));
    // The lists now show other texts, so other pixels may carry the key colour.
    refresh_colour_key(*this);
}

std::string Form1::Group_check(std::string& strUserGroup, std::string MemberFrom,
                               std::string& strCreatedListEntries) {
    return resolver_->Group_check(users_, groups_, strUserGroup, std::move(MemberFrom),
                                  strCreatedListEntries);
}

void Form1::read_starting() {
    TreeView1->setCursor(Qt::WaitCursor);
    repaint();
    // The one moment a read gives way: a choice already queued runs its own read here.
    QCoreApplication::processEvents();
}

void Form1::Command2_Click() {
    std::string problem;
    {
        const BusyPointer busy;
        skip_on_failure([&] {
            problem = spreadsheet::Excel_export(groups_, users_, true, *services_.spreadsheet);
        });
    }
    if (!problem.empty())
        show_problem(*this, QString::fromStdString(problem));
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblFormHead)
        return title_mouse_event(event);
    if (watched == cmdEnde)
        return close_label_mouse_event(event);
    if (watched == txtPath && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            txtPath_KeyDown(key->key(), key->modifiers());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // The picture covers the window but for a strip at the bottom, where the background colour
    // (the colour key, once start-up has set it) shows.
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

void Form1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh_colour_key(*this);
}

}  // namespace permscope::app
