#pragma once
// The one Qt adapter over the program's checkable lists: rows, columns and roles of a
// lists::CheckableList for a view. Column 0 is the caption (with the check box and picture),
// column i the sub-item i - 1. The list keeps the data and its rules; the adapter follows its
// changes through the list's observer and forwards the user's check marks to it.

#include "lists/CheckableList.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QStringList>

namespace tw::app {

class CheckableListModel : public QAbstractTableModel, private lists::CheckableListObserver {
  Q_OBJECT

public:
  /// Shows `list` (which must outlive the model) with the column titles `headers`.
  CheckableListModel(lists::CheckableList &list, QStringList headers, QObject *parent = nullptr);
  ~CheckableListModel() override;

  lists::CheckableList &list() { return m_list; }
  /// The pictures that rows show by their picture index (an image list).
  void setImages(QList<QIcon> images) { m_images = std::move(images); }
  /// Aligns the texts of `column` (left by default).
  void setColumnAlignment(int column, Qt::Alignment alignment);

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
  void rowsAboutToBeInserted(int first, int last) override;
  void rowsInserted() override;
  void rowsAboutToBeRemoved(int first, int last) override;
  void rowsRemoved() override;
  void rowsChanged(int first, int last) override;
  void aboutToReset() override;
  void reset() override;

  lists::CheckableList &m_list;
  QStringList m_headers;
  QList<QIcon> m_images;
  QList<Qt::Alignment> m_alignments;
};

} // namespace tw::app
