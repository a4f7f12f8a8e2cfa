#include "form/qt/row_model.hpp"

#include <climits>

namespace quorvel::form::qt {

RowModel::RowModel(QString title, QObject* parent)
    : QAbstractTableModel(parent), title_(std::move(title)) {}

int RowModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RowModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 1;
}

QVariant RowModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() != 0 || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole: {
      // For display only: the row keeps its bytes, whatever they decode to.
      const std::string_view text = rows_.text(static_cast<std::size_t>(index.row()));
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant RowModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section != 0) return {};
  if (role == Qt::DisplayRole) return title_;
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  return {};
}

Qt::ItemFlags RowModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void RowModel::append(const RowBatch& rows) {
  // The views count rows in int.
  const std::size_t room = static_cast<std::size_t>(INT_MAX) - rows_.size();
  if (rows.empty() || rows.size() > room) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
  rows_.append(rows);
  endInsertRows();
}

void RowModel::clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

}  // namespace quorvel::form::qt
