// What the code of layered sources shares: a store made from layers, and the builder that makes
// many devices' files from the combinations of groups they name. Internal to model/layers_*.
#pragma once

#include <vector>

#include "model/edit.h"
#include "model/layers.h"
#include "model/store.h"

namespace orbex::layers::detail {

// What one thread reuses from file to file.
struct Scratch {
    MemoryStore store;
    Edit edit;
    std::vector<ChangeView> changes;
};

// The settings of a layer given to the store, as `set` gives values.
void applyLayer(Store& store, const Layer& layer, Scratch& scratch);

// The device's own cells on `scratch.store`, which holds its layers above, then its file.
void finishDevice(const Device& d, Scratch& scratch, BuiltFile& out);

// Makes the files of a source's devices: default.cfg and each combination of groups that rows
// name are applied once, and every device starts from its combination's store.
class Builder {
  public:
    explicit Builder(const Source& source);
    void device(std::size_t d, Scratch& scratch, BuiltFile& out) const;
    void common(Scratch& scratch, BuiltFile& out) const;

  private:
    const Source& source_;
    std::vector<MemoryStore> combos_;   // the first: default.cfg alone
    std::vector<std::size_t> comboOf_;  // by device
};

}  // namespace orbex::layers::detail
