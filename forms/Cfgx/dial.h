// The review dialog: the table of every set parameter, as the save will write
// it.
#pragma once

#include <QDialog>

#include "model/review.h"

class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;

class Tdial : public QDialog {
    Q_OBJECT
  public:
    explicit Tdial(QWidget* parent = nullptr);

    // The table lives here; the save writes the one this dialog holds.
    void setTable(orbex::ReviewTable table);
    const orbex::ReviewTable& reviewTable() const { return table_; }

  public slots:
    void Button1Click();
    void N1Click();  // key
    void N2Click();  // description
    void N3Click();  // value as shown
    void N4Click();  // the whole setting

  private:
    void makeGrid();
    void makeMenu();
    // The data row of the grid's current cell; nullptr on the trailing empty row.
    const orbex::ReviewRow* currentRow() const;
    void copy(const QString& text);

    orbex::ReviewTable table_;
    QLabel* StaticText1;
    QTableWidget* grid;
    QMenu* PopupMenu1;
    QPushButton* Button1;
};
