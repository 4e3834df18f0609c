// Form1's controls: places in twips (converted at 15 twips per pixel), kinds, captions, fonts,
// colours, hidden flags, accessible names and the tab order.

#include <QComboBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include "app/controls.h"
#include "app/dir_list.h"
#include "app/drive_list.h"
#include "app/form1.h"
#include "app/mtrans.h"
#include "app/result_list_model.h"

namespace permscope::app {

namespace {

const QColor kInputBackground(0x40, 0x40, 0x40);
const QColor kLightText(0xE0, 0xE0, 0xE0);
const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kBorderColour(0x5A, 0x6B, 0x80);
// Until start-up switches on the colour key, the background is the picture's own dark tone.
const QColor kStartBackground(0x15, 0x19, 0x1F);

QRect twips_rect(int left, int top, int width, int height) {
    return QRect(twips_to_pixels(left), twips_to_pixels(top), twips_to_pixels(width),
                 twips_to_pixels(height));
}

template <typename Widget>
Widget* place(Widget* widget, const char* design_name, const QString& accessible_name,
              const QRect& pixels) {
    widget->setObjectName(QLatin1String(design_name));
    widget->setAccessibleName(accessible_name);
    widget->setGeometry(pixels);
    return widget;
}

// Input controls: light text on dark grey, whatever role the style paints them with.
void set_input_colours(QWidget* widget, const QColor& text) {
    QPalette palette = widget->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button})
        palette.setColor(role, kInputBackground);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(role, text);
    widget->setPalette(palette);
}

// Labels are transparent: only their white text is drawn over the window.
void set_label_colours(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kWhite);
    label->setPalette(palette);
    label->setAutoFillBackground(false);
}

void configure_list_view(QTreeView* view, ResultListModel* model, const std::vector<int>& widths) {
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);  // keeps a list of 100,000 rows cheap to lay out
    view->setSortingEnabled(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (std::size_t column = 0; column < widths.size(); ++column)
        header->resizeSection(static_cast<int>(column), twips_to_pixels(widths[column]));
}

QWidget* border_line(QWidget* parent, const char* design_name, const QString& accessible_name,
                     const QRect& pixels) {
    auto* line = place(new QWidget(parent), design_name, accessible_name, pixels);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, kBorderColour);
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

template <std::size_t N>
QStringList captions(const std::array<std::string_view, N>& columns) {
    QStringList titles;
    for (std::string_view column : columns)
        titles.append(QString::fromUtf8(column.data(), static_cast<qsizetype>(column.size())));
    return titles;
}

}  // namespace

void Form1::create_controls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Permscope"));
    setAccessibleName(QStringLiteral("Permscope"));
    setWindowIcon(QIcon(QStringLiteral(":/permscope/permscope.png")));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    allow_colour_key(*this);
    setFixedSize(twips_to_pixels(10650), twips_to_pixels(8895));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kStartBackground);
    setPalette(palette);
    setAutoFillBackground(true);

    create_inputs();
    create_lists();
    create_labels();
    create_frame_controls();
    set_tab_order();
}

void Form1::create_inputs() {
    txtDomain = place(new QLineEdit(this), "txtDomain", QStringLiteral("Domain"),
                      twips_rect(7440, 1560, 2775, 285));
    txtDomain->setFont(design_font(QStringLiteral("Arial"), 9));
    txtDomain->setReadOnly(true);
    set_input_colours(txtDomain, kWhite);

    Drive1 = place(new DriveList(this), "Drive1", QStringLiteral("Drive"),
                   twips_rect(240, 2280, 3135, 345));
    Drive1->setFont(design_font(QStringLiteral("Arial"), 9));
    set_input_colours(Drive1, kWhite);

    Command2 = place(new QPushButton(QStringLiteral("Excel Export"), this), "Command2",
                     QStringLiteral("Excel Export"), twips_rect(240, 8160, 3135, 252));
    Command2->setFont(design_font(QStringLiteral("MS Sans Serif"), 8));
    QPalette white_button = Command2->palette();
    white_button.setColor(QPalette::Button, kWhite);
    // Its own window colour, so that the key colour that start-up gives the window does not
    // tint the button's frame.
    white_button.setColor(QPalette::Window, kWhite);
    white_button.setColor(QPalette::ButtonText, Qt::black);
    Command2->setPalette(white_button);

    Command1 = place(new QPushButton(QStringLiteral("tt"), this), "Command1", QStringLiteral("tt"),
                     twips_rect(5040, 1320, 612, 252));
    Command1->setVisible(false);

    TreeView1 = place(new QTreeWidget(this), "TreeView1", QStringLiteral("Drive tree"),
                      twips_rect(240, 6495, 3135, 1920));
    TreeView1->setFont(design_font(QStringLiteral("Arial"), 9.75));
    TreeView1->setHeaderHidden(true);
    TreeView1->setVisible(false);

    cboDomain = place(new NamedComboBox(this), "cboDomain", QStringLiteral("Domain"),
                      twips_rect(7440, 1560, 2775, 345));
    cboDomain->setFont(design_font(QStringLiteral("Arial"), 9, true));
    set_input_colours(cboDomain, kLightText);
    cboDomain->setVisible(false);

    txtPath = place(new QLineEdit(QStringLiteral("/"), this), "txtPath", QStringLiteral("Path"),
                    twips_rect(240, 1560, 6495, 288));
    txtPath->setFont(design_font(QStringLiteral("Arial"), 9, true));
    set_input_colours(txtPath, kLightText);

    Dir1 = place(new DirList(this), "Dir1", QStringLiteral("Folders"),
                 twips_rect(240, 2760, 3135, 5190));
    Dir1->setFont(design_font(QStringLiteral("Arial"), 9));
    set_input_colours(Dir1, kLightText);
}

