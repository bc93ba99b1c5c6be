#include "ui/GameTreeModel.h"

#include "ui/DisplayText.h"
#include "ui/Icons.h"

namespace qm {

GameTreeModel::GameTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    for (int i = 0; i < kStateIconCount; ++i) {
        icons_[static_cast<std::size_t>(i)] = IconForState(i);
    }
}

void GameTreeModel::SetTree(GameTree tree) {
    beginResetModel();
    tree_ = std::move(tree);
    endResetModel();
}

const TreeNode* GameTreeModel::NodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    return &tree_.Nodes[NodeIndex(index)];
}

QModelIndex GameTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) {
        return {};
    }
    const auto r = static_cast<std::uint32_t>(row);
    if (!parent.isValid()) {
        return r < tree_.TopCount ? createIndex(row, 0, static_cast<quintptr>(r)) : QModelIndex();
    }
    const TreeNode& node = tree_.Nodes[NodeIndex(parent)];
    if (r >= node.ChildCount) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(node.FirstChild + r));
}

QModelIndex GameTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) {
        return {};
    }
    const std::uint32_t parent = tree_.Nodes[NodeIndex(child)].Parent;
    if (parent == kNoNode) {
        return {};
    }
    return createIndex(static_cast<int>(tree_.RowOf(parent)), 0, static_cast<quintptr>(parent));
}

int GameTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(tree_.TopCount);
    }
    if (parent.column() != 0) {
        return 0;
    }
    return static_cast<int>(tree_.Nodes[NodeIndex(parent)].ChildCount);
}

int GameTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool GameTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant GameTreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode* node = NodeAt(index);
    if (node == nullptr) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole: {
            QString text = ToDisplay(node->Text);
            if (node->Merged) {
                text += QLatin1String(kMergedSuffix.data(), static_cast<qsizetype>(kMergedSuffix.size()));
            }
            return text;
        }
        case Qt::DecorationRole:
            return icons_[node->Icon];
        case IconRole:
            return static_cast<int>(node->Icon);
        default:
            return {};
    }
}

}  // namespace qm
