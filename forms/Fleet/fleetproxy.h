// The fleet table as shown.
#pragma once

#include <QSortFilterProxyModel>
#include <optional>
#include <string>

class FleetModel;

// The table as shown: sorted by a column, filtered by a text any cell of the row shows,
// regardless of case, and by a finding the row has.
class FleetProxy : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    explicit FleetProxy(FleetModel* model, QObject* parent = nullptr);
    void setSearch(const QString& text);
    // Only the rows with a finding of the code (FleetModel::hasFinding); none: every row.
    void setFinding(std::optional<std::string> code);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    FleetModel* model_;
    QString search_;  // case-folded
    std::optional<std::string> finding_;
};
