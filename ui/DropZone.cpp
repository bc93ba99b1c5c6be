#include "ui/DropZone.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace qm {

namespace {

bool HasLocalFiles(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

}  // namespace

TDropZoneList::TDropZoneList(QWidget* parent) : QListWidget(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Lines are never dragged away or moved: the list only takes files from outside.
    setDragDropMode(QAbstractItemView::DropOnly);
}

std::vector<std::string> TDropZoneList::DroppedPaths(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    return paths;
}

void TDropZoneList::dragEnterEvent(QDragEnterEvent* event) {
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TDropZoneList::dragMoveEvent(QDragMoveEvent* event) {
    if (HasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TDropZoneList::dropEvent(QDropEvent* event) {
    if (!HasLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    // The files are only read: whatever the file manager proposes, the drop is a copy.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (OnDropFiles) {
        OnDropFiles(DroppedPaths(*event->mimeData()));
    }
}

}  // namespace qm
