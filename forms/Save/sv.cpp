#include "forms/Save/sv.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "forms/buttons.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "forms/workdir.h"
#include "model/mac.h"

namespace {

// The file-name part of a path written with "/" or "\".
QString fileNameOf(const QString& path) {
    const int cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return path.mid(cut + 1);
}

QString upperLatin(QString s) {
    for (QChar& c : s)
        if (c >= 'a' && c <= 'z') c = QChar(c.unicode() - 'a' + 'A');
    return s;
}

}  // namespace

QString macForMask(const QString& text) {
    const auto mac = orbex::parseMac(ss(text));
    return mac ? qs(*mac) : QString();
}

TSV::TSV(QLabel* banner, QWidget* parent) : QDialog(parent), banner_(banner) {
    setObjectName("SV");
    setWindowTitle("Параметры сохрнения");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    makeNotice();
    makeChoices();
    Button2 = pushButton(this, "Button2", "Обзор.", this, &TSV::Button2Click);
    Button1 = pushButton(this, "Button1", "ОК", this, &TSV::Button1Click);
    Button1->setDefault(true);
    Button3 = pushButton(this, "Button3", "Отмена", this, &TSV::Button3Click);
    layOut(makeHelpPanel());
    // Its usual size, or what its layout needs where larger text needs more.
    setFixedSize(sizeHint().expandedTo(QSize(405, 266)));
}

// The notice above the choices: no file name is known yet.
void TSV::makeNotice() {
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setPlainText("\nНе задано имя файла для сохранения:\nВыберите удобный Вам вариант:");
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->viewport()->setAutoFillBackground(false);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 4);
    QTextOption centred(Qt::AlignHCenter);
    Memo1->document()->setDefaultTextOption(centred);
}

// The four targets, each with its field: MAC address, computer name, default.cfg, a path.
void TSV::makeChoices() {
    const auto radio = [this](const char* name, const QString& caption) {
        auto* r = new QRadioButton(caption, this);
        r->setObjectName(name);
        return r;
    };
    const auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        return e;
    };
    RadioButton1 = radio("RadioButton1", "МАК адрес :");
    RadioButton2 = radio("RadioButton2", "Имя компьютера");
    RadioButton4 = radio("RadioButton4", "Общий");
    RadioButton3 = radio("RadioButton3", "Файл");
    auto* group = new QButtonGroup(this);
    for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton4, RadioButton3})
        group->addButton(r);
    RadioButton1->setChecked(true);

    MaskEdit1 = edit("MaskEdit1");
    MaskEdit1->setInputMask("NN^NN^NN^NN^NN^NN; ");
    MaskEdit1->setText("AA^BB^CC^DD^EE^FF");
    MaskEdit1->installEventFilter(this);
    Edit1 = edit("Edit1");
    Edit2 = edit("Edit2");
    connect(MaskEdit1, &QLineEdit::textChanged, this, &TSV::MaskEdit1Change);
    connect(Edit1, &QLineEdit::textChanged, this, &TSV::Edit1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &TSV::Edit2Change);

    Label1 = new QLabel("Будет создан файл default.cfg", this);
    Label1->setObjectName("Label1");
    Label1->installEventFilter(this);
}

// The "?" button at the top right, on a panel of its own.
QWidget* TSV::makeHelpPanel() {
    auto* Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    SpeedButton4 = speedButton(Panel1, "SpeedButton4", "?", "FSAVE");
    connect(SpeedButton4, &QToolButton::clicked, this, &TSV::SpeedButton4Click);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addStretch();
    panelLayout->addWidget(SpeedButton4);

    return Panel1;
}

void TSV::layOut(QWidget* Panel1) {
    auto* grid = new QGridLayout(this);
    grid->addWidget(Panel1, 0, 0, 1, 3);
    grid->addWidget(Memo1, 1, 0, 1, 3);
    grid->addWidget(RadioButton1, 2, 0);
    grid->addWidget(MaskEdit1, 2, 1);
    grid->addWidget(RadioButton2, 3, 0);
    grid->addWidget(Edit1, 3, 1);
    grid->addWidget(RadioButton4, 4, 0);
    grid->addWidget(Label1, 4, 1, 1, 2);
    grid->addWidget(RadioButton3, 5, 0);
    grid->addWidget(Edit2, 5, 1);
    grid->addWidget(Button2, 5, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button3);
    buttons->addStretch();
    grid->addLayout(buttons, 6, 0, 1, 3);
    grid->setRowStretch(1, 1);
}

void TSV::prepareSaveAs(const QString& path) {
    RadioButton3->setChecked(true);
    if (path.isEmpty()) {
        RadioButton1->setChecked(true);
    } else {
        Edit2->setText(path);
    }
}

