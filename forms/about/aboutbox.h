// The about box: the program's name, version, and links to the web site and the support.
#pragma once

#include <QDialog>

class QLabel;

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    void FormCreate();
    void Label35Click(QLabel* clicked);  // Label35 and Label2: open the label's hint
    void ProgramIconClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void makeNotices(QWidget* Panel1);

    QLabel* ProgramIcon;
    QLabel* Label35;
    QLabel* Label2;
};
