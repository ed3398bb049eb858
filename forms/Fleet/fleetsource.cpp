#include "forms/Fleet/fleetsource.h"

#include <QDir>
#include <QFileInfo>

#include "forms/Fleet/fleettexts.h"
#include "forms/qtext.h"

using namespace orbex;
using namespace orbex::layers;
using namespace fleettexts;

bool FleetSource::open(const QString& dir, const QString& tftpDir, QString& message) {
    const QString shown = QDir::toNativeSeparators(dir);
    if (!isSource(dir.toStdString())) {
        message = "В папке нет devices.csv: это не источник.\n" + shown;
        return false;
    }
    if (!tftpDir.isEmpty() && foldersOverlap(dir.toStdString(), tftpDir.toStdString())) {
        message = "Источник и папка TFTP не должны лежать одна в другой.\nИсточник: " + shown +
                  "\nПапка TFTP: " + QDir::toNativeSeparators(tftpDir);
        return false;
    }
    Loaded loaded = loadSource(dir.toStdString(), readBounded);
    if (!loaded.refusals.empty()) {
        message = "Источник не открыт: в нем есть ошибки.\n" + shown + "\n" +
                  sourceRefusals(loaded.refusals, loaded.moreRefusals);
        return false;
    }
    dir_ = dir;
    source_ = std::move(loaded.source);
    explainAll();
    return true;
}

void FleetSource::close() {
    dir_.clear();
    source_.reset();
    files_.clear();
}

void FleetSource::explainAll() {
    files_.clear();
    const Source& s = *source_;
    for (std::size_t d = 0; d < s.devices.size(); ++d) {
        FileLayers& f = files_[s.devices[d].file];
        f.device = d;
        QStringList names;
        for (std::size_t g : s.devices[d].groups) names << qs(s.groups[g].name);
        f.groups = names.join(", ");
        f.cells = explain(s, d);
    }
}

bool FleetSource::holds(const QString& path) const {
    if (!source_) return false;
    const QFileInfo file(path);
    const QString folder = QDir(file.absolutePath()).canonicalPath();
    const QDir source(dir_);
    if (folder.isEmpty()) return false;
    if (folder == source.canonicalPath())
        return file.fileName() == qs(fleet::kCommonFile) || file.fileName() == qs(kDeviceList);
    return folder == QDir(source.filePath(qs(kGroupFolder))).canonicalPath() &&
           file.suffix() == "cfg";
}

QStringList FleetSource::layerPaths() const {
    QStringList out;
    if (!source_) return out;
    const QDir source(dir_);
    if (source_->common) out << source.filePath(qs(source_->common->file));
    for (const Layer& g : source_->groups) out << source.filePath(qs(g.file));
    return out;
}

std::optional<Manifest> FleetSource::manifest(QString& message) const {
    std::string error;
    auto m = readManifest(dir_.toStdString(), readBounded, error);
    if (!m)
        message = "Невозможно прочитать " +
                  QDir::toNativeSeparators(QDir(dir_).filePath(qs(kManifest))) + "\n" + qs(error);
    return m;
}

bool FleetSource::survey(const QString& tftpDir, QString& message) {
    if (!source_) return true;
    for (auto it = files_.begin(); it != files_.end();) {
        it->second.drift = false;
        it = it->second.device ? std::next(it) : files_.erase(it);
    }
    const auto last = manifest(message);
    if (!last) return false;
    BuildOptions options;
    options.keepBytes = false;
    const BuildPlan plan = planBuild(*source_, tftpDir.toStdString(), *last, readBounded, options);
    for (std::size_t k = 0; k < plan.built.size(); ++k)
        if (plan.built[k].status == Status::Drift) files_[plan.write.targets[k].file].drift = true;
    for (const Orphan& o : plan.orphans) {
        FileLayers& f = files_[o.file];
        f.orphan = true;
        f.drift = o.edited;
    }
    return true;
}

const FleetSource::FileLayers* FleetSource::of(const std::string& file) const {
    const auto it = files_.find(file);
    return it == files_.end() ? nullptr : &it->second;
}

const Explained* FleetSource::cell(const FileLayers& f, Id id) {
    for (const Explained& e : f.cells)
        if (e.id == id) return &e;
    return nullptr;
}

QString FleetSource::layerName(const LayerRef& layer, bool overridden) const {
    switch (layer.kind) {
        case LayerRef::Kind::Common:
            return qs(fleet::kCommonFile);
        case LayerRef::Kind::Group:
            return (overridden ? "группу " : "группы ") + qs(source_->groups[layer.group].name);
        case LayerRef::Kind::Device:
            break;
    }
    return "строку терминала";
}

QString FleetSource::cellTip(const Explained& e) const {
    QString tip;
    if (e.layer.kind == LayerRef::Kind::Device) {
        tip = e.value ? QString("Своё значение терминала")
                      : QString("Сброшено строкой терминала ('%1')").arg(qs(kUnsetCell));
    } else {
        tip = "Из " + layerName(e.layer, false);
    }
    for (std::size_t k = 0; k < e.overrides.size(); ++k) {
        const Overridden& o = e.overrides[k];
        tip += k == 0 ? " (перекрывает " : ", ";
        tip += layerName(o.layer, true) + ": " +
               (o.value ? "'" + qs(*o.value) + "'" : QString("не задан"));
    }
    if (!e.overrides.empty()) tip += ")";
    return tip;
}
