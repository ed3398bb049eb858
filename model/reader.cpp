#include "model/reader.h"

#include <optional>
#include <string>

#include "model/text.h"

namespace orbex {

namespace {
// A value as UTF-8: kept when it is valid UTF-8 already, otherwise read as Windows-1251.
void setDecoded(Store& store, Id id, std::string_view value) {
    if (text::isUtf8(value)) {
        store.setText(id, value);
    } else {
        store.setText(id, text::fromCp1251(value));
    }
}
}  // namespace

void applyParameter(Store& store, Id id, std::string_view value, bool xFlag) {
    const Param& p = param(id);
    switch (p.kind) {
        case Kind::Text:
            setDecoded(store, id, value);
            break;
        case Kind::Switch:
            if (const auto on = onOff(value)) {
                store.setCheck(id, *on ? Tri::Checked : Tri::Unchecked);
            } else {
                store.setCheck(id, Tri::Grayed);
            }
            break;
        case Kind::Choice: {
            if (p.has(Editable)) {
                if (auto item = itemOf(p.table, value)) store.setItem(id, *item);
                if (store.item(id) == 0) setDecoded(store, id, value);
                break;
            }
            const auto item =
                p.key == keys::CHIPSET ? chipsetItem(value, xFlag) : itemOf(p.table, value);
            if (item) store.setItem(id, *item);
            break;
        }
        case Kind::None:
            break;
    }
}

namespace {
// Reading's handler: every parameter line goes to the store at once, but CHIPSET, which waits
// for the X flag of the whole file.
class ReadIntoStore {
  public:
    explicit ReadIntoStore(Store& store) : store_(store) {}
    bool operator()(const RawLine&, const Line& line) {
        if (line.type != Line::Type::Param) return true;
        if (Chipsets::isX(line.key)) {
            chipsets_.flag().see(line.value);
        } else if (Chipsets::isChipset(line.key)) {
            chipsets_.wait(std::string(line.value));
        } else {
            applyParameter(store_, line.key, line.value, false);
        }
        return true;
    }
    // Applies the waiting CHIPSET lines; returns the X flag.
    bool finish() {
        static const Id chipset = idOf(keys::CHIPSET);
        chipsets_.settle([this](const std::string& value, bool xFlag) {
            applyParameter(store_, chipset, value, xFlag);
        });
        return chipsets_.flag().on();
    }

  private:
    using Chipsets = WaitingChipsets<std::string>;
    Store& store_;
    Chipsets chipsets_;
};
}  // namespace

bool readConfig(std::string_view bytes, Store& store) {
    store.ResetAll();
    // No earlier load carries its X flag over.
    ReadIntoStore handler(store);
    parseLines(textOf(bytes), handler);
    return handler.finish();
}

}  // namespace orbex
