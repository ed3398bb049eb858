#include "forms/Fleet/fleetproxy.h"

#include "forms/Fleet/fleetmodel.h"

FleetProxy::FleetProxy(FleetModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    setSourceModel(model);
    setSortRole(FleetModel::kSortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setDynamicSortFilter(true);
}

void FleetProxy::setSearch(const QString& text) {
    QString folded = text.toCaseFolded();
    if (folded == search_) return;
    search_ = std::move(folded);
    // Filtered and sorted anew, the table laid out once: filtering the rows shown would tell
    // the view of every run of rows that goes, each costing a walk over all rows.
    invalidate();
}

void FleetProxy::setFinding(std::optional<std::string> code) {
    if (code == finding_) return;
    finding_ = std::move(code);
    invalidate();
}

bool FleetProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    if (left.column() == FleetModel::Findings) return QSortFilterProxyModel::lessThan(left, right);
    return model_->sortText(left.row(), left.column())
               .compare(model_->sortText(right.row(), right.column()), sortCaseSensitivity()) < 0;
}

bool FleetProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid()) return true;
    if (finding_ && !model_->hasFinding(sourceRow, *finding_)) return false;
    return search_.isEmpty() || model_->shows(sourceRow, search_);
}
