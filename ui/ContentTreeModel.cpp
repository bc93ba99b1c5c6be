#include "ui/ContentTreeModel.h"

#include "ui/DisplayText.h"
#include "ui/Icons.h"

namespace qm {

ContentTreeModel::ContentTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    for (int image : {0, 1, 2, 3, 4, 5, kNewNoGoodDumpImage}) {
        icons_[image] = IconForState(image);
    }
}

void ContentTreeModel::SetTree(ContentTree tree) {
    beginResetModel();
    tree_ = std::move(tree);
    rows_.clear();
    for (std::size_t i = 0; i < tree_.size(); ++i) {
        rows_.push_back({&tree_[i], kTop, static_cast<std::uint32_t>(i), 0});
    }
    // Breadth first, so that the children of each node follow each other.
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const ContentNode* node = rows_[r].Node;
        rows_[r].FirstChild = static_cast<std::uint32_t>(rows_.size());
        for (std::size_t i = 0; i < node->Children.size(); ++i) {
            rows_.push_back({&node->Children[i], static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(i), 0});
        }
    }
    endResetModel();
}

const ContentNode* ContentTreeModel::NodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    return rows_[index.internalId()].Node;
}

const ContentNode* ContentTreeModel::ParentNode(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return nullptr;
    }
    const std::uint32_t parent = rows_[index.internalId()].Parent;
    return parent == kTop ? nullptr : rows_[parent].Node;
}

QModelIndex ContentTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) {
        return {};
    }
    const auto r = static_cast<std::size_t>(row);
    if (!parent.isValid()) {
        return r < tree_.size() ? createIndex(row, 0, static_cast<quintptr>(r)) : QModelIndex();
    }
    const Row& at = rows_[parent.internalId()];
    if (r >= at.Node->Children.size()) {
        return {};
    }
    return createIndex(row, 0, static_cast<quintptr>(at.FirstChild) + r);
}

QModelIndex ContentTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) {
        return {};
    }
    const std::uint32_t parent = rows_[child.internalId()].Parent;
    if (parent == kTop) {
        return {};
    }
    return createIndex(static_cast<int>(rows_[parent].Position), 0, static_cast<quintptr>(parent));
}

int ContentTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(tree_.size());
    }
    if (parent.column() != 0) {
        return 0;
    }
    return static_cast<int>(rows_[parent.internalId()].Node->Children.size());
}

int ContentTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool ContentTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant ContentTreeModel::data(const QModelIndex& index, int role) const {
    const ContentNode* node = NodeAt(index);
    if (node == nullptr) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return ToDisplay(node->Text);
        case Qt::DecorationRole: {
            const auto icon = icons_.find(node->Image);
            return icon == icons_.end() ? QVariant() : QVariant(icon->second);
        }
        case IconRole:
            return node->Image;
        default:
            return {};
    }
}

}  // namespace qm
