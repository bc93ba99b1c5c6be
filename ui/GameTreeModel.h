// The tree view's model over a GameTree: rows are found by index arithmetic in the flat node
// array, texts are decoded only when a row is drawn, and a new tree replaces the old one in a
// single reset, so that the view lays itself out once.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <array>

#include "ui/GameTree.h"

namespace qm {

class GameTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit GameTreeModel(QObject* parent = nullptr);

    void SetTree(GameTree tree);
    void Clear() { SetTree(GameTree{}); }
    const GameTree& Tree() const { return tree_; }
    // The node behind an index of this model, or nullptr.
    const TreeNode* NodeAt(const QModelIndex& index) const;
    std::uint32_t NodeIndex(const QModelIndex& index) const { return static_cast<std::uint32_t>(index.internalId()); }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;

    // The image index a row shows (0-5).
    static constexpr int IconRole = Qt::UserRole + 1;

private:
    GameTree tree_;
    std::array<QIcon, kStateIconCount> icons_;
};

}  // namespace qm
