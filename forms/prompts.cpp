#include "forms/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "forms/workdir.h"

namespace prompts {
namespace {

Script* script = nullptr;

const char* iconName(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return "information";
        case Icon::Warning:
            return "warning";
        case Icon::Critical:
            return "critical";
    }
    return "";
}

}  // namespace

Script::Script() {
    script = this;
}
Script::~Script() {
    script = nullptr;
}

Script& Script::path(const QString& answer) {
    paths_.push_back(answer);
    return *this;
}

Script& Script::dialog(std::function<void(QDialog*)> act) {
    acts_.push_back(std::move(act));
    return *this;
}

Script& Script::answer(int button) {
    answers_.push_back(button);
    return *this;
}

void message(QWidget* owner, Icon icon, const QString& caption, const QString& text) {
    if (script) {
        script->messages << QStringList{caption, text, owner ? owner->objectName() : QString(),
                                        iconName(icon)}
                                .join(" | ");
        return;
    }
    const QMessageBox::Icon kind = icon == Icon::Information ? QMessageBox::Information
                                   : icon == Icon::Warning   ? QMessageBox::Warning
                                                             : QMessageBox::Critical;
    QMessageBox box(kind, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

int ask(QWidget* owner, const QString& caption, const QString& text, const QStringList& buttons) {
    if (script) {
        script->messages
            << QStringList{caption, text, owner ? owner->objectName() : QString(), "question"}.join(
                   " | ");
        if (script->answers_.empty()) {
            script->unexpected << "question: " + caption;
            return -1;
        }
        const int answer = script->answers_.front();
        script->answers_.pop_front();
        return answer;
    }
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, owner);
    QList<QAbstractButton*> made;
    for (const QString& b : buttons) made << box.addButton(b, QMessageBox::AcceptRole);
    // Enter takes the first button; Escape and the title bar's close take the last.
    if (!made.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
        box.setEscapeButton(made.last());
    }
    box.exec();
    return static_cast<int>(made.indexOf(box.clickedButton()));
}

QString filePath(QFileDialog* dialog) {
    KeepWorkingDirectory keep;
    if (script) {
        if (!script->paths_.empty()) {
            QString answer = script->paths_.front();
            script->paths_.pop_front();
            return answer;
        }
        // No path queued: the next dialog act works the real file dialog.
        if (script->acts_.empty()) {
            script->dialogs << dialog->objectName();
            script->unexpected << "path: " + dialog->windowTitle();
            return {};
        }
        if (exec(dialog) != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
        return dialog->selectedFiles().first();
    }
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    return dialog->selectedFiles().first();
}

QString folder(QWidget* owner, const QString& caption, const QString& start) {
    KeepWorkingDirectory keep;
    if (script) {
        if (script->paths_.empty()) {
            script->unexpected << "path: " + caption;
            return {};
        }
        QString answer = script->paths_.front();
        script->paths_.pop_front();
        return answer;
    }
    return QFileDialog::getExistingDirectory(owner, caption, start);
}

int exec(QDialog* dialog) {
    if (!script) return dialog->exec();
    script->dialogs << dialog->objectName();
    if (script->acts_.empty()) {
        script->unexpected << "dialog: " + dialog->objectName();
        dialog->setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    auto act = std::move(script->acts_.front());
    script->acts_.pop_front();
    // Shown as exec() shows it: modal to the application, and the active window.
    const Qt::WindowModality modality = dialog->windowModality();
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    QApplication::setActiveWindow(dialog);
    act(dialog);
    if (dialog->isVisible()) dialog->reject();
    dialog->setWindowModality(modality);
    return dialog->result();
}

}  // namespace prompts
