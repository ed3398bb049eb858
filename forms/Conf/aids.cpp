#include "forms/Conf/aids.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <bitset>

#include "forms/Conf/controlstore.h"
#include "forms/qtext.h"
#include "model/review.h"

using namespace orbex;

namespace {

// The caption without its closing colon: "Разрешение" for "Разрешение:".
QString captionOf(const Param& p) {
    QString c = qs(p.caption).trimmed();
    if (c.endsWith(':')) c.chop(1);
    return c;
}

constexpr auto kCompletionSeparator = " — ";

}  // namespace

EditorAids::EditorAids(QMainWindow& window, const ControlStore& controls,
                       std::function<void(Id)> unsetParam)
    : QObject(&window), window_(window), controls_(controls), unsetParam_(std::move(unsetParam)) {
    setObjectName("EditorAids");
    tabs_ = window.findChild<QTabWidget*>("PageControl1");

    const auto shortcut = [&](QKeySequence keys, auto&& act) {
        auto* s = new QShortcut(keys, &window);
        connect(s, &QShortcut::activated, this, act);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { switchPage(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { switchPage(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { switchPage(-1); });
    shortcut(QKeySequence::Find, [this] { openSearch(); });

    ParamSearch = new QLineEdit;
    ParamSearch->setObjectName("ParamSearch");
    ParamSearch->setPlaceholderText("Найти параметр (Ctrl+F)");
    ParamSearch->setMinimumWidth(ParamSearch->fontMetrics().horizontalAdvance(QString(32, 'x')));
    ParamSearch->installEventFilter(this);
    connect(ParamSearch, &QLineEdit::returnPressed, this, &EditorAids::findTyped);
    window.statusBar()->setSizeGripEnabled(false);  // the window keeps its size
    window.statusBar()->addPermanentWidget(ParamSearch);
}

void EditorAids::watch(Id id) {
    if (param(id).check == Check::Any) return;
    auto* edit = static_cast<QLineEdit*>(controls_.madeControl(id));
    edit->setProperty("plainStyle", edit->styleSheet());
    connect(edit, &QLineEdit::textChanged, this, &EditorAids::liveCheck);
}

bool EditorAids::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ParamSearch) return false;
    if (event->type() == QEvent::FocusIn) makeCompleter();
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (event->type() == QEvent::ShortcutOverride &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
        event->accept();  // the search's own keys, before the window's Enter can save
    } else if (event->type() == QEvent::KeyPress && key == Qt::Key_Escape) {
        ParamSearch->clear();
        window_.setFocus();
        return true;
    }
    return false;
}

// What the save would do with a text that fails its check.
static QString resetReason(Check check) {
    QString what;
    switch (check) {
        case Check::Number:
            what = "не целое число";
            break;
        case Check::Address:
            what =
                "не адрес IPv4 (четыре числа через точку: первое от 1 до 255, остальные от 0 "
                "до 255)";
            break;
        case Check::AddressList:
            what = "не список адресов IPv4 через пробел";
            break;
        case Check::Any:
            break;
    }
    return "Значение " + what + ":\nпри сохранении оно будет сброшено на значение по умолчанию";
}

void EditorAids::liveCheck() {
    // The review's own checks, on every checked edit at once: DNS decides whether the server
    // lists are checked at all.
    std::bitset<kKeyCount> bad;
    QByteArray buffer;
    forEachReset(
        [&](Id id) -> std::string_view {
            auto* edit = static_cast<QLineEdit*>(controls_.madeControl(id));
            if (!edit) return kUnset;
            buffer = edit->text().toUtf8();
            return {buffer.constData(), static_cast<std::size_t>(buffer.size())};
        },
        [&](Id id) { bad.set(static_cast<std::size_t>(id)); });
    for (Id id : checkedKeys())
        if (auto* edit = static_cast<QLineEdit*>(controls_.madeControl(id)))
            showCheck(edit, bad.test(static_cast<std::size_t>(id)), param(id).check);
}

void EditorAids::showCheck(QLineEdit* edit, bool bad, Check check) {
    if (bad == edit->property("badValue").toBool()) return;
    edit->setProperty("badValue", bad);
    const QString plain = edit->property("plainStyle").toString();
    edit->setStyleSheet(bad ? plain + "; border: 2px solid #d00000" : plain);
    edit->setToolTip(bad ? resetReason(check) : QString());
}

int EditorAids::pageOf(const QWidget* w) const {
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->widget(i)->isAncestorOf(w)) return i;
    return -1;
}

void EditorAids::switchPage(int step) {
    const int count = tabs_->count();
    const int page = (tabs_->currentIndex() + step + count) % count;
    tabs_->setCurrentIndex(page);
    // The focus goes to the first control of the page that takes it.
    const Param* first = nullptr;
    QWidget* target = nullptr;
    for (Id id : controlOrder()) {
        QWidget* w = controls_.control(id);
        if (!w || pageOf(w) != page || !w->isEnabled() || param(id).has(Hidden)) continue;
        if (!first || param(id).tabPlace() < first->tabPlace()) first = &param(id), target = w;
    }
    if (target) {
        target->setFocus(Qt::TabFocusReason);
    } else {
        tabs_->widget(page)->setFocus(Qt::TabFocusReason);
    }
}

void EditorAids::unsetFocused() {
    for (QWidget* w = QApplication::focusWidget(); w && w != &window_; w = w->parentWidget()) {
        const auto id = find(w->objectName().toStdString());
        if (!id || controls_.control(*id) != w) continue;
        unsetParam_(*id);
        if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text() == qs(kUnset))
            edit->selectAll();
        return;
    }
}

void EditorAids::openSearch() {
    ParamSearch->setFocus(Qt::ShortcutFocusReason);
    ParamSearch->selectAll();
}

void EditorAids::makeCompleter() {
    // Made at the first search, not at every start: the clear button's icon is looked up
    // through the desktop's icon theme, file by file.
    if (!ParamSearch->completer()) {
        ParamSearch->setClearButtonEnabled(true);
        QStringList completions;
        for (Id id : controlOrder()) {
            if (!param(id).has(Hidden))
                completions << qs(param(id).key) + kCompletionSeparator + captionOf(param(id));
        }
        auto* completer = new QCompleter(completions, ParamSearch);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setFilterMode(Qt::MatchContains);
        completer->setMaxVisibleItems(16);
        ParamSearch->setCompleter(completer);
        connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
                &EditorAids::findTyped);
    }
}

std::optional<Id> EditorAids::parameterOf(const QString& text) {
    QString t = text.trimmed();
    if (const qsizetype cut = t.indexOf(kCompletionSeparator); cut > 0) t = t.left(cut);
    if (t.isEmpty()) return std::nullopt;
    std::optional<Id> byCaption;
    for (Id id : controlOrder()) {
        const Param& p = param(id);
        if (p.has(Hidden)) continue;
        if (qs(p.key).compare(t, Qt::CaseInsensitive) == 0) return id;
        if (!byCaption && captionOf(p).startsWith(t, Qt::CaseInsensitive)) byCaption = id;
    }
    return byCaption;
}

void EditorAids::findTyped() {
    if (const auto id = parameterOf(ParamSearch->text())) focusParameter(*id);
}

void EditorAids::focusParameter(Id id) {
    QWidget* w = controls_.control(id);
    if (!w) return;
    tabs_->setCurrentIndex(pageOf(w));
    w->setFocus(Qt::ShortcutFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text() == qs(kUnset))
        edit->selectAll();
}
