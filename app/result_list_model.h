#pragma once
// Shows one result list (LvUser or LvGroups) in a list view in report view: column 0 is the
// row's text, column n its sub-item n. Rows stay in the list's order; the model never sorts.
//
// The model follows the list through its observer. During a folder read, which appends and
// changes rows by the hundred thousand, it stops following and resets once at the end, so the
// view is not repainted per row. Reads nest (a read gives way to pending events once), so the
// batches count their depth.

#include <QAbstractTableModel>
#include <QStringList>

#include "common/result_list.h"

namespace permscope::app {

class ResultListModel : public QAbstractTableModel, private ResultList::Observer {
    Q_OBJECT

  public:
    ResultListModel(ResultList& list, QStringList column_titles, QObject* parent = nullptr);
    ~ResultListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A batch of changes: the view is told once, when the outermost batch ends.
    void begin_batch();
    void end_batch();

  private:
    bool in_batch() const { return batch_depth_ > 0; }
    void list_cleared() override;
    void row_appended(ResultList::Position position) override;
    void row_changed(ResultList::Position position) override;

    ResultList& list_;
    QStringList column_titles_;
    int batch_depth_ = 0;
};

// RAII for ResultListModel's batches.
class ModelBatch {
  public:
    explicit ModelBatch(ResultListModel& model) : model_(model) { model_.begin_batch(); }
    ~ModelBatch() { model_.end_batch(); }
    ModelBatch(const ModelBatch&) = delete;
    ModelBatch& operator=(const ModelBatch&) = delete;

  private:
    ResultListModel& model_;
};

}  // namespace permscope::app
