// The About window: the program's name, version and date, its terms, its authors and where to
// find them.
#pragma once

#include <QDialog>

namespace qm {

class TF_About : public QDialog {
    Q_OBJECT

public:
    explicit TF_About(QWidget* parent = nullptr);
};

}  // namespace qm
