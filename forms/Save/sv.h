// The save-target dialog: names the file after a MAC address, a computer name,
// the common default.cfg, or a free path. Its only output is the main window's
// current file.
#pragma once

#include <QDialog>

class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

class TSV : public QDialog {
    Q_OBJECT
  public:
    // `banner` is the main window's StaticText2: its text is the file name, its
    // "hint" the path.
    explicit TSV(QLabel* banner, QWidget* parent = nullptr);

    QFileDialog* saveDialog();  // SD

    // "Сохранить как...": the file option with the current file's path or name, or the MAC
    // address option when there is no current file.
    void prepareSaveAs(const QString& path);
    // The save dialog starts in the folder of `file`, the file the editor shows (none: where
    // it was).
    void startIn(const QString& file) { shownFile_ = file; }

  signals:
    void helpRequested(QWidget* button);  // "?" asks the main window for the topic FSAVE

  public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void MaskEdit1Change();
    void MaskEdit1Exit();
    void Edit1Change();
    void Edit2Change();
    void Label1Click();
    void SpeedButton4Click();
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void makeNotice();
    void makeChoices();
    QWidget* makeHelpPanel();
    void layOut(QWidget* Panel1);
    void setTarget(const QString& path);
    void clearTarget();
    bool pasteMac();
    void refuseMask();
    // The path chosen in the save dialog; empty when cancelled.
    QString runSaveDialog();

    QLabel* banner_;
    QString shownFile_;
    bool refusing_ = false;
    QPlainTextEdit* Memo1;
    QRadioButton* RadioButton1;
    QLineEdit* MaskEdit1;
    QRadioButton* RadioButton2;
    QLineEdit* Edit1;
    QRadioButton* RadioButton4;
    QLabel* Label1;
    QRadioButton* RadioButton3;
    QLineEdit* Edit2;
    QPushButton* Button2;
    QPushButton* Button1;
    QPushButton* Button3;
    QToolButton* SpeedButton4;
    QFileDialog* SD = nullptr;
};

// A MAC address in any spelling orbex::parseMac takes, as AA^BB^CC^DD^EE^FF; an empty text
// when it is none.
QString macForMask(const QString& text);
