#include "forms/Conf/controlstore.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QTimer>
#include <limits>

#include "forms/Conf/switchbox.h"
#include "forms/buttons.h"
#include "forms/qtext.h"

using namespace orbex;

namespace {

constexpr int kStandardWidth = 121;

// Entering an edit that shows the default marker, by the keyboard or a click, selects the
// marker: what the user types replaces it instead of being added to it.
class MarkerSelection : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::FocusIn && type != QEvent::MouseButtonRelease) return false;
        // Not static_cast: an edit being destroyed still sends focus events as a bare QWidget.
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (!edit) return false;
        if (type == QEvent::FocusIn && edit->text() == qs(kUnset)) {
            // After the focus has settled: a click's own cursor placing comes first.
            QTimer::singleShot(0, edit, [edit] {
                if (edit->hasFocus() && edit->text() == qs(kUnset)) edit->selectAll();
            });
        } else if (type == QEvent::MouseButtonRelease && edit->text() == qs(kUnset)) {
            edit->selectAll();
        }
        return false;
    }
};

void prepareEdit(QLineEdit* edit, const Param& p) {
    edit->setMaxLength(std::numeric_limits<int>::max());  // any value the file holds
    edit->installEventFilter(new MarkerSelection(edit));
    // A value the program gives an edit shows from its start, as a long port value is read;
    // the typist's own cursor stays where it is.
    // (setText leaves an edit unmodified, typing marks it modified).
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
        if (!edit->isModified()) edit->setCursorPosition(0);
    });
    // A port value is longer than its box: the whole of it in the tooltip.
    if (p.has(Port))
        QObject::connect(edit, &QLineEdit::textChanged, edit,
                         [edit](const QString& t) { edit->setToolTip(t); });
}

QWidget* makeEdit(const Param& p, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    if (p.has(Masked)) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet("lineedit-password-character: 124");  // "|"
    }
    prepareEdit(edit, p);
    // The marker set once the edit is made: cheaper at a start (measured) than an edit made
    // with its text.
    edit->setText(qs(kUnset));
    return edit;
}

QWidget* makeList(const Param& p, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setEditable(p.has(Editable));
    if (list->lineEdit()) prepareEdit(list->lineEdit(), p);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setMaxVisibleItems(20);
    QStringList items{qs(kUnset)};
    for (const ValueChoice& row : p.table) items << qs(row.display);
    list->addItems(items);  // in one insertion
    list->setCurrentIndex(0);
    return list;
}

}  // namespace

namespace controls {

QWidget* make(const Param& p, QWidget* parent) {
    QWidget* w = nullptr;
    switch (p.kind) {
        case Kind::Text:
            w = makeEdit(p, parent);
            break;
        case Kind::Switch: {
            auto* box = new SwitchBox(parent);
            box->setCheckState(Qt::PartiallyChecked);
            w = box;
            break;
        }
        case Kind::Choice:
            w = makeList(p, parent);
            break;
        case Kind::None:
            return nullptr;
    }
    w->setObjectName(qs(p.key));
    if (p.kind != Kind::Switch) w->setFixedWidth(scaled(w, p.width ? p.width : kStandardWidth));
    return w;
}

}  // namespace controls

ControlStore::ControlStore() : controls_(kKeyCount, nullptr), utf8_(kKeyCount) {}

void ControlStore::add(Id id, QWidget* control) {
    controls_[static_cast<std::size_t>(id)] = control;
    utf8_[static_cast<std::size_t>(id)] = {};
}

std::string ControlStore::text(Id id) const {
    return std::string(utf8(id));
}

std::string_view ControlStore::textView(Id id, std::string&) const {
    return utf8(id);
}

std::string_view ControlStore::utf8(Id id) const {
    QString now;
    switch (param(id).kind) {
        case Kind::Text:
            now = static_cast<const QLineEdit*>(controlOf(id))->text();
            break;
        case Kind::Choice:
            now = static_cast<const QComboBox*>(controlOf(id))->currentText();
            break;
        case Kind::Switch:
        case Kind::None:
            return {};
    }
    // A text the control still shares with the copy kept is the same text: a shared text is
    // copied before it changes.
    Utf8Text& t = utf8_[static_cast<std::size_t>(id)];
    const bool same =
        (now.constData() == t.seen.constData() && now.size() == t.seen.size()) || now == t.seen;
    if (!same) {
        const QByteArray bytes = now.toUtf8();
        t.bytes.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    t.seen = now;
    return t.bytes;
}

void ControlStore::setText(Id id, std::string_view value) {
    QWidget* w = controlOf(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(qs(value));
    } else if (auto* list = qobject_cast<QComboBox*>(w)) {
        list->setCurrentIndex(-1);
        list->setEditText(qs(value));
    }
}

Tri ControlStore::check(Id id) const {
    switch (static_cast<const QCheckBox*>(controlOf(id))->checkState()) {
        case Qt::Checked:
            return Tri::Checked;
        case Qt::Unchecked:
            return Tri::Unchecked;
        default:
            return Tri::Grayed;
    }
}

void ControlStore::setCheck(Id id, Tri state) {
    static_cast<QCheckBox*>(controlOf(id))
        ->setCheckState(state == Tri::Checked     ? Qt::Checked
                        : state == Tri::Unchecked ? Qt::Unchecked
                                                  : Qt::PartiallyChecked);
}

int ControlStore::item(Id id) const {
    const auto* list = static_cast<const QComboBox*>(controlOf(id));
    const int index = list->currentIndex();
    // An editable list holding a text of its own has no item selected.
    if (list->isEditable() && (index < 0 || list->currentText() != list->itemText(index)))
        return -1;
    return index;
}

void ControlStore::setItem(Id id, int item) {
    static_cast<QComboBox*>(controlOf(id))->setCurrentIndex(item);
}
