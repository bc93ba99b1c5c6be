// The drop zone: a list of the zip files dropped on it from a file manager. A file manager drops
// its files as a text/uri-list; only local files count, and their paths keep their bytes (a path
// is used to reach its file, so it is never lower-cased or re-encoded).
#pragma once

#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

class QMimeData;

namespace qm {

class TDropZoneList : public QListWidget {
    Q_OBJECT

public:
    explicit TDropZoneList(QWidget* parent = nullptr);

    // The local files of a drop, in the order the file manager gave them.
    static std::vector<std::string> DroppedPaths(const QMimeData& data);

    // Called with the dropped paths (all of them: the handler keeps the zip files).
    std::function<void(const std::vector<std::string>&)> OnDropFiles;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace qm
