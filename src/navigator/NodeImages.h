// NodeImages: the navigator's image list ImageList1 (16 × 16, 15 keys in a fixed order).
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace navigator {

/// ImageList1: the images of tree nodes and tabs, by key. Taken from the desktop's icon theme where it
/// has a fitting icon, drawn here otherwise; link variants carry a small arrow, code pages a list.
class NodeImages {
public:
    /// The keys in their order: ndlef, tgopn, tgcls, tree, title, ndopn, ndcls, find, rireki, lklef,
    /// lkcls, lkopn, ndweb, ndcod, lkcod.
    static const QStringList& keys();
    /// The image of a key (a null icon for an unknown key).
    static QIcon icon(const QString& key);
};

} // namespace navigator
