// What a bulk edit, an import or a build of the fleet window would write.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// What a bulk edit, an import or a build would write, before it is written.
class FleetPreview : public QDialog {
    Q_OBJECT
  public:
    explicit FleetPreview(QWidget* parent);
    // `accept` names the button that writes.
    void show(const QString& summary, const QString& text, bool writable,
              const QString& accept = "Записать");
    QString text() const;

  signals:
    // F1: the help of its "helpKeyword" property, else of the fleet window.
    void helpRequested(const QString& keyword);

  private:
    QLabel* summary_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* write_ = nullptr;
};