void Form1::create_lists() {
    user_model_ = new ResultListModel(users_, captions(kUserListColumns), this);
    LvUser = place(new QTreeView(this), "LvUser", QStringLiteral("Users"),
                   twips_rect(4050, 5040, 6135, 3375));
    LvUser->setFont(design_font(QStringLiteral("Arial"), 9));
    set_input_colours(LvUser, kLightText);
    configure_list_view(LvUser, user_model_, {1905, 1860, 2115});

    group_model_ = new ResultListModel(groups_, captions(kGroupListColumns), this);
    LvGroups = place(new QTreeView(this), "LvGroups", QStringLiteral("Groups"),
                     twips_rect(4080, 2295, 6135, 2160));
    LvGroups->setFont(design_font(QStringLiteral("Arial"), 9));
    set_input_colours(LvGroups, kLightText);
    // SubGroups starts zero wide: there, but unseen until the user drags it open.
    configure_list_view(LvGroups, group_model_, {1905, 1860, 0, 2115});
}

void Form1::create_labels() {
    lblDomain = place(new QLabel(QStringLiteral("Domain"), this), "lblDomain",
                      QStringLiteral("Domain"), twips_rect(8040, 1320, 2175, 255));
    lblDomain->setFont(design_font(QStringLiteral("Pristina"), 9, true, true));
    set_label_colours(lblDomain);

    lblPath = place(new QLabel(QStringLiteral("Path"), this), "lblPath", QStringLiteral("Path"),
                    twips_rect(240, 1320, 1695, 255));
    lblPath->setFont(design_font(QStringLiteral("Pristina"), 9, true, true));
    set_label_colours(lblPath);
}

void Form1::create_frame_controls() {
    cmdEnde =
        place(new QLabel(this), "cmdEnde", QStringLiteral("Close"), twips_rect(9840, 0, 855, 495));
    cmdEnde->setFont(design_font(QStringLiteral("MS Sans Serif"), 24));
    cmdEnde->setToolTip(QStringLiteral("Close"));
    cmdEnde->setMouseTracking(true);
    set_label_colours(cmdEnde);

    // The lines run along the client area's edges: top and left at 0, right at 10635 twips,
    // bottom at 8880 twips (the bottom one reaches one pixel past each side).
    LiRechts = border_line(this, "LiRechts", QStringLiteral("Right border"),
                           QRect(twips_to_pixels(10635), 0, 1, twips_to_pixels(8880) + 1));
    LiUnten = border_line(
        this, "LiUnten", QStringLiteral("Bottom border"),
        QRect(twips_to_pixels(-15), twips_to_pixels(8880), twips_to_pixels(10680 + 15) + 1, 1));
    LiOben = border_line(this, "LiOben", QStringLiteral("Top border"),
                         QRect(0, 0, twips_to_pixels(10635) + 1, 1));
    LiLinks = border_line(this, "LiLinks", QStringLiteral("Left border"),
                          QRect(0, 0, 1, twips_to_pixels(8880) + 1));

    ImgEnde = place(new QLabel(this), "ImgEnde", QStringLiteral("Close picture"),
                    twips_rect(9840, 0, 855, 495));
    ImgEnde->setAttribute(Qt::WA_TransparentForMouseEvents);
    ImgEnde->setAutoFillBackground(false);

    lblFormHead = place(new QLabel(this), "lblFormHead", QStringLiteral("Title"),
                        twips_rect(0, 0, 10695, 1215));
    lblFormHead->setMouseTracking(true);
    set_label_colours(lblFormHead);

    // The title strip lies under the close label and its picture, so that the close label gets
    // its own mouse events in the corner they share.
    lblFormHead->lower();
    ImgEnde->raise();
    cmdEnde->raise();
    for (QWidget* line : {LiRechts, LiUnten, LiOben, LiLinks})
        line->raise();

    lblFormHead->installEventFilter(this);
    cmdEnde->installEventFilter(this);
}

void Form1::set_tab_order() {
    // The directory list comes first and so has the focus when the window opens.
    QWidget::setTabOrder(Dir1, txtDomain);
    QWidget::setTabOrder(txtDomain, Drive1);
    QWidget::setTabOrder(Drive1, Command2);
    QWidget::setTabOrder(Command2, cboDomain);
    QWidget::setTabOrder(cboDomain, txtPath);
    QWidget::setTabOrder(txtPath, LvUser);
    QWidget::setTabOrder(LvUser, LvGroups);
    QWidget::setTabOrder(LvGroups, TreeView1);
    QWidget::setTabOrder(TreeView1, Command1);
    Dir1->setFocus(Qt::OtherFocusReason);
    txtPath->installEventFilter(this);
}

}  // namespace permscope::app
