#include "app/CheckableListModel.h"

namespace tw::app {

CheckableListModel::CheckableListModel(lists::CheckableList &list, QStringList headers,
                                       QObject *parent)
    : QAbstractTableModel(parent), m_list(list), m_headers(std::move(headers)) {
  m_list.setObserver(this);
}

CheckableListModel::~CheckableListModel() { m_list.setObserver(nullptr); }

void CheckableListModel::setColumnAlignment(int column, Qt::Alignment alignment) {
  while (m_alignments.size() <= column) m_alignments.append(Qt::AlignLeft | Qt::AlignVCenter);
  m_alignments[column] = alignment;
}

int CheckableListModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : m_list.count();
}

int CheckableListModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

/// True for an index of this model that names a row and column it has.
static bool isCell(const QAbstractItemModel &model, const QModelIndex &index) {
  return index.isValid() && index.model() == &model && !index.parent().isValid() &&
         index.row() < model.rowCount() && index.column() < model.columnCount();
}

QVariant CheckableListModel::data(const QModelIndex &index, int role) const {
  if (!isCell(*this, index)) return {};
  const lists::Row &row = m_list.row(index.row());
  const bool first = index.column() == 0;
  switch (role) {
  case Qt::DisplayRole:
  case Qt::ToolTipRole: {
    const std::string &text =
        first ? row.caption : row.subItem(static_cast<std::size_t>(index.column() - 1));
    return QString::fromStdString(text);
  }
  case Qt::CheckStateRole:
    if (!first) return {};
    return row.checked ? Qt::Checked : Qt::Unchecked;
  case Qt::TextAlignmentRole:
    if (index.column() >= m_alignments.size()) return {};
    return QVariant::fromValue(m_alignments.at(index.column()));
  case Qt::DecorationRole:
    if (!first || row.imageIndex < 0 || row.imageIndex >= m_images.size()) return {};
    return m_images.at(row.imageIndex);
  default:
    return {};
  }
}

QVariant CheckableListModel::headerData(int section, Qt::Orientation orientation,
                                        int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section < 0 || section >= m_headers.size()) return {};
  return m_headers.at(section);
}

Qt::ItemFlags CheckableListModel::flags(const QModelIndex &index) const {
  if (!isCell(*this, index)) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  // Captions are read-only; only the check box of the first column changes.
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool CheckableListModel::setData(const QModelIndex &index, const QVariant &value, int role) {
  if (role != Qt::CheckStateRole || !isCell(*this, index) || index.column() != 0) return false;
  const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
  // The list announces the change through rowsChanged, which emits dataChanged.
  m_list.setChecked(index.row(), checked);
  return true;
}

void CheckableListModel::rowsAboutToBeInserted(int first, int last) {
  beginInsertRows({}, first, last);
}

void CheckableListModel::rowsInserted() { endInsertRows(); }

void CheckableListModel::rowsAboutToBeRemoved(int first, int last) {
  beginRemoveRows({}, first, last);
}

void CheckableListModel::rowsRemoved() { endRemoveRows(); }

void CheckableListModel::rowsChanged(int first, int last) {
  emit dataChanged(index(first, 0), index(last, columnCount() - 1),
                   {Qt::DisplayRole, Qt::ToolTipRole, Qt::CheckStateRole, Qt::DecorationRole});
}

void CheckableListModel::aboutToReset() { beginResetModel(); }

void CheckableListModel::reset() { endResetModel(); }

} // namespace tw::app
