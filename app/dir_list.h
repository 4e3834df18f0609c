#pragma once
// Dir1, the directory list: the open folder's ancestors from "/" down to the open folder, then the
// open folder's sub-folders (hidden ones left out) by name. A single click or the arrow keys select
// an entry (Click); a double click or Enter opens it (Change). The open folder's path is absolute
// and cleaned, without a trailing "/" except for "/" itself.
//
// Exactly one entry is highlighted at any time. Every change of it that the user makes raises
// Click once, for the entry that ends highlighted: a key at once, the mouse (any button, or a
// press dragged over other entries) when its last button is released.

#include <QListWidget>
#include <QString>
#include <optional>

namespace permscope::app {

class DirList : public QListWidget {
    Q_OBJECT

  public:
    // Opens the process's current folder.
    explicit DirList(QWidget* parent = nullptr);

    // The open folder.
    QString path() const { return path_; }
    // Opens folder. A text that does not name an existing folder is refused: the result is false
    // and nothing changes. Opening a folder other than the open one emits Change.
    bool setPath(const QString& folder);
    // The full path of the selected entry (the open folder when nothing else is selected).
    QString selected_path() const;

    // The cleaned absolute form of text when it names an existing folder; relative texts are
    // taken from the process's current folder.
    static std::optional<QString> existing_folder(const QString& text);

  signals:
    // The open folder changed.
    void Change();
    // The user selected an entry with the mouse or the keyboard.
    void Click();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;

  private:
    enum class EntryKind { Ancestor, OpenFolder, SubFolder };
    void fill();
    void add_entry(const QString& name, const QString& full_path, int depth, EntryKind kind);
    void open_entry(QListWidgetItem* item);
    QString path_;

    // A mouse press and what follows until its last button is released.
    struct MouseGesture {
        const QListWidgetItem* before = nullptr;  // highlighted when the press came
        bool clicks_entry = false;                // a left press on an entry: a click
    };
    std::optional<MouseGesture> gesture_;
};

}  // namespace permscope::app
