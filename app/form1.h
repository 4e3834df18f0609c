#pragma once
// Form1, Permscope's one window and its start object: the controls, the start-up sequence (Load),
// the folder read and group resolution it hands to the core, the handlers of the folder choice,
// the borderless frame and the export button.

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/drive_list.h"
#include "app/frame_drag.h"
#include "common/result_list.h"
#include "directory/directory_provider.h"
#include "export/application.h"
#include "platform/management.h"
#include "platform/system_sid_naming.h"
#include "rights/folder_read.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QTreeWidget;

namespace permscope::directory {
class DirectorySidNaming;
class GroupResolver;
}  // namespace permscope::directory

namespace permscope::app {

class DirList;
class ResultListModel;

// What the window works with. The program passes the real Linux services; tests may pass
// stand-ins behind the same interfaces.
struct Form1Services {
    std::unique_ptr<platform::ManagementLayer> management;
    std::unique_ptr<directory::DirectoryProvider> directory;
    std::unique_ptr<spreadsheet::ApplicationFactory> spreadsheet;
    std::function<std::vector<DriveEntry>()> drives;
};

// The program's real services: the Linux management layer, the LDAP directory, the desktop's
// spreadsheet program and the mounted volumes.
Form1Services make_linux_services();

// The object name of the window's message box, for assistive technology and tests. It tells the
// user what the lists alone cannot show (a directory that stopped answering, an export that could
// not be written); it does not block the window, and a later problem replaces the text of a box
// that is still open instead of stacking a second one.
inline constexpr const char* kProblemMessageName = "ProblemMessage";

class Form1 : public QWidget, private rights::ReadHooks {
    Q_OBJECT

  public:
    explicit Form1(Form1Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: domains, flat headers, drive tree, show, first read, colour key.
    void Load();

    // Reads the folder strpath (used unchanged) into the two lists, with a busy pointer.
    void find_dir_rights(const std::string& strpath);
    // Resolves one trustee into the lists; returns the created-entries list.
    std::string Group_check(std::string& strUserGroup, std::string MemberFrom,
                            std::string& strCreatedListEntries);

    ResultList& users() { return users_; }
    ResultList& groups() { return groups_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Controls and their looks (form1_controls.cpp).
    void create_controls();
    void create_inputs();
    void create_lists();
    void create_labels();
    void create_frame_controls();
    void set_tab_order();

    // Start-up pieces (form1_startup.cpp).
    void discover_domains();
    void fill_drive_list();

    // Folder choice (form1_selection.cpp).
    void Drive1_Change();
    void Dir1_Change();
    void Dir1_Click();
    void txtPath_KeyDown(int key_code, Qt::KeyboardModifiers shift);
    void Command2_Click();

    // Frame (form1_frame.cpp).
    bool title_mouse_event(QEvent* event);
    bool close_label_mouse_event(QEvent* event);
    void begin_drag(const QPointF& position);
    void drag_to(const QPointF& position);
    void end_drag();
    void show_hover_picture();

    void read_starting() override;

    Form1Services services_;
    QPixmap background_;
    ResultList users_;
    ResultList groups_;
    std::unique_ptr<directory::GroupResolver> resolver_;
    // Name the trustees that a folder's access list gives as SIDs alone: the machine's identity
    // service where it runs one, then the directory.
    std::unique_ptr<platform::SidNaming> system_sid_naming_;
    std::unique_ptr<directory::DirectorySidNaming> directory_sid_naming_;
    std::unique_ptr<platform::SidNamingChain> sid_naming_;

    QLineEdit* txtDomain = nullptr;
    DriveList* Drive1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command1 = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QComboBox* cboDomain = nullptr;
    QLineEdit* txtPath = nullptr;
    DirList* Dir1 = nullptr;
    QTreeView* LvUser = nullptr;
    QTreeView* LvGroups = nullptr;
    QLabel* lblDomain = nullptr;
    QLabel* lblPath = nullptr;
    QLabel* cmdEnde = nullptr;
    QWidget* LiRechts = nullptr;
    QWidget* LiUnten = nullptr;
    QWidget* LiOben = nullptr;
    QWidget* LiLinks = nullptr;
    QLabel* ImgEnde = nullptr;
    QLabel* lblFormHead = nullptr;

    ResultListModel* user_model_ = nullptr;
    ResultListModel* group_model_ = nullptr;

    // Title-strip drag.
    bool DragActive = false;
    DragStart drag_start_;
    // Where the platform ignores a client's move (Wayland), the window manager moves the window.
    bool system_move_ = false;
};

}  // namespace permscope::app
