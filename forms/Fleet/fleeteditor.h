// The bulk edit of the fleet window: which parameters to set or unset in the chosen files.
#pragma once

#include <QDialog>
#include <utility>
#include <vector>

#include "model/edit.h"

class QComboBox;
class QGridLayout;

// Chosen parameters set or unset, each with the control and value table of its row in the
// main window; a control left "По умолчанию" makes the parameter unset.
class FleetEditor : public QDialog {
    Q_OBJECT
  public:
    explicit FleetEditor(QWidget* parent);
    void clear();
    void addKey(orbex::Id id);
    std::vector<orbex::Change> changes() const;

  signals:
    // F1: the help of its "helpKeyword" property, else of the fleet window.
    void helpRequested(const QString& keyword);

  private:
    QComboBox* keyList_ = nullptr;
    QGridLayout* rows_ = nullptr;
    QWidget* rowsBox_ = nullptr;
    std::vector<std::pair<orbex::Id, QWidget*>> controls_;
};
