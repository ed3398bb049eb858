// What a bulk edit or an import of the fleet window would write.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// What a bulk edit or an import would write, before it is written.
class FleetPreview : public QDialog {
    Q_OBJECT
  public:
    explicit FleetPreview(QWidget* parent);
    void show(const QString& summary, const QString& text, bool writable);
    QString text() const;

  signals:
    // F1: the help of its "helpKeyword" property, else of the fleet window.
    void helpRequested(const QString& keyword);

  private:
    QLabel* summary_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* write_ = nullptr;
};