void TSV::setTarget(const QString& path) {
    banner_->setText(fileNameOf(path));
    banner_->setProperty("hint", path);
    banner_->setToolTip(path);
}

void TSV::clearTarget() {
    banner_->setProperty("hint", QString());
    banner_->setToolTip(QString());
}

// Made at its first use: a file dialog is slow to build and would slow down every start.
QFileDialog* TSV::saveDialog() {
    if (SD) return SD;
    SD = new QFileDialog(this);
    SD->setObjectName("SD");
    SD->setAcceptMode(QFileDialog::AcceptSave);
    SD->setFileMode(QFileDialog::AnyFile);
    SD->setDefaultSuffix("cfg");
    SD->setNameFilter("Настройки ORBEX (*.cfg)");
    if (QDir(kConfigFolder).exists()) SD->setDirectory(kConfigFolder);
    return SD;
}

QString TSV::runSaveDialog() {
    startInFolderOf(saveDialog(), shownFile_);
    return prompts::filePath(saveDialog());
}

void TSV::Button1Click() {
    if (!MaskEdit1->hasAcceptableInput()) {
        refuseMask();
        return;
    }
    KeepWorkingDirectory keep;
    MaskEdit1->setText(upperLatin(MaskEdit1->text()));
    if (RadioButton3->isChecked()) {
        const QString name = fileNameOf(Edit2->text());
        const int dot = name.lastIndexOf('.');
        if (dot < 0 || name.mid(dot) != ".cfg") Edit2->setText(Edit2->text() + ".cfg");
        setTarget(Edit2->text());
    } else {
        QString proposed = RadioButton1->isChecked()   ? MaskEdit1->text() + ".cfg"
                           : RadioButton2->isChecked() ? Edit1->text() + ".cfg"
                                                       : QString("default.cfg");
        banner_->setProperty("hint", proposed);
        saveDialog()->selectFile(proposed);
        if (const QString chosen = runSaveDialog(); !chosen.isEmpty()) {
            setTarget(QDir::toNativeSeparators(chosen));
        } else {
            clearTarget();
        }
    }
    accept();
}

void TSV::Button2Click() {
    KeepWorkingDirectory keep;
    if (const QString chosen = runSaveDialog(); !chosen.isEmpty()) {
        Edit2->setText(QDir::toNativeSeparators(chosen));
    } else {
        RadioButton1->setChecked(true);
    }
}

void TSV::Button3Click() {
    clearTarget();
    QDialog::reject();
}

void TSV::reject() {
    Button3Click();
}  // Esc is the cancel button

void TSV::MaskEdit1Change() {
    RadioButton1->setChecked(true);
}

void TSV::MaskEdit1Exit() {
    MaskEdit1->setText(upperLatin(MaskEdit1->text()));
}

void TSV::Edit1Change() {
    RadioButton2->setChecked(true);
}

void TSV::Edit2Change() {
    RadioButton3->setChecked(true);
}

void TSV::Label1Click() {
    RadioButton4->setChecked(true);
}

void TSV::SpeedButton4Click() {
    emit helpRequested(SpeedButton4);
}

bool TSV::pasteMac() {
    const QString mac = macForMask(QApplication::clipboard()->text());
    if (mac.isEmpty()) return false;
    MaskEdit1->setText(mac);
    return true;
}

void TSV::refuseMask() {
    if (refusing_) return;
    refusing_ = true;
    // After the event that moved the focus away, so that the focus can be put
    // back.
    QTimer::singleShot(0, this, [this] {
        prompts::warn(this, "Ошибка",
                      "Неверный МАК адрес: заполните все двенадцать позиций буквами или "
                      "цифрами.");
        refusing_ = false;
        MaskEdit1->setFocus();
    });
}

bool TSV::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        Label1Click();
    } else if (watched == MaskEdit1 && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) && pasteMac()) return true;
    } else if (watched == MaskEdit1 && event->type() == QEvent::ContextMenu) {
        // The menu's "Paste" takes a MAC address in any common form too.
        QMenu* menu = MaskEdit1->createStandardContextMenu();
        for (QAction* a : menu->actions()) {
            if (a->objectName() != "edit-paste" ||
                macForMask(QApplication::clipboard()->text()).isEmpty())
                continue;
            disconnect(a, &QAction::triggered, nullptr, nullptr);
            connect(a, &QAction::triggered, this, &TSV::pasteMac);
        }
        menu->exec(static_cast<QContextMenuEvent*>(event)->globalPos());
        delete menu;
        return true;
    } else if (watched == MaskEdit1 && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
        if (!MaskEdit1->hasAcceptableInput() && isVisible()) {
            refuseMask();  // leaving a MAC address with empty positions is refused
        } else {
            MaskEdit1Exit();
        }
    }
    return QDialog::eventFilter(watched, event);
}
