// The result list's item model: a view over a RowStore. Private to the Qt backend (and its
// benchmark).
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "form/rows.hpp"

namespace quorvel::form::qt {

class RowModel final : public QAbstractTableModel {
 public:
  RowModel(QString title, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // One insertion for the whole batch.
  void append(const RowBatch& rows);
  void clear();
  const RowStore& rows() const { return rows_; }

 private:
  RowStore rows_;
  QString title_;
};

}  // namespace quorvel::form::qt
