// The rows of the main window's pages: each parameter's caption, its control, "?" and "D", and
// for a port "Настроить", in its page's grid; and the order the focus takes through them.
#pragma once

#include <QObject>
#include <QSize>
#include <utility>
#include <vector>

#include "model/catalogue.h"

class QGridLayout;
class QLabel;
class QTabWidget;
class QToolButton;
class QWidget;

class PageRows : public QObject {
    Q_OBJECT
  public:
    // A tab of `tabs` for every page, each with its empty grid. `labelWatcher` gets the events
    // of every row's caption.
    PageRows(QTabWidget* tabs, QObject* labelWatcher);

    static std::size_t pageIndex(orbex::Page page);
    // The page of a tab, where its rows are (inside a scroll area while the pages scroll).
    QWidget* page(std::size_t i) const { return pages_[i]; }
    // Each page in a scroll area of its own, for a window smaller than its pages.
    void scrollPages();
    bool scrolling() const { return scrolling_; }
    // The tab of the serial ports.
    int portsPage() const { return portsPage_; }
    // The row of `p` around `control` (made by controls::make), in its page's grid.
    void add(const orbex::Param& p, QWidget* control);
    // A row's caption; nullptr while its row is not made.
    QLabel* label(orbex::Id id) const { return labels_[static_cast<std::size_t>(id)]; }
    // A caption of its own (not an edit's), underlined under the pointer.
    bool isPlainLabel(const QLabel* label) const;
    void addPlainLabel(QLabel* label) { plainLabels_.push_back(label); }
    // The focus goes through the made pages in page order, each page's controls in their tab
    // places (rows without one go by their row), and then to `after`, in order.
    void setTabOrder(const std::vector<QWidget*>& after);

  signals:
    void speedButtonClicked(QObject* button);  // a "?" or "D"
    void portButtonClicked(int port);          // a "Настроить", by its port's number

  private:
    QToolButton* makeSpeedButton(QWidget* page, const QString& caption, const orbex::Param& p);
    void addPortButton(std::size_t page, int row);

    QTabWidget* tabs_;
    QObject* labelWatcher_;
    std::vector<QLabel*> labels_;               // by catalogue index
    std::vector<QLabel*> plainLabels_;          // labels of their own (underline under the pointer)
    QSize speedButtonSize_;                     // the least size of a "?" or "D" button
    QSize helpButtonHint_, defaultButtonHint_;  // the size hints the rows' "?" and "D" share
    std::vector<QGridLayout*> grids_;           // the pages' grids, in page order
    std::vector<QWidget*> pages_;               // in page order
    bool scrolling_ = false;
    // Each page's widgets that take the focus, with their tab places; empty for a page whose
    // rows are not made yet.
    std::vector<std::vector<std::pair<int, QWidget*>>> tabOrders_;
    int ports_ = 0;  // "Настроить" buttons made so far
    int portsPage_ = -1;
};
