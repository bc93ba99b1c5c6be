// The "Zip content" tree's model over the engine's plain content tree. The tree holds the ROMs of
// a few dropped files, so it is small; its nodes are laid out flat once, children of a node next
// to each other, so that a row and its parent are found by index.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <cstdint>
#include <map>
#include <vector>

#include "engine/ContentTree.h"

namespace qm {

class ContentTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit ContentTreeModel(QObject* parent = nullptr);

    void SetTree(ContentTree tree);
    void Clear() { SetTree({}); }
    // The node behind an index of this model, or nullptr.
    const ContentNode* NodeAt(const QModelIndex& index) const;
    // The node a node hangs under, or nullptr for a top-level node.
    const ContentNode* ParentNode(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;

    // The image index a row shows (0-5, 10, or -1 for none).
    static constexpr int IconRole = Qt::UserRole + 1;

private:
    struct Row {
        const ContentNode* Node = nullptr;
        std::uint32_t Parent = 0;  // index in rows_, kTop for a top-level node
        std::uint32_t Position = 0;
        std::uint32_t FirstChild = 0;
    };
    static constexpr std::uint32_t kTop = UINT32_MAX;

    ContentTree tree_;
    std::vector<Row> rows_;
    std::map<int, QIcon> icons_;
};

}  // namespace qm
