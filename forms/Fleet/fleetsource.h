// The layered source the fleet window builds its TFTP folder from: the layers loaded, which
// layer gives each cell of a built file its value, and which files of the folder were edited by
// hand since the last build or are built by no row.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/layers.h"

class FleetSource {
  public:
    // What the source says of one file of the TFTP folder.
    struct FileLayers {
        std::optional<std::size_t> device;            // the row that builds it; none: orphan
        QString groups;                               // "kassa, floor2"
        std::vector<orbex::layers::Explained> cells;  // in review order
        bool drift = false;   // differs from what the last build wrote (or no build wrote it)
        bool orphan = false;  // a .cfg file that no row builds
    };

    // Loads the source in `dir` for the TFTP folder `tftpDir`; false with the reason (Russian,
    // naming the folder and every refusal kept) when it is no source or cannot be built.
    bool open(const QString& dir, const QString& tftpDir, QString& message);
    // Loads the same source again (after one of its files changed).
    bool reload(const QString& tftpDir, QString& message) { return open(dir_, tftpDir, message); }
    void close();
    bool isOpen() const { return source_.has_value(); }
    const QString& folder() const { return dir_; }
    const orbex::layers::Source& source() const { return *source_; }

    // Whether `path` is one of the source's own files: default.cfg, devices.csv, groups/*.cfg.
    bool holds(const QString& path) const;
    // The source's layers, as paths: default.cfg first (when there is one), then each group.
    QStringList layerPaths() const;

    // Marks drift and orphans by a dry build into the TFTP folder; false with the reason when
    // the manifest cannot be read.
    bool survey(const QString& tftpDir, QString& message);
    // The file's layers; nullptr when no source is open or it says nothing of the file.
    const FileLayers* of(const std::string& file) const;
    // The explanation of a parameter of the file; nullptr when no layer sets it.
    static const orbex::layers::Explained* cell(const FileLayers& f, orbex::Id id);
    // "Из группы kassa (перекрывает default.cfg: 'x')": which layer gives the cell its value.
    QString cellTip(const orbex::layers::Explained& e) const;

    // The manifest of the last build; nullopt with the reason when it cannot be read.
    std::optional<orbex::layers::Manifest> manifest(QString& message) const;

  private:
    void explainAll();
    QString layerName(const orbex::layers::LayerRef& layer, bool overridden) const;

    QString dir_;
    std::optional<orbex::layers::Source> source_;
    std::unordered_map<std::string, FileLayers> files_;
};
